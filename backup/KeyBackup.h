#pragma once

#include <string>

#include "backup/BackupFile.h"
#include "backup/RegFile.h"
#include "registry/RegistryApi.h"
#include "unitMain/CleanProcedure.h"

// Before each key goes, appends it and everything below it to a .reg file and has that on disk,
// so the file holds every deleted key even if the process dies right after. A key that cannot
// be read whole, or written exactly, or whose file cannot be written, stays, and the run stops.
class KeyBackup : public DeletionGuard {
 public:
  KeyBackup(RegistryApi& api, BackupFile& file, BackupOrigin origin);

  bool BeforeDelete(const CleanTarget& key) override;

  // Why the last key could not be backed up; empty while none failed.
  const std::string& Failure() const { return failure_; }

 private:
  bool Fail(const std::string& why);
  // Makes the file at the first key and writes its heading.
  bool Start();
  // Writes the bytes and has them on disk.
  bool Save(const std::string& bytes);

  RegistryApi& api_;
  BackupFile& file_;
  BackupOrigin origin_;
  bool started_ = false;
  std::string failure_;
};
