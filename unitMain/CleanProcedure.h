#pragma once

#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"
#include "unitMain/CleanTargets.h"
#include "unitMain/CleanWindow.h"

// Called for each target once it is open for deletion and before it goes, then, as the check of
// its deletion, for each key of its tree.
class DeletionGuard : public KeyDeletionCheck {
 public:
  virtual ~DeletionGuard() = default;
  // False keeps the key and stops the run; the guard has said why.
  virtual bool BeforeDelete(const CleanTarget& key) = 0;
};

struct CleanOptions {
  // Also every loaded user's statistics key, right after the current user's.
  bool allUsers = false;
  DeletionGuard* guard = nullptr;
};

// Removes the control's four keys and its module-usage entries, logging each deleted key. The
// first key that cannot be opened or deleted stops the run with a notice; a run that reaches its
// end shows "Done!". Every open key is released on every way out, an escaping exception included.
void RunClean(RegistryApi& registry, CleanWindow& window, const CleanOptions& options = {});
