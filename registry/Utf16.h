#pragma once

#include <string>

// UTF-8 to UTF-16, for names the cleaner holds in UTF-8 that go where the platform's wide text
// goes. A byte that starts no valid sequence becomes U+FFFD, as the platform converts it.
std::u16string Utf8ToUtf16(const std::string& text);
