#include "clean/CleanProcedure.h"

#include <string>

#include "clean/TargetWalk.h"
#include "registry/TRegistry.h"

namespace {

// Opens and deletes each present key; stops at the first that cannot go.
class Removal : public TargetAction {
 public:
  Removal(RegistryReads& api, DeletionGuard* guard, const KeyDeleted& keyDeleted,
          CleanResult& result)
      : api_(api), guard_(guard), keyDeleted_(keyDeleted), result_(result) {}

  bool Take(TRegistry& registry, const CleanTarget& key) override {
    if (!registry.OpenPath(key.path)) {
      return Stop(CleanOutcome::kOpenFailed, key.openFailed);
    }
    if (!key.hive.empty() && !OpenedInHive(registry, key)) {
      return Stop(CleanOutcome::kLeftHive, std::string(key.rootName) + key.path +
                                               " leads out of the hive " + key.hive +
                                               ", so it was kept.");
    }
    std::string why;
    const GuardedDeletion deletion =
        guard_ ? guard_->DeleteTree(registry, key, &why)
               : (registry.DeleteTree(key.path) ? GuardedDeletion::kDeleted
                                                : GuardedDeletion::kNotDeleted);
    if (deletion == GuardedDeletion::kRefused) {
      return Stop(CleanOutcome::kBackupRefused, why);
    }
    if (deletion == GuardedDeletion::kNotDeleted) {
      return Stop(CleanOutcome::kDeleteFailed, key.deleteFailed);
    }
    result_.deleted.push_back({key.rootName, key.path});
    if (keyDeleted_) {
      keyDeleted_(key);
    }
    return true;
  }

  void ListOpenFailed(const char* text) override { Stop(CleanOutcome::kOpenFailed, text); }

 private:
  bool Stop(CleanOutcome outcome, std::string notice) {
    result_.outcome = outcome;
    result_.notice = std::move(notice);
    return false;
  }

  // A user may link a name on the way to a key of the hive to a key of the machine or of another
  // user; such a key is not the hive's and stays.
  bool OpenedInHive(TRegistry& registry, const CleanTarget& key) {
    std::string name;
    return api_.QueryKeyName(registry.CurrentKey(), &name) == kErrorSuccess &&
           LiesWithin(name, UsersHivePlatformName(key.hive));
  }

  RegistryReads& api_;
  DeletionGuard* guard_;
  const KeyDeleted& keyDeleted_;
  CleanResult& result_;
};

}  // namespace

CleanResult RunClean(RegistryReads& registry, const CleanOptions& options,
                     const KeyDeleted& keyDeleted) {
  CleanResult result;
  Removal removal(registry, options.guard, keyDeleted, result);
  if (!WalkTargets(registry, kKeyAllAccess, options.allUsers, removal)) {
    return result;
  }
  // A key may be back by now: a copy that showed through once another went, or one made again
  // meanwhile.
  TRegistry probe(registry, kProbeAccess);
  for (const CleanTarget& target : TargetsInOrder(registry, options.allUsers)) {
    probe.SelectRoot(target.root);
    if (probe.KeyPresent(target.path)) {
      result.outcome = CleanOutcome::kCameBack;
      result.notice = target.deleteFailed;
      return result;
    }
  }
  return result;
}
