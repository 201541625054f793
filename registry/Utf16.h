#pragma once

#include <cstdint>
#include <string>
#include <vector>

// UTF-8 to UTF-16, for names the cleaner holds in UTF-8 that go where the platform's wide text
// goes. A byte that starts no valid sequence becomes U+FFFD, as the platform converts it.
std::u16string Utf8ToUtf16(const std::string& text);
// UTF-16 to UTF-8, for the platform's wide text; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
// The UTF-16 text of little-endian bytes, as the registry stores wide strings; an odd last byte
// is left out.
std::u16string Utf16FromLeBytes(const std::vector<std::uint8_t>& bytes);
// The little-endian bytes of UTF-16 text, as the registry stores wide strings; no terminator is
// added.
std::vector<std::uint8_t> LeBytesFromUtf16(const std::u16string& text);
