#pragma once

#include <string>
#include <vector>

#include "backup/BackupSource.h"
#include "clean/Profiles.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"

struct RestoreResult {
  // Why nothing was written: the file is not a whole backup this program wrote, or one of its
  // sections names a key that is not one of the clean's. Empty when it was restored.
  std::string refusal;
  std::vector<LoggedKey> restored;  // each key that is as the file holds it, in the file's order
  // One line a key that was not written whole, and why, in the file's order; what was written of
  // it stays.
  std::vector<std::string> failures;
  std::string cutNotice;  // names the cut key, which was never deleted; empty when none was cut
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
// after; without profiles, it is not restored.
RestoreResult RunRestore(RegistryApi& api, BackupSource& source, ProfileHives* profiles = nullptr);
