#include "backup/RegFile.h"

#include "backup/ValueTypes.h"
#include "registry/ShownText.h"
#include "registry/Utf16.h"

using namespace backup_format;

namespace {

std::u16string Quoted(const std::u16string& text) {
  std::u16string quoted = u"\"";
  for (char16_t c : text) {
    AddQuoted(c, &quoted);
  }
  return quoted + u"\"";
}

std::u16string Ascii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
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

bool SectionWriter::Link(const std::string& keyName, const std::optional<std::string>& target) {
  std::u16string line = kLinkStart + EscapedText(Utf8ToUtf16(keyName), true);
  if (target) {
    line += kLinkTo + EscapedText(Utf8ToUtf16(*target), true);
  }
  return Put(line + kLineEnd);
}

bool SectionWriter::Value(const RegValue& value) {
  ++values_;
  std::u16string text = (value.name.empty() ? u"@" : Quoted(value.name)) + u"=";
  return WriteValueData(value, &text, sink_) && Put(text + kLineEnd);
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
