#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A backup file as restore reads it: a piece at a time, from any offset, so that no more than a
// piece of it is held at once, and twice over, once to check it and once to write it.
class BackupSource {
 public:
  virtual ~BackupSource() = default;
  // Reads up to size bytes from the offset into the buffer; *read is less than size only at the
  // file's end. False, with why, when the file could not be read.
  virtual bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size,
                      std::size_t* read, std::string* why) = 0;
};
