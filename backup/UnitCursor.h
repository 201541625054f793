#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "backup/BackupSource.h"

// How a backup's text is read: a unit at a time, from a file that may be cut anywhere.

// A reading starts with a small buffer and doubles it as it goes on, up to the largest: a check
// that compares one short section reads little more than the section.
constexpr std::size_t kFirstBufferBytes = 1 << 10;
constexpr std::size_t kBufferBytes = 1 << 16;
// The longest stretch of text a cursor keeps for the check of a section.
constexpr std::size_t kLongestRecording = 1 << 15;

// The text of the file after its byte order mark, a UTF-16 unit at a time, read a buffer at a
// time. A last odd byte is half a unit the file was cut in: the text ends before it.
class UnitCursor {
 public:
  UnitCursor(BackupSource& source, std::uint64_t unit) : source_(source), next_(2 + 2 * unit) {}

  // The unit at the cursor; false at the text's end or when the file could not be read.
  bool Peek(char16_t* unit) {
    if (at_ + 2 > buffer_.size() && !Fill()) {
      return false;
    }
    *unit = static_cast<char16_t>(buffer_[at_] | (buffer_[at_ + 1] << 8));
    return true;
  }

  bool Next(char16_t* unit) {
    if (!Peek(unit)) {
      return false;
    }
    at_ += 2;
    if (recording_ && !recorded_.Full()) {
      recorded_.text.push_back(*unit);
    }
    atLineStart_ = *unit == u'\n' && previous_ == u'\r';
    line_ += atLineStart_ ? 1 : 0;
    previous_ = *unit;
    return true;
  }

  // What the cursor passes from now on is kept, up to kLongestRecording units, until Record is
  // asked again; a check compares a short section with it rather than read it twice.
  struct Recording {
    std::u16string text;
    bool Full() const { return text.size() == kLongestRecording; }
  };
  const Recording& Record() {
    recording_ = true;
    recorded_.text.clear();
    return recorded_;
  }

  // How many units lie from the cursor to the end of its line, the lines a hex value goes on in
  // (after a backslash) included; read ahead by a cursor of its own, this one left where it is.
  std::uint64_t UnitsToLineEnd() const {
    UnitCursor ahead(source_, Unit());
    std::uint64_t units = 0;
    char16_t last[2] = {};
    for (char16_t unit; ahead.Next(&unit); ++units) {
      if (unit == u'\n' && last[1] == u'\r' && last[0] != u'\\') {
        return units - 1;
      }
      last[0] = last[1];
      last[1] = unit;
    }
    return units;
  }

  // Whether the cursor stands at the start of a line: the text's or right after a CR LF.
  bool AtLineStart() const { return atLineStart_; }

  // Where the cursor is, in units from the start of the text.
  std::uint64_t Unit() const { return (next_ - (buffer_.size() - at_) - 2) / 2; }
  // The line the cursor is on, counting the format line as the first.
  std::uint64_t Line() const { return line_; }
  bool Failed() const { return failed_; }
  // Why the file could not be read, once Failed.
  const std::string& Why() const { return why_; }

 private:
  bool Fill() {
    if (failed_) {
      return false;
    }
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
    const std::size_t kept = buffer_.size();
    room_ = std::min(room_ * 2, kBufferBytes);
    buffer_.resize(kept + room_);
    std::size_t read = 0;
    if (!source_.ReadAt(next_, buffer_.data() + kept, room_, &read, &why_)) {
      failed_ = true;
      read = 0;
    }
    buffer_.resize(kept + read);
    next_ += read;
    return buffer_.size() >= 2;
  }

  BackupSource& source_;
  std::uint64_t next_;  // the file offset the next read starts at
  std::vector<std::uint8_t> buffer_;
  std::size_t room_ = kFirstBufferBytes / 2;
  std::size_t at_ = 0;
  std::uint64_t line_ = 1;
  char16_t previous_ = 0;
  bool atLineStart_ = true;
  bool failed_ = false;
  std::string why_;
  bool recording_ = false;
  Recording recorded_;
};

// How the reading of a piece of the text went: whole, cut short where the cursor's text ends, or
// not as the writer writes it.
enum class Read { kDone, kEnded, kBad };

// The digit's value, -1 for a unit that is no hex digit.
inline int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') {
    return c - u'0';
  }
  if (c >= u'a' && c <= u'f') {
    return c - u'a' + 10;
  }
  return c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
}

// Takes the text if it comes next: kEnded only when the cursor's text ends part way; kBad, with
// the unit taken, at the first unit that is not the one wanted, whatever follows it. A file cut
// short ends where it was cut: text that goes on otherwise is text the writer did not write.
inline Read ReadText(UnitCursor& in, std::u16string_view text) {
  for (char16_t wanted : text) {
    char16_t unit;
    if (!in.Next(&unit)) {
      return Read::kEnded;
    }
    if (unit != wanted) {
      return Read::kBad;
    }
  }
  return Read::kDone;
}

// Reads a quoted text after its opening quote, escaped as the writer escapes: \\ and \". Each
// unit goes to the sink. Leaves the cursor past the closing quote.
template <typename Sink>
Read ReadQuoted(UnitCursor& in, Sink sink) {
  for (char16_t unit; in.Next(&unit);) {
    if (unit == u'"') {
      return Read::kDone;
    }
    if (unit != u'\\') {
      if (!sink(unit)) {
        return Read::kBad;
      }
      continue;
    }
    if (!in.Next(&unit)) {
      return Read::kEnded;
    }
    if (unit != u'\\' && unit != u'"') {
      return Read::kBad;
    }
    if (!sink(unit)) {
      return Read::kBad;
    }
  }
  return Read::kEnded;
}
