#include "registry/Utf16.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// The code point of the sequence at text[at], and its length; 0 length when it is not valid UTF-8.
std::pair<char32_t, std::size_t> Decode(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) {
    return {lead, 1};
  }
  std::size_t length;
  char32_t point;
  char32_t smallest;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, point = lead & 0x1F, smallest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, point = lead & 0x0F, smallest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, point = lead & 0x07, smallest = 0x10000;
  } else {
    return {0, 0};
  }
  if (at + length > text.size()) {
    return {0, 0};
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      return {0, 0};
    }
    point = (point << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and points past Unicode's range are not characters.
  if (point < smallest || (point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) {
    return {0, 0};
  }
  return {point, length};
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string wide;
  wide.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto [point, length] = Decode(text, at);
    if (length == 0) {
      wide.push_back(kReplacement);
      ++at;
      continue;
    }
    if (point >= 0x10000) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(point));
    }
    at += length;
  }
  return wide;
}

std::string Utf16ToUtf8(const std::u16string& text) {
  std::string utf8;
  utf8.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    char32_t point = text[at];
    const bool high = point >= 0xD800 && point <= 0xDBFF;
    if (high && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[++at] - 0xDC00);
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = kReplacement;
    }
    if (point < 0x80) {
      utf8 += static_cast<char>(point);
    } else if (point < 0x800) {
      utf8 += static_cast<char>(0xC0 | (point >> 6));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      utf8 += static_cast<char>(0xE0 | (point >> 12));
      utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      utf8 += static_cast<char>(0xF0 | (point >> 18));
      utf8 += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (point & 0x3F));
    }
  }
  return utf8;
}

bool ExactUtf8(const std::u16string& text, std::string* utf8) {
  *utf8 = Utf16ToUtf8(text);
  return Utf8ToUtf16(*utf8) == text;
}

std::u16string Utf16FromLeBytes(const std::vector<std::uint8_t>& bytes) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  }
  return text;
}

std::vector<std::uint8_t> LeBytesFromUtf16(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}
