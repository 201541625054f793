#include "clean/EveryUser.h"

#include "registry/AsciiCase.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/TStringList.h"
#include "registry/Utf16.h"

namespace {

// The hives loaded under HKEY_USERS in its enumeration order, read through an object of their
// own so the walk's open key is left alone; none when the list cannot be read.
TStringList LoadedHives(RegistryReads& api) {
  TRegistry users(api, kProbeAccess);
  users.SelectRoot(kHkeyUsers);
  TStringList hives;
  if (users.OpenPath("")) {
    users.ListSubkeyNames(hives);
  }
  return hives;
}

// Whether the hive is loaded under HKEY_USERS by that name, as a user's logon loads it.
bool LoadedByItsUser(RegistryReads& api, const std::string& hive) {
  RegHandle opened = kNoHandle;
  const RegStatus status = api.OpenKeyW(kHkeyUsers, Utf8ToUtf16(hive), 0, kProbeAccess, &opened);
  const KeyHandle loaded(api, opened);
  return status != kErrorFileNotFound;
}

// A hive this run loaded, unloaded when the hive's walk is over, however it ends.
class ProfileHiveLoad {
 public:
  ProfileHiveLoad(ProfileHives& hives, std::string as) : hives_(hives), as_(std::move(as)) {}
  ProfileHiveLoad(const ProfileHiveLoad&) = delete;
  ProfileHiveLoad& operator=(const ProfileHiveLoad&) = delete;
  ~ProfileHiveLoad() {
    std::string why;
    if (!unloaded_) {
      hives_.Unload(as_, &why);
    }
  }

  bool Unload(std::string* why) {
    unloaded_ = true;
    return hives_.Unload(as_, why);
  }

 private:
  ProfileHives& hives_;
  const std::string as_;
  bool unloaded_ = false;
};

// What a deletion without a backup asks of each key: nothing.
class AnyKey : public KeyDeletionCheck {
 public:
  bool BeforeDeleteKey(RegHandle, RegHandle, const std::u16string&,
                       const std::u16string&) override {
    return true;
  }
};

void NotExamined(ProfileReport& report, const std::string& why) {
  report.outcome = ProfileReport::Outcome::kNotExamined;
  report.reason += (report.reason.empty() ? "" : "; ") + why;
}

}  // namespace

bool EveryUser::WalkProfileHive(RegistryReads& api, std::uint32_t access, const Profile& profile,
                                HiveKind kind, TargetAction& action, ProfileReport& report) {
  const HiveFile file = HiveFileOf(profile, kind);
  const std::string as = PrivateHiveName(profile.id, kind);
  std::string why;
  const HiveLoading loading = profiles_->Load(file, copies_, as, &why);
  if (loading == HiveLoading::kMissing) {
    // Without a hive of its own a profile holds nothing to clean; one without classes of its
    // own holds none of the control's classes.
    if (kind == HiveKind::kUser) {
      report.outcome = ProfileReport::Outcome::kPassedOver;
      report.reason = "its folder or its hive " + file.relative + " is missing";
    }
    return true;
  }
  if (loading == HiveLoading::kInUse) {
    NotExamined(report, "its hive " + file.relative +
                            " is in use: its user may be logging on; run again to reach it");
    return true;
  }
  if (loading == HiveLoading::kRefused) {
    // Both hives refused for one reason, as for want of the privileges, are named once.
    const std::string ending = " was not loaded: " + why;
    if (report.reason.size() < ending.size() ||
        report.reason.compare(report.reason.size() - ending.size(), ending.size(), ending) != 0) {
      NotExamined(report, "its hive " + file.relative + ending);
    }
    return true;
  }
  if (report.loaded == ProfileReport::Loaded::kNo) {
    report.loaded = ProfileReport::Loaded::kByRun;
  }
  ProfileHiveLoad loaded(*profiles_, as);
  bool going = true;
  for (const CleanTarget& target : FixedTargets()) {
    if (target.hiveKind != kind) {
      continue;
    }
    for (const CleanTarget& copy : HiveCopies(target, ProfileHive(profile, kind, as))) {
      going = going && TakeCopy(api, access, copy, action);
    }
  }
  if (!loaded.Unload(&why)) {
    // Its keys were examined all the same; a hive not examined says more.
    if (report.outcome != ProfileReport::Outcome::kNotExamined) {
      report.outcome = ProfileReport::Outcome::kLeftLoaded;
    }
    report.reason +=
        (report.reason.empty() ? "" : "; ") +
        ("its hive " + file.relative + " stays loaded as HKEY_USERS\\" + as + " (" + why + ")");
  }
  return going;
}

