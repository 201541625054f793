#include "backup/BackupReader.h"

#include <cstddef>

#include "backup/RegFile.h"
#include "registry/Utf16.h"

using namespace backup_format;

namespace {

bool StartsWith(const std::u16string& text, const std::u16string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// The file's text cut into lines at each CR LF; what follows the last one is the tail, a line
// the file was cut in (empty when it ends with a line).
struct Lines {
  std::vector<std::u16string> complete;
  std::u16string tail;
};

Lines SplitLines(const std::u16string& text) {
  Lines lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(u"\r\n", start)) != std::u16string::npos;
       start = end + 2) {
    lines.complete.push_back(text.substr(start, end - start));
  }
  lines.tail = text.substr(start);
  return lines;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  return c >= u'a' && c <= u'f' ? c - u'a' + 10 : -1;
}

// Reads a quoted text at text[*at], escaped as the writer escapes: \\ and \" always, and \uXXXX
// too where comment escapes are allowed. Leaves *at past the closing quote.
bool ReadQuoted(const std::u16string& text, std::size_t* at, bool commentEscapes,
                std::u16string* out) {
  if (*at >= text.size() || text[*at] != u'"') {
    return false;
  }
  for (std::size_t i = *at + 1; i < text.size(); ++i) {
    if (text[i] == u'"') {
      *at = i + 1;
      return true;
    }
    if (text[i] != u'\\') {
      *out += text[i];
      continue;
    }
    if (++i == text.size()) {
      return false;
    }
    if (text[i] == u'\\' || text[i] == u'"') {
      *out += text[i];
    } else if (commentEscapes && text[i] == u'u' && i + 4 < text.size()) {
      unsigned unit = 0;
      for (std::size_t k = i + 1; k <= i + 4; ++k) {
        const int digit = HexDigit(text[k]);
        if (digit < 0) {
          return false;
        }
        unit = unit * 16 + static_cast<unsigned>(digit);
      }
      *out += static_cast<char16_t>(unit);
      i += 4;
    } else {
      return false;
    }
  }
  return false;
}

// The bytes of comma-separated pairs of hex digits; false for anything else.
bool ReadHex(const std::u16string& text, std::vector<std::uint8_t>* bytes) {
  for (std::size_t i = 0; i < text.size(); i += 3) {
    if (i + 2 > text.size() || (i + 2 < text.size() && text[i + 2] != u',')) {
      return false;
    }
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) {
      return false;
    }
    bytes->push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return text.empty() || text.back() != u',';
}

bool ReadNumber(const std::u16string& text, int base, std::uint32_t* number) {
  if (text.empty() || text.size() > 8) {
    return false;
  }
  *number = 0;
  for (char16_t c : text) {
    const int digit = HexDigit(c);
    if (digit < 0 || digit >= base) {
      return false;
    }
    *number = *number * base + static_cast<std::uint32_t>(digit);
  }
  return true;
}

// The data of a value line after its '=', continuation lines joined.
bool ReadData(const std::u16string& text, RegValue* value) {
  if (StartsWith(text, u"\"")) {
    std::size_t at = 0;
    std::u16string units;
    if (!ReadQuoted(text, &at, false, &units) || at != text.size()) {
      return false;
    }
    value->type = kRegSz;
    value->data = LeBytesFromUtf16(units + u'\0');
    return true;
  }
  if (StartsWith(text, u"dword:")) {
    std::uint32_t number;
    if (!ReadNumber(text.substr(6), 16, &number)) {
      return false;
    }
    value->type = kRegDword;
    value->data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                   static_cast<std::uint8_t>(number >> 16),
                   static_cast<std::uint8_t>(number >> 24)};
    return true;
  }
  std::size_t colon = 4;
  if (StartsWith(text, u"hex:")) {
    value->type = kRegBinary;
  } else if (StartsWith(text, u"hex(")) {
    const std::size_t close = text.find(u"):");
    if (close == std::u16string::npos || !ReadNumber(text.substr(4, close - 4), 16, &value->type)) {
      return false;
    }
    colon = close + 2;
  } else {
    return false;
  }
  return ReadHex(text.substr(colon), &value->data);
}

bool ReadValueLine(const std::u16string& line, RegValue* value) {
  std::size_t at = 0;
  if (StartsWith(line, u"@=")) {
    at = 1;
  } else if (!ReadQuoted(line, &at, false, &value->name) || value->name.empty()) {
    return false;
  }
  return at < line.size() && line[at] == u'=' && ReadData(line.substr(at + 1), value);
}

