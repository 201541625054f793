#pragma once

#include <cstdint>
#include <string>

// The file a backup goes to: always a new file, never one that was there before.
class BackupFile {
 public:
  virtual ~BackupFile() = default;
  // The full name of the file made, as a restore command names it wherever it runs; empty until
  // Create succeeded.
  virtual std::string Name() const = 0;
  // Each call that fails returns false with why.
  // Makes the new file, and the folder for it where asked to; never opens a file that exists,
  // never writes through a link, and refuses a folder that others could change. Nothing was
  // written when it fails.
  virtual bool Create(std::string* why) = 0;
  // Adds the bytes at the end.
  virtual bool Write(const std::string& bytes, std::string* why) = 0;
  // Takes the file back to its first bytes, the size given, as a section that could not be
  // finished is taken out.
  virtual bool CutTo(std::uint64_t size, std::string* why) = 0;
  // Has everything written so far on disk before it returns.
  virtual bool Flush(std::string* why) = 0;
  // The bytes the file's volume has free for it.
  virtual bool FreeSpace(std::uint64_t* bytes, std::string* why) = 0;
  // Removes the file made, as a run that backed up no key leaves none.
  virtual bool Discard(std::string* why) = 0;
};
