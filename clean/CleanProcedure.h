#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "clean/DeletionGuard.h"
#include "clean/TargetWalk.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"

// What the status bar shows, and the console prints, once a clean has run to its end.
constexpr const char* kDoneText = "Done!";

struct CleanOptions {
  // Also each counterpart of a fixed target in the users' hives: those loaded under HKEY_USERS,
  // right after it, then those of the profiles not loaded; none without.
  UsersHives* users = nullptr;
  DeletionGuard* guard = nullptr;
};

// How a clean ended.
enum class CleanOutcome {
  kDone,          // every key of the control was found absent or deleted, and is gone
  kOpenFailed,    // a present key, or the module-usage list, could not be opened
  kDeleteFailed,  // a key could not be deleted
  kBackupKept,    // the guard kept a key
  kCameBack,      // a key deleted or passed over was present again at the end
  kKept,          // the run went on to its end, but kept keys of users' hives, or profiles
};

// A key of a user's hive the run could not open, back up or delete; it went on without it.
struct KeptKey {
  ShownKey key;
  std::string profile;  // the hive's profile: its SID, or "Default"
  std::string why;
  bool byBackup = false;
};

struct CleanResult {
  CleanOutcome outcome = CleanOutcome::kDone;
  std::vector<ShownKey> deleted;  // in the order they went
  // At a stop, the notice the window shows; for kBackupKept, why the guard kept the key.
  std::string notice;
  std::vector<KeptKey> kept;            // in the order they were met
  std::vector<ProfileReport> profiles;  // with the users' hives of profiles not loaded
  std::vector<std::string> swept;       // hives a killed run had left loaded, unloaded first
};

// Told of each key right after it was deleted.
using KeyDeleted = std::function<void(const CleanTarget&)>;

// Removes the control's fixed keys and its module-usage entries, telling keyDeleted of each as it
// goes. The first key that cannot be opened or deleted stops the run. A counterpart in a user's
// hive that cannot be opened, backed up or deleted, or whose opened key lies outside that hive, is
// kept and the run goes on without it, so no user's key keeps the machine's; each deleted one is
// looked for again at once. The module-usage list is listed again until a listing holds no entry
// of the control, within a bound: one still holding some stops the run with the entries' deletion
// notice. At the end every key is probed again: one present stops the run with its deletion's
// notice. Every open key is released, and every hive the run loaded unloaded, on
// every way out, an escaping exception included.
CleanResult RunClean(RegistryReads& registry, const CleanOptions& options = {},
                     const KeyDeleted& keyDeleted = {});
