#include "unitMain/TargetWalk.h"

#include <vector>

#include "registry/TStringList.h"

namespace {

// The hives loaded under HKEY_USERS in its enumeration order, read through an object of their
// own so the walk's open key is left alone; none when the list cannot be read.
std::vector<CleanTarget> LoadedUserTargets(RegistryApi& api) {
  TRegistry users(api, kProbeAccess);
  users.SelectRoot(kHkeyUsers);
  TStringList hives;
  if (users.OpenPath("")) {
    users.ListSubkeyNames(hives);
  }
  std::vector<CleanTarget> targets;
  for (std::size_t index = 0; index < hives.Count(); ++index) {
    if (HoldsUserStatistics(hives[index])) {
      targets.push_back(LoadedUserStatistics(hives[index]));
    }
  }
  return targets;
}

bool TakeIfPresent(TRegistry& registry, const CleanTarget& target, TargetAction& action) {
  registry.SelectRoot(target.root);
  return !registry.KeyPresent(target.path) || action.Take(registry, target);
}

bool WalkModuleUsage(TRegistry& registry, TargetAction& action) {
  registry.SelectRoot(kModuleUsage.root);
  if (!registry.KeyPresent(kModuleUsage.path)) {
    return true;
  }
  if (!registry.OpenPath(kModuleUsage.path)) {
    action.ListOpenFailed(kModuleUsage.openFailed);
    return false;
  }
  // A snapshot, so deleting entries does not disturb the walk.
  TStringList entries;
  registry.ListSubkeyNames(entries);
  const std::string entryPrefix = std::string(kModuleUsage.path) + "\\";
  const std::size_t count = entries.Count();
  for (std::size_t index = 0; index < count; ++index) {
    if (MatchesControl(entries[index]) &&
        !action.Take(registry,
                     {kModuleUsage.root, kModuleUsage.rootName, entryPrefix + entries[index],
                      kModuleUsage.entryOpenFailed, kModuleUsage.entryDeleteFailed})) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool WalkTargets(RegistryApi& api, std::uint32_t access, bool allUsers, TargetAction& action) {
  // The registry object and its open key are gone when this returns, whichever way it returns.
  TRegistry registry(api, access);
  const auto& targets = FixedTargets();
  for (std::size_t index = 0; index < targets.size(); ++index) {
    if (!TakeIfPresent(registry, targets[index], action)) {
      return false;
    }
    if (allUsers && index == kUserStatisticsTarget) {
      for (const CleanTarget& userTarget : LoadedUserTargets(api)) {
        if (!TakeIfPresent(registry, userTarget, action)) {
          return false;
        }
      }
    }
  }
  return WalkModuleUsage(registry, action);
}
