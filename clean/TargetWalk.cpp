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

// Lists the current key's subkeys; false when the listing holds fewer names than the key has
// subkeys: a list whose entries could not all be read may name the control.
bool ListWhole(TRegistry& registry, TStringList& entries) {
  registry.ListSubkeyNames(entries);
  KeyInfo info;
  return registry.QueryKeyInfo(info) &&
         entries.Count() >= static_cast<std::size_t>(info.SubkeyCount);
}

// Whether some entry of the list, read with read rights, names the control; a list that cannot
// be read whole counts as naming it.
bool ListNamesControl(RegistryReads& api) {
  TRegistry reader(api, kProbeAccess);
  reader.SelectRoot(kModuleUsage.root);
  TStringList entries;
  if (!reader.OpenPath(kModuleUsage.path) || !ListWhole(reader, entries)) {
    return true;
  }
  for (std::size_t index = 0; index < entries.Count(); ++index) {
    if (MatchesControl(entries[index])) {
      return true;
    }
  }
  return false;
}

// Listings of the module-usage list a clean takes at most, each after the deletions of the one
// before: an installer writing entries all the while cannot keep a run going for ever.
constexpr int kListings = 8;

// Takes the entries of one listing that name the control; *named tells whether it held any, and
// *whole whether it was whole (ListWhole).
bool TakeListing(TRegistry& registry, TargetAction& action, bool* named, bool* whole) {
  // A snapshot, so deleting entries does not disturb the walk.
  TStringList entries;
  *whole = ListWhole(registry, entries);
  const std::size_t count = entries.Count();
  action.EntriesListed(entries);
  *named = false;
  for (std::size_t index = 0; index < count; ++index) {
    if (!MatchesControl(entries[index])) {
      continue;
    }
    *named = true;
    if (!action.Take(registry, ModuleUsageEntry(entries[index]))) {
      return false;
    }
  }
  return true;
}

bool WalkModuleUsage(RegistryReads& api, TRegistry& registry, TargetAction& action,
                     bool* entriesRemain) {
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
  const int listings = action.RemovesWhatItTakes() ? kListings : 1;
  bool named = true;
  bool whole = false;
  for (int listing = 0; listing < listings && (named || !whole); ++listing) {
    // Each entry taken became the current key: the list is opened again for the next listing.
    if (listing > 0 && !registry.OpenPath(kModuleUsage.path)) {
      if (!registry.KeyPresent(kModuleUsage.path)) {
        named = false;
        whole = true;
        break;
      }
      action.ListOpenFailed(kModuleUsage.openFailed);
      return false;
    }
    if (!TakeListing(registry, action, &named, &whole)) {
      return false;
    }
  }
  // A list whose entries cannot all be read is as one that cannot be opened: nothing can say it
  // holds nothing of the control.
  if (!whole) {
    action.ListOpenFailed(kModuleUsage.openFailed);
    return false;
  }
  *entriesRemain = named && action.RemovesWhatItTakes();
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
    if (!WalkModuleUsage(api, registry, action, &result.entriesRemain)) {
      return result;
    }
  }
  if (users) {
    if (!users->WalkProfiles(api, access, action, result.profiles)) {
      return result;
    }
    // Walking the profiles takes a while: entries written meanwhile go too.
    if (action.RemovesWhatItTakes()) {
      TRegistry registry(api, access);
      if (!WalkModuleUsage(api, registry, action, &result.entriesRemain)) {
        return result;
      }
    }
  }
  result.finished = true;
  return result;
}
