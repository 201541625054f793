#include "clean/CleanProcedure.h"

#include <string>

#include <algorithm>

#include "clean/TargetWalk.h"
#include "registry/TRegistry.h"

namespace {

// Opens and deletes each present key; stops at the first that cannot go.
class Removal : public TargetAction {
 public:
  Removal(RegistryReads& api, UsersHives* users, DeletionGuard* guard, const KeyDeleted& keyDeleted,
          CleanResult& result)
      : api_(api), users_(users), guard_(guard), keyDeleted_(keyDeleted), result_(result) {}

  bool Take(TRegistry& registry, const CleanTarget& key) override {
    if (!registry.OpenPath(key.path)) {
      return Stop(CleanOutcome::kOpenFailed, key.openFailed);
    }
    std::string why;
    const GuardedDeletion deletion =
        guard_ ? guard_->DeleteTree(registry, key, &why)
               : (registry.DeleteTree(key.path) ? GuardedDeletion::kDeleted
                                                : GuardedDeletion::kNotDeleted);
    if (deletion == GuardedDeletion::kKept || deletion == GuardedDeletion::kKeptForChange) {
      result_.retry = deletion == GuardedDeletion::kKeptForChange;
      return Stop(CleanOutcome::kBackupKept, why);
    }
    if (deletion == GuardedDeletion::kNotDeleted) {
      return Stop(CleanOutcome::kDeleteFailed, key.deleteFailed);
    }
    Deleted(key);
    return true;
  }

  bool TakeInHive(RegHandle key, const CleanTarget& target) override {
    std::string why;
    GuardedDeletion guarded = GuardedDeletion::kNotDeleted;
    if (users_->DeleteCounterpart(api_, key, target, guard_, &why, &guarded)) {
      Deleted(target);
      return true;
    }
    return Keep(target, why, guarded != GuardedDeletion::kNotDeleted,
                guarded == GuardedDeletion::kKeptForChange);
  }

  void EntriesListed(const TStringList& entries) override {
    if (guard_) {
      guard_->EntriesListed(entries);
    }
  }

  bool Unopened(const CleanTarget& target, const std::string& why) override {
    return Keep(target, why);
  }

  void ListOpenFailed(const char* text) override { Stop(CleanOutcome::kOpenFailed, text); }

  bool RemovesWhatItTakes() const override { return true; }

 private:
  bool Stop(CleanOutcome outcome, std::string notice) {
    result_.outcome = outcome;
    result_.notice = std::move(notice);
    return false;
  }

  void Deleted(const CleanTarget& key) {
    result_.deleted.push_back(key.Shown());
    if (keyDeleted_) {
      keyDeleted_(key);
    }
  }

  // The key stays, and the run goes on to the other users and the machine's keys.
  bool Keep(const CleanTarget& target, const std::string& why, bool byBackup = false,
            bool retry = false) {
    result_.kept.push_back({target.Shown(), target.hive.profile, why, byBackup, retry});
    return true;
  }

  RegistryReads& api_;
  UsersHives* users_;
  DeletionGuard* guard_;
  const KeyDeleted& keyDeleted_;
  CleanResult& result_;
};

}  // namespace

CleanResult RunClean(RegistryReads& registry, const CleanOptions& options,
                     const KeyDeleted& keyDeleted) {
  CleanResult result;
  Removal removal(registry, options.users, options.guard, keyDeleted, result);
  WalkResult walk = WalkTargets(registry, kKeyAllAccess, options.users, removal);
  if (options.guard) {
    options.guard->Finish();
  }
  result.profiles = std::move(walk.profiles);
  result.swept = std::move(walk.swept);
  if (!walk.finished) {
    return result;
  }
  if (walk.entriesRemain) {
    result.outcome = CleanOutcome::kCameBack;
    result.notice = kModuleUsage.entryDeleteFailed;
    return result;
  }
  // A key may be back by now: a key that showed through once another went, or one made again
  // meanwhile. A key kept is known to be there.
  TRegistry probe(registry, kProbeAccess);
  for (const CleanTarget& target : TargetsInOrder(registry, options.users)) {
    const bool kept = std::any_of(result.kept.begin(), result.kept.end(), [&](const KeptKey& key) {
      return key.key.path == target.shownPath;
    });
    if (!kept && Present(registry, probe, target)) {
      result.outcome = CleanOutcome::kCameBack;
      result.notice = target.deleteFailed;
      return result;
    }
  }
  if (!result.kept.empty() || AnyUnfinished(result.profiles)) {
    result.outcome = CleanOutcome::kKept;
  }
  return result;
}
