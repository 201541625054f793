#include "backup/RegFile.h"

#include <cstdio>

#include "registry/ShownText.h"
#include "registry/Utf16.h"

using namespace backup_format;

namespace {

// Hex data is wrapped as regedit wraps it, so no line grows past 80 characters.
constexpr std::size_t kWrapColumn = 77;
// Hex text is passed on once it holds this many characters, so a value's text is never whole.
constexpr std::size_t kPieceSize = 1 << 15;

// The UTF-16 units of a string value's bytes, read in place: a large value is never copied.
class LeUnits {
 public:
  explicit LeUnits(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  std::size_t size() const { return bytes_.size() / 2; }
  char16_t operator[](std::size_t i) const {
    return static_cast<char16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8));
  }

 private:
  const std::vector<std::uint8_t>& bytes_;
};

// Whether the first `length` units read back the same from a line: whole characters, no line
// break and no zero.
template <typename Units>
bool LineText(const Units& units, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    const char16_t c = units[i];
    if (c == u'\r' || c == u'\n' || c == 0 ||
        ((HighSurrogate(c) || LowSurrogate(c)) && !Paired(units, length, i))) {
      return false;
    }
  }
  return true;
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
  const LeUnits units(value.data);
  const std::size_t length = units.size() - 1;
  return units[length] == 0 && LineText(units, length);
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
  const std::u16string name = EscapedText(Utf8ToUtf16(fileName), false);
  return std::u16string(u"\xFEFF") + kFormatLine + kLineEnd + kLineEnd + kSignature + kLineEnd +
         u"; Made by tessaline-clean " + EscapedText(Utf8ToUtf16(origin.version), false) + u" on " +
         EscapedText(Utf8ToUtf16(origin.time), false) + u", before these keys were deleted." +
         kLineEnd + u"; Put them back with: tessaline-clean restore \"" + name + u"\"" + kLineEnd +
         u"; Only without the program, and only for a file kept where no other user can change" +
         u" it:" + kLineEnd + u";   reg import \"" + name + u"\" /reg:32" + kLineEnd +
         u"; which takes any key a changed file names, recreates no link, gives back no string" +
         kLineEnd +
         u"; without its terminating zero or of odd length as it was, and applies a section" +
         u" cut short." + kLineEnd + kLineEnd;
}

bool WritableKeyName(const std::string& keyName) {
  return keyName.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

bool WritableValueName(const std::u16string& valueName) {
  return LineText(valueName, valueName.size());
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
  return Put(kLinkStart + EscapedText(Utf8ToUtf16(keyName), true) + kLinkTo +
             EscapedText(Utf8ToUtf16(target), true) + kLineEnd);
}

bool SectionWriter::Value(const RegValue& value) {
  ++values_;
  std::u16string text = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
  if (QuotableString(value)) {
    // In pieces, so a long string is never held again as text.
    text += u'"';
    const LeUnits units(value.data);
    for (std::size_t i = 0; i + 1 < units.size(); ++i) {
      if (units[i] == u'\\' || units[i] == u'"') {
        text += u'\\';
      }
      text += units[i];
      if (text.size() >= kPieceSize) {
        if (!Put(text)) {
          return false;
        }
        text.clear();
      }
    }
    return Put(text + u'"' + kLineEnd);
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

std::u16string SectionWriter::EndMark() const {
  return kEndMarkStart + Ascii(std::to_string(values_)) + kEndMarkEnd;
}

bool SectionWriter::End() {
  const std::u16string mark = EndMark();
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
