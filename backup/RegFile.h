#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "backup/BackupFormat.h"

// Writes a backup's text (BackupFormat.h): each value with its exact bytes, and the comment lines
// "reg import" ignores. Nothing read from the registry goes into a comment as it was: control
// characters, backslashes and quotes in it are escaped, so no data can end a line or forge a mark.

// Takes the next piece of text; false when it could not be passed on.
using RegTextSink = std::function<bool(const std::u16string&)>;

// Where a backup came from, for its heading.
struct BackupOrigin {
  std::string version;  // the program's
  std::string time;     // when the run began, as the user reads it
};

// The byte order mark, the format line, and the heading's comment lines naming the program, its
// version, the time and the ways back for the file of that full name (UTF-8), then a blank line.
std::u16string RegFileHeader(const BackupOrigin& origin, const std::string& fileName);
// Whether a name can be written so that it reads back the same: no line break, no zero and, in
// a value's name, no lone surrogate.
bool WritableKeyName(const std::string& keyName);
bool WritableValueName(const std::u16string& valueName);
bool Writable(const BackupSection& section);

// Writes one key's section piece by piece, so a key's values need not all be held at once: the
// key's line (or a link's comment), each value, then the end mark, the line that says the
// section is whole. Data goes to the sink in pieces of bounded size. Names must be writable.
// Each call is false as soon as the sink returned false.
class SectionWriter {
 public:
  explicit SectionWriter(RegTextSink sink) : sink_(std::move(sink)) {}

  bool Key(const std::string& keyName);
  bool Link(const std::string& keyName, const std::optional<std::string>& target);
  bool Value(const RegValue& value);
  // The end mark's line, which counts the values written since the section began.
  std::u16string EndMark() const;
  // The end mark and a blank line.
  bool End();

 private:
  bool Put(const std::u16string& text);

  RegTextSink sink_;
  std::size_t values_ = 0;
};

// The whole section through a SectionWriter.
bool WriteSection(const BackupSection& section, const RegTextSink& sink);
// The bytes of the text as the file holds them.
std::string Utf16LeBytes(const std::u16string& text);
