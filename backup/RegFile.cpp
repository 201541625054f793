#include "backup/RegFile.h"

#include <cstdio>

#include "registry/Utf16.h"

namespace {

constexpr const char16_t* kLineEnd = u"\r\n";
// Hex data is wrapped as regedit wraps it, so no line grows past 80 characters.
constexpr std::size_t kWrapColumn = 77;

bool Writable(const std::u16string& name) {
  return name.find_first_of(std::u16string(u"\r\n\0", 3)) == std::u16string::npos;
}

std::u16string Quoted(const std::u16string& text) {
  std::u16string quoted = u"\"";
  for (char16_t c : text) {
    if (c == u'\\' || c == u'"') {
      quoted += u'\\';
    }
    quoted += c;
  }
  return quoted + u"\"";
}

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

bool PairedSurrogates(const std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
    const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
    if (low ||
        (high && (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF))) {
      return false;
    }
    i += high ? 1 : 0;
  }
  return true;
}

// A string goes in quoted only when quoting gives back its very bytes: one terminating zero
// and no other, whole characters, and nothing that would end the line.
bool QuotableString(const RegValue& value) {
  if (value.type != kRegSz || value.data.size() < 2 || value.data.size() % 2 != 0) {
    return false;
  }
  std::u16string units = Utf16FromLeBytes(value.data);
  if (units.back() != 0) {
    return false;
  }
  units.pop_back();
  for (char16_t unit : units) {
    if (unit == 0 || unit == u'\r' || unit == u'\n') {
      return false;
    }
  }
  return PairedSurrogates(units);
}

std::u16string HexPrefix(std::uint32_t type) {
  if (type == kRegBinary) {
    return u"hex:";
  }
  char number[16];
  std::snprintf(number, sizeof(number), "hex(%x):", static_cast<unsigned>(type));
  return Ascii(number);
}

std::u16string Data(const RegValue& value, std::size_t column) {
  if (QuotableString(value)) {
    const std::u16string units = Utf16FromLeBytes(value.data);
    return Quoted(units.substr(0, units.size() - 1));
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    char number[16];
    std::snprintf(
        number, sizeof(number), "dword:%08x",
        static_cast<unsigned>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                              (static_cast<std::uint32_t>(value.data[3]) << 24)));
    return Ascii(number);
  }
  std::u16string text = HexPrefix(value.type);
  column += text.size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (i > 0) {
      text += u',';
      ++column;
      if (column + 2 > kWrapColumn) {
        text += u"\\\r\n  ";
        column = 2;
      }
    }
    char byte[4];
    std::snprintf(byte, sizeof(byte), "%02x", value.data[i]);
    text += Ascii(byte);
    column += 2;
  }
  return text;
}

}  // namespace

std::u16string RegFileHeader() {
  return std::u16string(u"\xFEFF") + u"Windows Registry Editor Version 5.00" + kLineEnd + kLineEnd;
}

std::u16string RegFileComment(const std::string& text) {
  std::u16string comment;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      end = text.size();
    }
    comment += u"; " + Utf8ToUtf16(text.substr(start, end - start)) + kLineEnd;
    start = end + 1;
  }
  return comment + kLineEnd;
}

bool AppendRegFileKey(const std::string& fullName, const TreeKey& key, std::u16string& text) {
  const std::string keyName = key.path.empty() ? fullName : fullName + "\\" + key.path;
  const std::u16string name = Utf8ToUtf16(keyName);
  if (!Writable(name)) {
    return false;
  }
  if (key.link) {
    text += RegFileComment("[" + keyName + "] was a registry link to " + key.linkTarget +
                           ", deleted as the link: a .reg file cannot hold a link.");
    return true;
  }
  std::u16string section = u"[" + name + u"]" + kLineEnd;
  for (const RegValue& value : key.values) {
    if (!Writable(value.name)) {
      return false;
    }
    const std::u16string valueName = value.name.empty() ? u"@" : Quoted(value.name);
    section += valueName + u"=" + Data(value, valueName.size() + 1) + kLineEnd;
  }
  text += section + kLineEnd;
  return true;
}

std::string Utf16LeBytes(const std::u16string& text) {
  std::string bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}
