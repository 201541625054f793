#include "clean/TargetWalk.h"

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

// A copy in a user's hive is opened as itself by its name below HKEY_USERS, links in the middle
// followed as the platform resolves them, and handed to the action open: the key whose name the
// action checks is the key it reads and deletes.
bool TakeHiveCopy(RegistryReads& api, std::uint32_t access, const CleanTarget& target,
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

bool TakeIfPresent(RegistryReads& api, TRegistry& registry, std::uint32_t access,
                   const CleanTarget& target, TargetAction& action) {
  if (!target.hive.loadedAs.empty()) {
    return TakeHiveCopy(api, access, target, action);
  }
  registry.SelectRoot(target.root);
  return !registry.KeyPresent(target.path) || action.Take(registry, target);
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

void NotExamined(ProfileReport& report, const std::string& why) {
  report.outcome = ProfileReport::Outcome::kNotExamined;
  report.reason += (report.reason.empty() ? "" : "; ") + why;
}

// Loads the profile's hive of that kind, walks its copies of the fixed targets, and unloads it.
// False when the action stopped the run.
bool WalkProfileHive(RegistryReads& api, std::uint32_t access, const AllUsers& users,
                     const Profile& profile, HiveKind kind, TargetAction& action,
                     ProfileReport& report) {
  const HiveFile file = HiveFileOf(profile, kind);
  const std::string as = PrivateHiveName(profile.id, kind);
  std::string why;
  const HiveLoading loading = users.profiles->Load(file, users.copies, as, &why);
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
    NotExamined(report, "its hive " + file.relative + " was not loaded: " + why);
    return true;
  }
  report.loaded = ProfileReport::Loaded::kByRun;
  ProfileHiveLoad loaded(*users.profiles, as);
  bool going = true;
  for (const CleanTarget& target : FixedTargets()) {
    if (target.hiveKind != kind) {
      continue;
    }
    for (const CleanTarget& copy : HiveCopies(target, ProfileHive(profile, kind, as))) {
      going = going && TakeHiveCopy(api, access, copy, action);
    }
  }
  if (!loaded.Unload(&why)) {
    NotExamined(report, "its hive " + file.relative + " stays loaded as HKEY_USERS\\" + as + " (" +
                            why + ")");
  }
  return going;
}

// The profiles whose hives are not loaded, one hive at a time. False when the action stopped
// the run.
bool WalkProfiles(RegistryReads& api, std::uint32_t access, const AllUsers& users,
                  TargetAction& action, WalkResult& result) {
  for (const Profile& profile : ReadProfiles(api, *users.profiles, users.withTemplate)) {
    ProfileReport report;
    report.id = profile.id;
    report.folder = profile.folder;
    if (!profile.passedOver.empty()) {
      report.outcome = ProfileReport::Outcome::kPassedOver;
      report.reason = profile.passedOver;
    } else if (profile.loaded) {
      // Its hives were walked with the others loaded under HKEY_USERS.
      report.loaded = ProfileReport::Loaded::kByUser;
    } else {
      for (HiveKind kind : {HiveKind::kUser, HiveKind::kClasses}) {
        if (!WalkProfileHive(api, access, users, profile, kind, action, report)) {
          result.profiles.push_back(report);
          return false;
        }
        if (report.outcome == ProfileReport::Outcome::kPassedOver) {
          break;
        }
      }
    }
    result.profiles.push_back(report);
  }
  return true;
}

// Whether some entry of the list, read with read rights, names the control; a list that cannot
// be read whole counts as naming it.
bool ListNamesControl(RegistryReads& api) {
  TRegistry reader(api, kProbeAccess);
  reader.SelectRoot(kModuleUsage.root);
  KeyInfo info;
  if (!reader.OpenPath(kModuleUsage.path) || !reader.QueryKeyInfo(info)) {
    return true;
  }
  TStringList entries;
  reader.ListSubkeyNames(entries);
  if (entries.Count() < static_cast<std::size_t>(info.SubkeyCount)) {
    return true;
  }
  for (std::size_t index = 0; index < entries.Count(); ++index) {
    if (MatchesControl(entries[index])) {
      return true;
    }
  }
  return false;
}

bool WalkModuleUsage(RegistryReads& api, TRegistry& registry, TargetAction& action) {
  registry.SelectRoot(kModuleUsage.root);
  if (!registry.KeyPresent(kModuleUsage.path)) {
    return true;
  }
  if (!registry.OpenPath(kModuleUsage.path)) {
    // A standard user may only read the list; with nothing of the control in it, there is
    // nothing to do.
    if (!ListNamesControl(api)) {
      return true;
    }
    action.ListOpenFailed(kModuleUsage.openFailed);
    return false;
  }
  // A snapshot, so deleting entries does not disturb the walk.
  TStringList entries;
  registry.ListSubkeyNames(entries);
  const std::size_t count = entries.Count();
  for (std::size_t index = 0; index < count; ++index) {
    if (MatchesControl(entries[index]) &&
        !action.Take(registry, ModuleUsageEntry(entries[index]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool Present(RegistryReads& api, TRegistry& probe, const CleanTarget& target) {
  if (target.hive.loadedAs.empty()) {
    probe.SelectRoot(target.root);
    return probe.KeyPresent(target.path);
  }
  RegHandle opened = kNoHandle;
  const RegStatus status =
      api.OpenKeyW(kHkeyUsers, Utf8ToUtf16(BelowRoot(target.path)), kRegOptionOpenLink,
                   kProbeAccess | target.viewFlags, &opened);
  const KeyHandle key(api, opened);
  // One that refuses to be read is there all the same.
  return status != kErrorFileNotFound;
}

std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, bool allUsers) {
  const TStringList hives = allUsers ? LoadedHives(api) : TStringList();
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

WalkResult WalkTargets(RegistryReads& api, std::uint32_t access, const AllUsers& users,
                       TargetAction& action) {
  WalkResult result;
  if (users.enabled && users.profiles) {
    result.swept = users.profiles->SweepLeftovers();
  }
  {
    // The registry object and its open key are gone before any hive is loaded, and when this
    // returns, whichever way it returns.
    TRegistry registry(api, access);
    for (const CleanTarget& target : TargetsInOrder(api, users.enabled)) {
      if (!TakeIfPresent(api, registry, access, target, action)) {
        return result;
      }
    }
    if (!WalkModuleUsage(api, registry, action)) {
      return result;
    }
  }
  result.finished =
      !(users.enabled && users.profiles) || WalkProfiles(api, access, users, action, result);
  return result;
}
