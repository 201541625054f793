#pragma once

#include <string>
#include <vector>

#include "backup/BackupSource.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"
#include "users/Profiles.h"

// Told of each key as restore goes, so that a file of any number of keys is never held whole.
class RestoreLog {
 public:
  virtual ~RestoreLog() = default;
  // A key that is now as the file holds it.
  virtual void Restored(const ShownKey& key) = 0;
  // One line for a key that was not written whole, and why; what was written of it stays.
  virtual void NotRestored(const std::string& line) = 0;
  // Names the last key, cut short in the file, which was never deleted: told before any writing.
  virtual void CutShort(const std::string& notice) = 0;
};

struct RestoreResult {
  // Why nothing was written: the file is not a whole backup this program wrote, or one of its
  // sections names a key that is not one of the clean's. Empty when it was restored.
  std::string refusal;
  std::size_t notRestored = 0;  // how many lines told of keys not written whole
  // Without a log, what it would have been told, in the file's order.
  std::vector<ShownKey> restored;
  std::vector<std::string> failures;
  std::string cutShortNotice;      // empty when no key was cut
  std::vector<std::string> swept;  // mounts a killed run had left, unloaded before any writing
};

// Reads the backup twice. The first reading checks the whole file and writes nothing; it refuses
// the file whole unless every section is as the writer writes it and names one of the clean's
// keys. The second writes each whole section as it reads it again, in the 32-bit view the calls
// reach (a user's hive under HKEY_USERS as itself, unredirected, as the clean read it): each key
// made where missing and its values set to their exact bytes (a value that exists is replaced),
// each link made as a link. A key, value or link that is already as the file holds it counts as put
// back, so a restore can be run again. HKEY_CLASSES_ROOT goes to the machine's classes. Nothing is
// written outside the hive a key's name starts in, not through a link met on the way or one inside
// the control's keys, not a link whose target lies elsewhere, and no dangling link's target is
// made. A name longer than the platform takes is left out, never written as another. A last section
// cut short is never written; its key is only named. A key of a user's hive that is not loaded goes
// back through profiles into its profile's hive, loaded while its keys are written and unloaded
// after; without profiles, it is not restored. With profiles, what killed runs left mounted is
// swept once the file is checked, before anything is written, so a restore killed while a hive
// was mounted finishes when it is run again.
// Each key is told to the log as it is done; without one, the result holds them.
RestoreResult RunRestore(RegistryApi& api, BackupSource& source, ProfileHives* profiles = nullptr,
                         RestoreLog* log = nullptr);
