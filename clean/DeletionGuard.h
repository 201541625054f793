#pragma once

#include <string>

#include "clean/CleanTargets.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"
#include "registry/TStringList.h"

// How a guarded deletion of one key went.
enum class GuardedDeletion {
  kDeleted,
  kNotDeleted,  // the key itself could not be deleted
  kKept,        // the guard kept the key
  // The guard kept the key because it changed while it was read: a later run may take it.
  kKeptForChange,
};

// Deletes each target once it is open for deletion, so the window program, which has no guard,
// carries none of a guarded deletion.
class DeletionGuard {
 public:
  virtual ~DeletionGuard() = default;
  // Deletes the target's tree as the guard allows; when kept *why tells why the key was kept.
  virtual GuardedDeletion DeleteTree(TRegistry& registry, const CleanTarget& key,
                                     std::string* why) = 0;
  // The same for a counterpart in a user's hive, open as itself: through that very handle.
  virtual GuardedDeletion DeleteOpenTree(RegHandle key, const CleanTarget& target,
                                         std::string* why) = 0;
  // The module-usage list's entries as listed before DeleteTree is asked for those that name the
  // control, in turn: the guard may prepare them together.
  virtual void EntriesListed(const TStringList& entries) = 0;
  // The run has ended: what was prepared for a key that was not deleted is undone.
  virtual void Finish() = 0;
};
