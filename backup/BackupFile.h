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
  // Makes the new file, and the folder for it where asked to; never opens a file that exists,
  // never writes through a link, and refuses a folder that others could change. False, with
  // Failure() telling why, when no file was made; nothing was written then.
  virtual bool Create() = 0;
  // Adds the bytes at the end; false when that failed, with Failure() telling why.
  virtual bool Write(const std::string& bytes) = 0;
  // Takes the file back to its first bytes, the size given, as a section that could not be
  // finished is taken out; false when that failed.
  virtual bool CutTo(std::uint64_t size) = 0;
  // Has everything written so far on disk before it returns; false when that failed.
  virtual bool Flush() = 0;
  // The bytes the file's volume has free for it; false when the platform cannot tell.
  virtual bool FreeSpace(std::uint64_t* bytes) = 0;
  // Removes the file made, as a run that backed up no key leaves none; false when it could not,
  // with Failure() telling why.
  virtual bool Discard() = 0;
  // Why the last call that failed did; empty while none did.
  virtual std::string Failure() const = 0;
};
