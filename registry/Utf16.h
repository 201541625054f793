#pragma once

#include <cstdint>
#include <string>
#include <vector>

// UTF-8 to UTF-16, for names the cleaner holds in UTF-8 that go where the platform's wide text
// goes. A byte that starts no valid sequence becomes U+FFFD, as the platform converts it.
std::u16string Utf8ToUtf16(const std::string& text);
// UTF-16 to UTF-8, for the platform's wide text; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);
// The same into *utf8; true when it gives back the very UTF-16 units, no lone surrogate among
// them.
bool ExactUtf8(const std::u16string& text, std::string* utf8);
// The UTF-16 text of little-endian bytes, as the registry stores wide strings; an odd last byte
// is left out.
std::u16string Utf16FromLeBytes(const std::vector<std::uint8_t>& bytes);
// The little-endian bytes of UTF-16 text, as the registry stores wide strings; no terminator is
// added.
std::vector<std::uint8_t> LeBytesFromUtf16(const std::u16string& text);

inline bool HighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool LowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}
// Whether the unit at i is half of a pair of surrogates among the first `length` units.
template <typename Units>
bool Paired(const Units& units, std::size_t length, std::size_t i) {
  return HighSurrogate(units[i]) ? i + 1 < length && LowSurrogate(units[i + 1])
                                 : i > 0 && HighSurrogate(units[i - 1]);
}
