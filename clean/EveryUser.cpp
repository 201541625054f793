#include "clean/EveryUser.h"

#include "common/PlatformTexts.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"
#include "users/ProfileWalk.h"

namespace {

// What a deletion without a backup asks of each key: nothing.
class AnyKey : public KeyDeletionCheck {
 public:
  bool BeforeDeleteKey(RegHandle, RegHandle, const std::u16string&,
                       const std::u16string&) override {
    return true;
  }
};

}  // namespace

std::vector<std::string> EveryUser::Sweep() {
  return profiles_ ? profiles_->Sweep() : std::vector<std::string>();
}

std::vector<CleanTarget> EveryUser::TargetsInOrder(RegistryReads& api) {
  const std::vector<UserHive> hives = LoadedUserHives(api);
  std::vector<CleanTarget> targets;
  for (const CleanTarget& target : FixedTargets()) {
    targets.push_back(CleanTarget(target));
    for (const UserHive& hive : hives) {
      if (target.hiveKind != HiveKind::kNone && hive.kind == target.hiveKind) {
        for (CleanTarget& counterpart : HiveCounterparts(target, hive)) {
          targets.push_back(std::move(counterpart));
        }
      }
    }
  }
  return targets;
}

// A counterpart in a user's hive is opened as itself by its name below HKEY_USERS, links in the
// middle followed as the platform resolves them, and handed to the action open: the key whose name
// the action checks is the key it reads and deletes.
bool EveryUser::TakeCounterpart(RegistryReads& api, std::uint32_t access, const CleanTarget& target,
                                TargetAction& action) {
  const std::u16string name = Utf8ToUtf16(BelowRoot(target.path));
  RegHandle opened = kNoHandle;
  RegStatus status =
      api.OpenKeyW(kHkeyUsers, name, kRegOptionOpenLink, access | target.viewFlags, &opened);
  if (status == kErrorAccessDenied && (access & kDelete) != 0) {
    // A key that refuses full access may still allow its deletion.
    status = api.OpenKeyW(kHkeyUsers, name, kRegOptionOpenLink,
                          kDelete | kKeyRead | target.viewFlags, &opened);
  }
  if (status == kErrorFileNotFound) {
    return true;
  }
  if (status != kErrorSuccess) {
    // Worded here, with the users' hives, so the window program, which reaches none, carries none
    // of the platform's texts.
    return action.Unopened(
        target, WithStatus((access & kDelete) != 0 ? "it cannot be opened for its deletion"
                                                   : "it cannot be opened for reading",
                           status));
  }
  const KeyHandle key(api, opened);
  return action.TakeInHive(key.get(), target);
}

bool EveryUser::DeleteCounterpart(RegistryReads& api, RegHandle key, const CleanTarget& counterpart,
                                  DeletionGuard* guard, std::string* why,
                                  GuardedDeletion* guarded) {
  // A user may link a name on the way to a key of the hive to a key of the machine or of
  // another user; such a key is not the hive's and stays. The key checked is the key deleted.
  std::string name;
  if (api.QueryKeyName(key, &name) != kErrorSuccess ||
      !LiesWithin(name, UsersHivePlatformName(counterpart.hive.loadedAs))) {
    *why = "it leads out of the hive " + counterpart.hive.shownAs + ", to " + name;
    return false;
  }
  if (files_) {
    files_->TargetFound(api, counterpart, key);
  }
  const std::u16string belowUsers = Utf8ToUtf16(BelowRoot(counterpart.path));
  AnyKey anyKey;
  const GuardedDeletion deletion =
      guard ? guard->DeleteOpenTree(key, counterpart, why)
            : (DeleteCheckedOpenTree(api, key, counterpart.root, belowUsers,
                                     kKeyAllAccess | counterpart.viewFlags, anyKey)
                   ? GuardedDeletion::kDeleted
                   : GuardedDeletion::kNotDeleted);
  *guarded = deletion;
  if (deletion != GuardedDeletion::kDeleted) {
    *why = deletion == GuardedDeletion::kNotDeleted ? "it, or a key below it, cannot be deleted"
                                                    : "the backup kept it: " + *why;
    return false;
  }
  // Confirmed gone by its name, as the user would reach it.
  RegHandle again = kNoHandle;
  const RegStatus status = api.OpenKeyW(kHkeyUsers, belowUsers, kRegOptionOpenLink,
                                        kProbeAccess | counterpart.viewFlags, &again);
  const KeyHandle back(api, again);
  if (status != kErrorFileNotFound) {
    *guarded = GuardedDeletion::kNotDeleted;
    *why = "it is there again after its deletion";
    return false;
  }
  return true;
}

bool EveryUser::WalkProfiles(RegistryReads& api, std::uint32_t access, TargetAction& action,
                             std::vector<ProfileReport>& reports) {
  if (!profiles_) {
    return true;
  }
  const auto walkHive = [&](const UserHive& hive) {
    bool going = true;
    for (const CleanTarget& target : FixedTargets()) {
      if (target.hiveKind != hive.kind) {
        continue;
      }
      for (const CleanTarget& counterpart : HiveCounterparts(target, hive)) {
        going = going && TakeCounterpart(api, access, counterpart, action);
      }
    }
    return going;
  };
  return WalkProfileHives(api, *profiles_, privateCopies_, withTemplate_, walkHive, reports);
}
