#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "backup/BackupFormat.h"
#include "backup/BackupSource.h"

// Told of what a reading finds, section by section and value by value, as it goes: a value is
// held only until it was handed on.
class SectionVisitor {
 public:
  virtual ~SectionVisitor() = default;
  // A section begins: its first line is as the writer writes it. The head has no values.
  virtual void Begin(const BackupSection& head) = 0;
  // The section's next value, exactly as the writer writes it.
  virtual void Value(RegValue value) = 0;
  // The section's end mark: the section is whole.
  virtual void End() = 0;
};

// What a reading of a whole backup found.
struct BackupReading {
  // False for a file that is not a backup this program wrote, that could not be read, or that is
  // malformed or cut anywhere before its last section; nothing of it may then be used.
  bool valid = false;
  std::string error;         // why it is not valid, for the user
  std::size_t sections = 0;  // the whole sections, each told from Begin to End
  // The key of a last section that was cut short (its end mark missing), as far as its first line
  // was written: that key was never deleted. Its Begin, and values, may have been told; its End
  // never.
  std::optional<std::string> cutKey;
};

// Reads a backup from its start, a piece at a time, and checks every section to be exactly what
// the writer writes for what it holds, byte for byte; values are decoded in pieces as they were
// written, so no more than one value is held at once, whatever the file's size.
BackupReading ReadBackup(BackupSource& source, SectionVisitor& visitor);