// The section's lines, its end mark last, read and checked to be exactly what the writer writes
// for what they hold.
bool ReadSection(const std::vector<std::u16string>& lines, std::size_t first, std::size_t end,
                 BackupSection* section) {
  const std::u16string& head = lines[first];
  if (StartsWith(head, kLinkStart)) {
    std::size_t at = std::u16string(kLinkStart).size();
    std::u16string name;
    std::u16string target;
    const std::u16string to = kLinkTo;
    if (!ReadQuoted(head, &at, true, &name) || head.compare(at, to.size(), to) != 0) {
      return false;
    }
    at += to.size();
    if (!ReadQuoted(head, &at, true, &target) || at != head.size() || end != first + 1) {
      return false;
    }
    section->link = true;
    section->keyName = Utf16ToUtf8(name);
    section->linkTarget = Utf16ToUtf8(target);
  } else if (head.size() >= 2 && head.front() == u'[' && head.back() == u']') {
    section->keyName = Utf16ToUtf8(head.substr(1, head.size() - 2));
  } else {
    return false;
  }
  for (std::size_t i = first + 1; i < end; ++i) {
    std::u16string line = lines[i];
    // Hex data goes on over lines that end in a backslash, each next one indented.
    while (!line.empty() && line.back() == u'\\' && i + 1 < end &&
           StartsWith(lines[i + 1], u"  ")) {
      line.pop_back();
      line += lines[++i].substr(2);
    }
    RegValue value;
    if (!ReadValueLine(line, &value)) {
      return false;
    }
    section->values.push_back(std::move(value));
  }
  if (!Writable(*section)) {
    return false;
  }
  std::u16string written;
  WriteSection(*section, [&](const std::u16string& piece) {
    written += piece;
    return true;
  });
  std::u16string read;
  for (std::size_t i = first; i <= end; ++i) {
    read += lines[i] + u"\r\n";
  }
  return written == read + u"\r\n";
}

// The key a section cut short was for, from as much of its first line as was written.
std::string CutKeyName(std::u16string head) {
  if (!head.empty() && head.back() == u'\r') {
    head.pop_back();
  }
  if (StartsWith(kLinkStart, head)) {
    return "";
  }
  if (StartsWith(head, kLinkStart)) {
    // The quoted name as far as its last whole character: an escape cut in half is left out.
    for (std::u16string quoted = head.substr(std::u16string(kLinkStart).size()); !quoted.empty();
         quoted.pop_back()) {
      std::u16string name;
      std::size_t at = 0;
      if (ReadQuoted(quoted + u"\"", &at, true, &name)) {
        return Utf16ToUtf8(name);
      }
    }
    return "";
  }
  std::u16string name = head.substr(1);
  if (!name.empty() && name.back() == u']') {
    name.pop_back();
  }
  return Utf16ToUtf8(name);
}

bool SectionStart(const std::u16string& line) {
  return StartsWith(line, u"[") || StartsWith(line, kLinkStart);
}

ParsedBackup Invalid(const std::string& why) {
  ParsedBackup parsed;
  parsed.error = why;
  return parsed;
}

}  // namespace

ParsedBackup ReadBackup(const std::string& fileBytes) {
  if (fileBytes.compare(0, 2, "\xFF\xFE") != 0) {
    return Invalid("it is not a backup made by tessaline-clean (no UTF-16 byte order mark)");
  }
  // An odd last byte is half of a character the file was cut in.
  const std::vector<std::uint8_t> bytes(fileBytes.begin() + 2, fileBytes.end());
  const Lines lines = SplitLines(Utf16FromLeBytes(bytes));
  const std::vector<std::u16string>& line = lines.complete;
  if (line.size() < 3 || line[0] != kFormatLine || !line[1].empty() || line[2] != kSignature) {
    return Invalid("it is not a backup made by tessaline-clean");
  }
  std::size_t at = 3;
  for (; at < line.size() && StartsWith(line[at], u"; "); ++at) {
  }
  if (at == line.size()) {
    return Invalid("it was cut short before its first key");
  }
  if (!line[at].empty()) {
    return Invalid("its heading is malformed");
  }
  ParsedBackup parsed;
  for (++at; at < line.size();) {
    std::size_t end = at;
    while (end < line.size() && !StartsWith(line[end], kEndMarkStart)) {
      ++end;
    }
    if (end == line.size()) {
      break;
    }
    BackupSection section;
    if (!ReadSection(line, at, end, &section)) {
      return Invalid("the section that begins on line " + std::to_string(at + 1) + " is malformed");
    }
    parsed.sections.push_back(std::move(section));
    // A section ends with a blank line, which the file may have been cut in.
    if (end + 1 < line.size() && !line[end + 1].empty()) {
      return Invalid("line " + std::to_string(end + 2) + " should be blank");
    }
    at = end + 2;
  }
  const bool endsWithSection = at >= line.size() && (lines.tail.empty() || lines.tail == u"\r");
  if (!endsWithSection) {
    // What is left is one section cut short: it begins as a section does and holds no other.
    const std::u16string head = at < line.size() ? line[at] : lines.tail;
    for (std::size_t i = at; i < line.size(); ++i) {
      if ((i > at && SectionStart(line[i])) || line[i].empty() || !SectionStart(head)) {
        return Invalid("it is malformed from line " + std::to_string(i + 1));
      }
    }
    if (!SectionStart(head) && !StartsWith(kLinkStart, head)) {
      return Invalid("it is malformed at its end");
    }
    parsed.cutKey = CutKeyName(head);
  }
  parsed.valid = true;
  return parsed;
}
