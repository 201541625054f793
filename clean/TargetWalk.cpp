#include "clean/TargetWalk.h"

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/TStringList.h"
#include "registry/Utf16.h"

namespace {

bool TakeIfPresent(RegistryReads& api, TRegistry& registry, std::uint32_t access, UsersHives* users,
                   const CleanTarget& target, TargetAction& action) {
  if (!target.hive.loadedAs.empty()) {
    return users->TakeCounterpart(api, access, target, action);
  }
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
  action.EntriesListed(entries);
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

std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, UsersHives* users) {
  if (users) {
    return users->TargetsInOrder(api);
  }
  return std::vector<CleanTarget>(FixedTargets().begin(), FixedTargets().end());
}

WalkResult WalkTargets(RegistryReads& api, std::uint32_t access, UsersHives* users,
                       TargetAction& action) {
  WalkResult result;
  if (users) {
    result.swept = users->Sweep();
  }
  {
    // The registry object and its open key are gone before any hive is loaded, and when this
    // returns, whichever way it returns.
    TRegistry registry(api, access);
    for (const CleanTarget& target : TargetsInOrder(api, users)) {
      if (!TakeIfPresent(api, registry, access, users, target, action)) {
        return result;
      }
    }
    if (!WalkModuleUsage(api, registry, action)) {
      return result;
    }
  }
  result.finished = !users || users->WalkProfiles(api, access, action, result.profiles);
  return result;
}
