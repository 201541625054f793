#include "clean/TargetWalk.h"

#include "registry/TStringList.h"

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

bool TakeIfPresent(TRegistry& registry, const CleanTarget& target, TargetAction& action) {
  registry.SelectRoot(target.root);
  return !registry.KeyPresent(target.path) || action.Take(registry, target);
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

std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, bool allUsers) {
  const TStringList hives = allUsers ? LoadedHives(api) : TStringList();
  std::vector<CleanTarget> targets;
  for (const CleanTarget& target : FixedTargets()) {
    targets.push_back(CleanTarget(target));
    for (std::size_t index = 0; index < hives.Count(); ++index) {
      if (target.hiveKind != HiveKind::kNone && KindOfHive(hives[index]) == target.hiveKind) {
        targets.push_back(HiveCopy(target, hives[index]));
      }
    }
  }
  return targets;
}

bool WalkTargets(RegistryReads& api, std::uint32_t access, bool allUsers, TargetAction& action) {
  // The registry object and its open key are gone when this returns, whichever way it returns.
  TRegistry registry(api, access);
  for (const CleanTarget& target : TargetsInOrder(api, allUsers)) {
    if (!TakeIfPresent(registry, target, action)) {
      return false;
    }
  }
  return WalkModuleUsage(api, registry, action);
}