std::vector<std::string> EveryUser::Sweep() {
  return profiles_ ? profiles_->SweepLeftovers() : std::vector<std::string>();
}

std::vector<CleanTarget> EveryUser::TargetsInOrder(RegistryReads& api) {
  const TStringList hives = LoadedHives(api);
  std::vector<CleanTarget> targets;
  for (const CleanTarget& target : FixedTargets()) {
    targets.push_back(CleanTarget(target));
    for (std::size_t index = 0; index < hives.Count(); ++index) {
      // A hive a run loads is walked, as its profile's, by the run that loaded it.
      const bool loadedByARun = IsPrivateHiveName(hives[index]);
      if (target.hiveKind != HiveKind::kNone && !loadedByARun &&
          KindOfHive(hives[index]) == target.hiveKind) {
        for (CleanTarget& copy : HiveCopies(target, LoadedHive(hives[index]))) {
          targets.push_back(std::move(copy));
        }
      }
    }
  }
  return targets;
}

// A copy in a user's hive is opened as itself by its name below HKEY_USERS, links in the middle
// followed as the platform resolves them, and handed to the action open: the key whose name the
// action checks is the key it reads and deletes.
bool EveryUser::TakeCopy(RegistryReads& api, std::uint32_t access, const CleanTarget& target,
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
    return action.Unopened(target, status);
  }
  const KeyHandle key(api, opened);
  return action.TakeInHive(key.get(), target);
}

bool EveryUser::DeleteCopy(RegistryReads& api, RegHandle key, const CleanTarget& copy,
                           DeletionGuard* guard, std::string* why, bool* byGuard) {
  // A user may link a name on the way to a key of the hive to a key of the machine or of
  // another user; such a key is not the hive's and stays. The key checked is the key deleted.
  std::string name;
  if (api.QueryKeyName(key, &name) != kErrorSuccess ||
      !LiesWithin(name, UsersHivePlatformName(copy.hive.loadedAs))) {
    *why = "it leads out of the hive " + copy.hive.shownAs + ", to " + name;
    return false;
  }
  const std::u16string belowUsers = Utf8ToUtf16(BelowRoot(copy.path));
  AnyKey anyKey;
  const GuardedDeletion deletion =
      guard ? guard->DeleteOpenTree(key, copy, why)
            : (DeleteCheckedOpenTree(api, key, copy.root, belowUsers,
                                     kKeyAllAccess | copy.viewFlags, anyKey)
                   ? GuardedDeletion::kDeleted
                   : GuardedDeletion::kNotDeleted);
  *byGuard = deletion == GuardedDeletion::kRefused;
  if (deletion != GuardedDeletion::kDeleted) {
    *why = *byGuard ? "the backup kept it: " + *why : "it, or a key below it, cannot be deleted";
    return false;
  }
  // Confirmed gone by its name, as the user would reach it.
  RegHandle again = kNoHandle;
  const RegStatus status = api.OpenKeyW(kHkeyUsers, belowUsers, kRegOptionOpenLink,
                                        kProbeAccess | copy.viewFlags, &again);
  const KeyHandle back(api, again);
  if (status != kErrorFileNotFound) {
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
  for (const Profile& profile : ReadProfiles(api, *profiles_, withTemplate_)) {
    ProfileReport report;
    report.id = profile.id;
    report.folder = profile.folder;
    if (!profile.passedOver.empty()) {
      report.outcome = ProfileReport::Outcome::kPassedOver;
      report.reason = profile.passedOver;
    } else {
      for (HiveKind kind : {HiveKind::kUser, HiveKind::kClasses}) {
        if (LoadedByItsUser(api, ProfileHive(profile, kind, std::string()).shownAs)) {
          // Walked with the others loaded under HKEY_USERS.
          report.loaded = ProfileReport::Loaded::kByUser;
          continue;
        }
        if (!WalkProfileHive(api, access, profile, kind, action, report)) {
          reports.push_back(report);
          return false;
        }
        // A profile without a hive of its own holds nothing.
        if (report.outcome == ProfileReport::Outcome::kPassedOver) {
          break;
        }
      }
    }
    reports.push_back(report);
  }
  return true;
}
