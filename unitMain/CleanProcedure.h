#pragma once

#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"
#include "unitMain/CleanTargets.h"
#include "unitMain/CleanWindow.h"

// Called for each target once it is open for deletion and before it goes, and then deletes it,
// so the window program, which has no guard, carries none of a guarded deletion.
class DeletionGuard {
 public:
  virtual ~DeletionGuard() = default;
  // False keeps the key and stops the run; the guard has said why.
  virtual bool BeforeDelete(const CleanTarget& key) = 0;
  // Deletes the target's tree; true only when the target itself was deleted.
  virtual bool DeleteTree(TRegistry& registry, const CleanTarget& key) = 0;
};

struct CleanOptions {
  // Also each copy of a fixed target in the hives loaded under HKEY_USERS, right after it.
  bool allUsers = false;
  DeletionGuard* guard = nullptr;
};

// Removes the control's fixed keys and its module-usage entries, logging each deleted key. The
// first key that cannot be opened or deleted stops the run with a notice, and so does a copy in a
// hive whose opened key lies outside that hive. At the end every fixed key is probed again: one
// present stops the run with its deletion's notice; otherwise the run shows "Done!". Every open
// key is released on every way out, an escaping exception included.
void RunClean(RegistryApi& registry, CleanWindow& window, const CleanOptions& options = {});
