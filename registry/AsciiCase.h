#pragma once

#include <string>

// Maps only "a" to "z" to upper case; every other byte, multi-byte ones included, stays as it is.
std::string AsciiUpper(std::string text);
// Whether two UTF-16 names are the same when "a" to "z" match "A" to "Z", as value names match.
bool SameIgnoringAsciiCase(const std::u16string& a, const std::u16string& b);
