#pragma once

#include <string>
#include <vector>

#include "backup/BackupReader.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"

// Why a backup must not be restored at all, or empty when it may be: it is not a whole backup
// this program wrote, or one of its sections names a key that is not one of the clean's. A last
// section cut short is never written, so its key, cut as it may be, is only named.
std::string RestoreRefusal(const ParsedBackup& backup);

struct RestoreResult {
  std::vector<LoggedKey> restored;  // each key written whole, in the file's order
  // One line a key that was not written whole, and why, in the file's order; what was written of
  // it stays.
  std::vector<std::string> failures;
  std::string cutNotice;  // names the cut key, which was never deleted; empty when none was cut
};

// Writes back every section of a backup RestoreRefusal accepted, in the 32-bit view the calls
// reach: each key made where missing and its values set to their exact bytes (a value that
// exists is replaced), each link made as a link. HKEY_CLASSES_ROOT goes to the machine's
// classes. Nothing is written outside the hive a key's name starts in: not through a link met on
// the way, not a link whose target lies elsewhere, and no dangling link's target is made.
RestoreResult RunRestore(RegistryApi& api, const ParsedBackup& backup);
