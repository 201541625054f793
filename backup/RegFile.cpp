#include "backup/RegFile.h"

#include <cstdio>

#include "registry/Utf16.h"

using namespace backup_format;

namespace {

// Hex data is wrapped as regedit wraps it, so no line grows past 80 characters.
constexpr std::size_t kWrapColumn = 77;
// Hex text is passed on once it holds this many characters, so a value's text is never whole.
constexpr std::size_t kPieceSize = 1 << 15;

bool HighSurrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool LowSurrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Whether the unit at i is half of a pair of surrogates.
bool Paired(const std::u16string& units, std::size_t i) {
  return HighSurrogate(units[i]) ? i + 1 < units.size() && LowSurrogate(units[i + 1])
                                 : i > 0 && HighSurrogate(units[i - 1]);
}

bool PairedSurrogates(const std::u16string& units) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    if ((HighSurrogate(units[i]) || LowSurrogate(units[i])) && !Paired(units, i)) {
      return false;
    }
  }
  return true;
}

bool NoLineBreakOrZero(const std::u16string& name) {
  return name.find_first_of(std::u16string(u"\r\n\0", 3)) == std::u16string::npos;
}

// Text a reader could take for something else, or that could end a line: control characters,
// the C1 set, the Unicode line and paragraph separators, lone surrogates, non-characters.
bool NeedsEscape(const std::u16string& text, std::size_t i) {
  const char16_t c = text[i];
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0xFEFF ||
         c >= 0xFFFE || ((HighSurrogate(c) || LowSurrogate(c)) && !Paired(text, i));
}

// Comment text from outside, with \uXXXX for whatever NeedsEscape names; in quoted form the
// backslash and the quote are escaped too, so the text reads back exactly.
std::u16string Escaped(const std::u16string& text, bool quoted) {
  std::u16string escaped = quoted ? u"\"" : u"";
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (NeedsEscape(text, i)) {
      char code[8];
      std::snprintf(code, sizeof(code), "\\u%04x", static_cast<unsigned>(text[i]));
      escaped += std::u16string(code, code + 6);
    } else {
      if (quoted && (text[i] == u'\\' || text[i] == u'"')) {
        escaped += u'\\';
      }
      escaped += text[i];
    }
  }
  return quoted ? escaped + u"\"" : escaped;
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
  return NoLineBreakOrZero(units) && PairedSurrogates(units);
}

std::u16string HexPrefix(std::uint32_t type) {
  if (type == kRegBinary) {
    return u"hex:";
  }
  char number[16];
  std::snprintf(number, sizeof(number), "hex(%x):", static_cast<unsigned>(type));
  return Ascii(number);
}

}  // namespace

std::u16string RegFileHeader(const BackupOrigin& origin, const std::string& fileName) {
  const std::u16string name = Escaped(Utf8ToUtf16(fileName), false);
  return std::u16string(u"\xFEFF") + kFormatLine + kLineEnd + kLineEnd + kSignature + kLineEnd +
         u"; Made by tessaline-clean " + Escaped(Utf8ToUtf16(origin.version), false) + u" on " +
         Escaped(Utf8ToUtf16(origin.time), false) + u", before these keys were deleted." +
         kLineEnd + u"; Put them back with: tessaline-clean restore \"" + name + u"\"" + kLineEnd +
         u"; Without the program: reg import \"" + name + u"\" /reg:32, which recreates no" +
         u" link, gives back no string" + kLineEnd +
         u"; without its terminating zero or of odd length as it was, and applies a section" +
         u" cut short." + kLineEnd + kLineEnd;
}

bool WritableKeyName(const std::string& keyName) {
  return keyName.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool WritableValueName(const std::u16string& valueName) {
  return NoLineBreakOrZero(valueName) && PairedSurrogates(valueName);
}

bool Writable(const BackupSection& section) {
  if (!WritableKeyName(section.keyName)) {
    return false;
  }
  for (const RegValue& value : section.values) {
    if (!WritableValueName(value.name)) {
      return false;
    }
  }
  return true;
}

bool SectionWriter::Put(const std::u16string& text) {
  return sink_(text);
}

bool SectionWriter::Key(const std::string& keyName) {
  return Put(u"[" + Utf8ToUtf16(keyName) + u"]" + kLineEnd);
}

bool SectionWriter::Link(const std::string& keyName, const std::string& target) {
  return Put(kLinkStart + Escaped(Utf8ToUtf16(keyName), true) + kLinkTo +
             Escaped(Utf8ToUtf16(target), true) + kLineEnd);
}

bool SectionWriter::Value(const RegValue& value) {
  ++values_;
  std::u16string text = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
  if (QuotableString(value)) {
    const std::u16string units = Utf16FromLeBytes(value.data);
    return Put(text + Quoted(units.substr(0, units.size() - 1)) + kLineEnd);
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    char number[16];
    std::snprintf(
        number, sizeof(number), "dword:%08x",
        static_cast<unsigned>(value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                              (static_cast<std::uint32_t>(value.data[3]) << 24)));
    return Put(text + Ascii(number) + kLineEnd);
  }
  text += HexPrefix(value.type);
  std::size_t column = text.size();
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    if (i > 0) {
      text += u',';
      ++column;
      if (column + 2 > kWrapColumn) {
        text += u"\\\r\n  ";
        column = 2;
      }
    }
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    text += kDigits[value.data[i] >> 4];
    text += kDigits[value.data[i] & 0xF];
    column += 2;
    if (text.size() >= kPieceSize) {
      if (!Put(text)) {
        return false;
      }
      text.clear();
    }
  }
  return Put(text + kLineEnd);
}

bool SectionWriter::End() {
  const std::u16string mark = kEndMarkStart + Ascii(std::to_string(values_)) + kEndMarkEnd;
  values_ = 0;
  return Put(mark + kLineEnd + kLineEnd);
}

bool WriteSection(const BackupSection& section, const RegTextSink& sink) {
  SectionWriter writer(sink);
  if (!(section.link ? writer.Link(section.keyName, section.linkTarget)
                     : writer.Key(section.keyName))) {
    return false;
  }
  for (const RegValue& value : section.values) {
    if (!writer.Value(value)) {
      return false;
    }
  }
  return writer.End();
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
