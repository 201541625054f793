#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"

// What the status bar shows, and the console prints, once a clean has run to its end.
constexpr const char* kDoneText = "Done!";

// How a guarded deletion of one key went.
enum class GuardedDeletion {
  kDeleted,
  kNotDeleted,  // the key itself could not be deleted
  kRefused,     // the guard kept the key
};

// Deletes each target once it is open for deletion, so the window program, which has no guard,
// carries none of a guarded deletion.
class DeletionGuard {
 public:
  virtual ~DeletionGuard() = default;
  // Deletes the target's tree as the guard allows; on kRefused *why tells why the key was kept.
  virtual GuardedDeletion DeleteTree(TRegistry& registry, const CleanTarget& key,
                                     std::string* why) = 0;
};

struct CleanOptions {
  // Also each copy of a fixed target in the hives loaded under HKEY_USERS, right after it.
  bool allUsers = false;
  DeletionGuard* guard = nullptr;
};

// How a clean ended.
enum class CleanOutcome {
  kDone,           // every key of the control was found absent or deleted, and is gone
  kOpenFailed,     // a present key, or the module-usage list, could not be opened
  kDeleteFailed,   // a key could not be deleted
  kBackupRefused,  // the guard kept a key
  kCameBack,       // a key deleted or passed over was present again at the end
  kLeftHive,       // a hive's key, as the platform names the opened key, lies outside that hive
};

struct CleanResult {
  CleanOutcome outcome = CleanOutcome::kDone;
  std::vector<LoggedKey> deleted;  // in the order they went
  // At a stop, the notice the window shows; for kBackupRefused, why the guard kept the key.
  std::string notice;
};

// Told of each key right after it was deleted.
using KeyDeleted = std::function<void(const CleanTarget&)>;

// Removes the control's fixed keys and its module-usage entries, telling keyDeleted of each as it
// goes. The first key that cannot be opened or deleted stops the run, and so does a copy in a hive
// whose opened key lies outside that hive. At the end every fixed key is probed again: one present
// stops the run with its deletion's notice. Every open key is released on every way out, an
// escaping exception included.
CleanResult RunClean(RegistryReads& registry, const CleanOptions& options = {},
                     const KeyDeleted& keyDeleted = {});
