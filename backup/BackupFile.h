#pragma once

#include <cstddef>
#include <string>

// The file a backup goes to, opened for appending.
class BackupFile {
 public:
  virtual ~BackupFile() = default;
  // The file's full name, as a restore command names it wherever it runs.
  virtual std::string Name() const = 0;
  // Opens the file, made when missing, and reads up to `count` bytes from its start into *start
  // (empty for a new or empty file). False when it cannot be opened for writing.
  virtual bool Open(std::size_t count, std::string* start) = 0;
  // Adds the bytes at the end and has them on disk before it returns; false when that failed.
  virtual bool Append(const std::string& bytes) = 0;
};
