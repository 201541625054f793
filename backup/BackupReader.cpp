#include "backup/BackupReader.h"

#include <optional>

#include "backup/RegFile.h"
#include "backup/UnitCursor.h"
#include "backup/ValueTypes.h"
#include "registry/Utf16.h"

using namespace backup_format;

namespace {

// The longest first line of a section, or line of the heading, that is read whole: far more than
// the deepest key's name; a longer one is no line the writer wrote.
constexpr std::size_t kLongestLine = 1 << 20;
// The longest value name read whole, for the same reason.
constexpr std::size_t kLongestName = 1 << 20;

// One line without its CR LF; kEnded when the text ends first (the line holds what there is),
// kBad, with the cursor inside the line, when it is longer than the longest taken.
Read ReadLine(UnitCursor& in, std::size_t longest, std::u16string* line) {
  line->clear();
  for (char16_t unit; in.Next(&unit);) {
    if (in.AtLineStart()) {
      line->pop_back();
      return Read::kDone;
    }
    // One unit more may be the CR of the line's end.
    if (line->size() > longest || (line->size() == longest && unit != u'\r')) {
      return Read::kBad;
    }
    line->push_back(unit);
  }
  return Read::kEnded;
}

bool StartsWith(const std::u16string& text, const std::u16string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// A quoted text of a comment line, read from the line.
bool QuotedInLine(const std::u16string& line, std::size_t* at, std::u16string* text) {
  if (*at >= line.size() || line[*at] != u'"') {
    return false;
  }
  for (std::size_t i = *at + 1; i < line.size(); ++i) {
    if (line[i] == u'"') {
      *at = i + 1;
      return true;
    }
    if (line[i] != u'\\') {
      *text += line[i];
      continue;
    }
    if (++i == line.size()) {
      return false;
    }
    if (line[i] == u'u' && i + 4 < line.size()) {
      unsigned code = 0;
      for (std::size_t k = i + 1; k <= i + 4; ++k) {
        if (HexDigit(line[k]) < 0) {
          return false;
        }
        code = code * 16 + static_cast<unsigned>(HexDigit(line[k]));
      }
      *text += static_cast<char16_t>(code);
      i += 4;
    } else if (line[i] == u'\\' || line[i] == u'"') {
      *text += line[i];
    } else {
      return false;
    }
  }
  return false;
}

// The section's first line: a key's, or a link's comment.
bool ParseHead(const std::u16string& line, BackupSection* head) {
  const std::u16string linkStart = kLinkStart;
  const std::u16string to = kLinkTo;
  if (StartsWith(line, linkStart)) {
    std::size_t at = linkStart.size();
    std::u16string name;
    std::u16string target;
    if (!QuotedInLine(line, &at, &name)) {
      return false;
    }
    head->link = true;
    head->keyName = Utf16ToUtf8(name);
    if (at == line.size()) {
      return true;
    }
    if (line.compare(at, to.size(), to) != 0) {
      return false;
    }
    at += to.size();
    if (!QuotedInLine(line, &at, &target) || at != line.size()) {
      return false;
    }
    head->linkTarget = Utf16ToUtf8(target);
    return true;
  }
  if (line.size() >= 2 && line.front() == u'[' && line.back() == u']') {
    head->keyName = Utf16ToUtf8(line.substr(1, line.size() - 2));
    return true;
  }
  return false;
}

// The key a section cut short was for, from as much of its first line as was written; empty
// where not even the start of its name was.
std::string CutKeyName(std::u16string head) {
  if (!head.empty() && head.back() == u'\r') {
    head.pop_back();
  }
  const std::u16string linkStart = kLinkStart;
  if (StartsWith(head, linkStart)) {
    // The quoted name as far as its last whole character: an escape cut in half is left out.
    for (std::u16string quoted = head.substr(linkStart.size()); !quoted.empty();
         quoted.pop_back()) {
      std::u16string name;
      std::size_t at = 0;
      if (QuotedInLine(quoted + u"\"", &at, &name)) {
        return Utf16ToUtf8(name);
      }
    }
    return "";
  }
  if (StartsWith(linkStart, head)) {
    return "";
  }
  std::u16string name = head.substr(1);
  if (!name.empty() && name.back() == u']') {
    name.pop_back();
  }
  return Utf16ToUtf8(name);
}

// Whether a line that begins so may begin a section, as far as it goes.
bool SectionStart(const std::u16string& line) {
  return StartsWith(line, u"[") || StartsWith(line, kLinkStart) ||
         StartsWith(std::u16string(kLinkStart), line);
}

// One value line and its continuations, decoded as they are read.
Read ReadValue(UnitCursor& in, RegValue* value) {
  char16_t unit;
  if (!in.Next(&unit)) {
    return Read::kEnded;
  }
  if (unit == u'"') {
    const Read name = ReadQuoted(in, [&](char16_t c) {
      value->name.push_back(c);
      return value->name.size() <= kLongestName;
    });
    if (name != Read::kDone) {
      return name;
    }
  } else if (unit != u'@') {
    return Read::kBad;
  }
  Read read = ReadText(in, u"=");
  if (read == Read::kDone) {
    read = ReadValueData(in, value);
  }
  return read == Read::kDone ? ReadText(in, u"\r\n") : read;
}

// Compares what the writer writes with the file's text from where it begins: with the text the
// reading kept of it, or, for a section longer than that, with the file read again.
class WrittenBack {
 public:
  WrittenBack(BackupSource& source, std::uint64_t unit, const UnitCursor::Recording& kept)
      : source_(source), start_(unit), kept_(kept) {}

  RegTextSink Sink() {
    return [this](const std::u16string& piece) {
      for (char16_t wanted : piece) {
        if (!Next(wanted)) {
          return false;
        }
      }
      return true;
    };
  }

 private:
  bool Next(char16_t wanted) {
    if (!again_ && compared_ < kept_.text.size()) {
      return kept_.text[compared_++] == wanted;
    }
    if (!again_) {
      if (!kept_.Full()) {
        return false;
      }
      again_.emplace(source_, start_ + compared_);
    }
    char16_t unit;
    return again_->Next(&unit) && unit == wanted;
  }

  BackupSource& source_;
  const std::uint64_t start_;
  const UnitCursor::Recording& kept_;
  std::size_t compared_ = 0;
  std::optional<UnitCursor> again_;
};

class Reading {
 public:
  Reading(BackupSource& source, SectionVisitor& visitor)
      : source_(source), visitor_(visitor), in_(source, 0) {}

  BackupReading Run() {
    std::uint8_t mark[2] = {};
    std::size_t read = 0;
    std::string why;
    if (!source_.ReadAt(0, mark, 2, &read, &why)) {
      return Invalid("it cannot be read: " + why);
    }
    if (read < 2 || mark[0] != 0xFF || mark[1] != 0xFE) {
      return Invalid("it is not a backup made by tessaline-clean (no UTF-16 byte order mark)");
    }
    if (!Heading()) {
      return result_;
    }
    while (Section()) {
    }
    if (in_.Failed()) {
      return Invalid("it cannot be read: " + in_.Why());
    }
    return result_;
  }

 private:
  BackupReading Invalid(const std::string& why) {
    result_.valid = false;
    result_.error = why;
    result_.cutKey.reset();
    return result_;
  }

  bool Heading() {
    std::u16string line;
    const Read format = ReadLine(in_, kLongestLine, &line);
    const bool ours = format == Read::kDone && line == kFormatLine &&
                      ReadLine(in_, kLongestLine, &line) == Read::kDone && line.empty() &&
                      ReadLine(in_, kLongestLine, &line) == Read::kDone && line == kSignature;
    if (!ours) {
      Invalid("it is not a backup made by tessaline-clean");
      return false;
    }
    for (;;) {
      const Read comment = ReadLine(in_, kLongestLine, &line);
      if (comment != Read::kDone) {
        Invalid(comment == Read::kEnded ? "it was cut short before its first key"
                                        : "its heading is malformed");
        return false;
      }
      if (line.empty()) {
        result_.valid = true;
        return true;
      }
      if (!StartsWith(line, u"; ")) {
        Invalid("its heading is malformed");
        return false;
      }
    }
  }

  // Reads one section; false once there is none to read after it.
  bool Section() {
    const std::uint64_t start = in_.Unit();
    const std::uint64_t startLine = in_.Line();
    const UnitCursor::Recording& kept = in_.Record();
    std::u16string line;
    const Read first = ReadLine(in_, kLongestLine, &line);
    if (first == Read::kEnded) {
      // Nothing of a next section (or half of the blank line before it), or its first line cut
      // short.
      if (line.empty() || line == u"\r") {
        return false;
      }
      return SectionStart(line) ? Cut(line) : Malformed(startLine, line);
    }
    BackupSection head;
    if (first == Read::kBad || !ParseHead(line, &head) || !WritableKeyName(head.keyName)) {
      return Malformed(startLine, line);
    }
    WrittenBack written(source_, start, kept);
    SectionWriter writer(written.Sink());
    if (!(head.link ? writer.Link(head.keyName, head.linkTarget) : writer.Key(head.keyName))) {
      return Malformed(startLine, line);
    }
    visitor_.Begin(head);
    for (;;) {
      char16_t unit;
      if (!in_.Peek(&unit)) {
        return Cut(line);
      }
      if (unit == u';') {
        return EndMark(startLine, line, writer);
      }
      if (unit != u'@' && unit != u'"') {
        return Malformed(startLine, line);
      }
      RegValue value;
      const Read read = ReadValue(in_, &value);
      if (read == Read::kEnded) {
        return Cut(line);
      }
      if (read == Read::kBad || head.link || !WritableValueName(value.name) ||
          !writer.Value(value)) {
        return Malformed(startLine, line);
      }
      visitor_.Value(std::move(value));
    }
  }

  // The end mark, as the writer writes it for the values read, and the blank line after it,
  // which the file may have been cut in.
  bool EndMark(std::uint64_t startLine, const std::u16string& first, const SectionWriter& writer) {
    std::u16string line;
    const Read read = ReadLine(in_, kLongestLine, &line);
    if (read == Read::kEnded) {
      return Cut(first);
    }
    if (read == Read::kBad || line != writer.EndMark()) {
      Invalid("the section that begins on line " + std::to_string(startLine) + " is malformed");
      return false;
    }
    visitor_.End();
    ++result_.sections;
    const Read blank = ReadLine(in_, 0, &line);
    if (blank == Read::kEnded) {
      return false;
    }
    if (blank == Read::kBad) {
      Invalid("line " + std::to_string(in_.Line()) + " should be blank");
      return false;
    }
    return true;
  }

  // The file ends within the section that begins with the line: its key was never deleted.
  bool Cut(const std::u16string& first) {
    result_.cutKey = CutKeyName(first);
    return false;
  }

  // A section that is not as the writer writes it: the file is refused, unless the section is the
  // last one, cut short, and what follows in it, from the line the cursor is in, is no more than
  // the rest of its lines: no blank line, no other section, no end mark. The lines of a section cut
  // short are never used, whatever they hold (a disk that lost power may leave anything past the
  // last write).
  bool Malformed(std::uint64_t startLine, const std::u16string& first) {
    for (char16_t unit; !in_.AtLineStart() && in_.Next(&unit);) {
    }
    for (std::u16string start; in_.AtLineStart();) {
      const Read read = ReadLine(in_, 16, &start);
      if (read == Read::kEnded && start.empty()) {
        break;
      }
      if ((read == Read::kDone && start.empty()) || StartsWith(start, u"[") ||
          StartsWith(start, kLinkStart) || StartsWith(start, kEndMarkStart)) {
        Invalid("the section that begins on line " + std::to_string(startLine) + " is malformed");
        return false;
      }
      for (char16_t unit; read == Read::kBad && !in_.AtLineStart() && in_.Next(&unit);) {
      }
    }
    if (!SectionStart(first)) {
      Invalid("it is malformed from line " + std::to_string(startLine));
      return false;
    }
    return Cut(first);
  }

  BackupSource& source_;
  SectionVisitor& visitor_;
  UnitCursor in_;
  BackupReading result_;
};

}  // namespace

BackupReading ReadBackup(BackupSource& source, SectionVisitor& visitor) {
  return Reading(source, visitor).Run();
}
