#include "users/HiveMounts.h"

#include "common/PlatformTexts.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyHandle.h"
#include "registry/TRegistry.h"
#include "registry/Utf16.h"
#include "users/HiveRules.h"
#include "users/UserHive.h"

namespace {

constexpr RegStatus kErrorNotAllAssigned = 1300;
constexpr RegStatus kErrorPrivilegeNotHeld = 1314;
// An unload the platform refuses while a key of the hive is open is tried again this many times,
// a pause apart: long enough for a program that merely looked to let go, short enough that the
// user whose hive it is will not be logging on meanwhile.
constexpr int kUnloadRetries = 5;

}  // namespace

const char* const kHivePrivilegesMissing =
    "the privileges to load a hive are not held (run as SYSTEM or an administrator)";

HiveMounts::~HiveMounts() {
  try {
    while (!loaded_.empty()) {
      const std::string as = loaded_.begin()->first;
      std::string why;
      if (!Unload(as, &why)) {
        // Left for the next run's sweep; what it held goes all the same.
        loaded_.erase(as);
      }
    }
  } catch (...) {
    loaded_.clear();
  }
}

std::vector<std::string> HiveMounts::Sweep() {
  std::vector<std::string> swept;
  const std::vector<MountJournal::Entry> entries = journal_.Entries();
  if (entries.empty()) {
    journal_.DropEmptyKeys();
    return swept;
  }
  const HiveList list = HiveList::Read(registry_);
  for (const MountJournal::Entry& entry : entries) {
    if (loaded_.count(entry.name) != 0 || platform_.RunGoing(entry.run)) {
      continue;
    }
    // Where the platform lists its hives, a name it does not list is a plain key, no hive: under
    // Wine unloading it would delete it with all below it.
    const bool mounted = IsPrivateHiveName(entry.name) && UserKeyPresent(entry.name) &&
                         (!list.ListsUserHives() || list.FileOf(entry.name) != nullptr);
    if (mounted && !(platform_.MayLoadHives() && UnloadTrying(entry.name) == kErrorSuccess)) {
      continue;
    }
    // A check's copy outlives a run killed, or a hive that could not be unloaded: the platform
    // holds its files while it is loaded. It goes now, so such copies never pile up, and before
    // its record, so that a sweep killed in between leaves it to the next.
    if (IsPrivateHiveName(entry.name)) {
      platform_.RemoveCopyLeft(entry.file);
    }
    journal_.Drop(entry.name);
    if (mounted) {
      swept.push_back(entry.name);
    }
  }
  return swept;
}

std::string HiveMounts::NewMountName(const std::string& profile, HiveKind kind) {
  return PrivateHiveName(profile, kind, platform_.Unpredictable());
}

HiveLoading HiveMounts::Load(const HiveFile& file, bool copy, const std::string& as,
                             std::string* why) {
  const auto refuse = [why](const std::string& text) {
    *why = text;
    return HiveLoading::kRefused;
  };
  if (as.empty()) {
    return refuse("no private name to load it as could be made: the platform gave no random part");
  }
  // A name anybody could know beforehand lets a program open a key of the hive the moment it is
  // mounted, and so keep it mounted.
  if (!HasUnpredictablePart(as)) {
    return refuse("HKEY_USERS\\" + as + " is no name of this program's to load a hive as");
  }
  if (!platform_.MayLoadHives()) {
    return refuse(kHivePrivilegesMissing);
  }
  const auto taken = [&] {
    *why = "HKEY_USERS\\" + as + " is taken: another run may have it loaded";
    return HiveLoading::kTaken;
  };
  if (loaded_.count(as) != 0 || UserKeyPresent(as)) {
    return taken();
  }
  const std::string copyPlace = copy ? platform_.NewCopyPlace(file) : std::string();
  if (copy && copyPlace.empty()) {
    return refuse("no place for a private copy of it can be named: the temp folder is unknown");
  }
  // Recorded before anything is made or loaded: whatever a run killed from here on leaves, a
  // private copy or a mount, the next run's sweep finds by its record.
  const RegStatus recorded = journal_.Record(
      {as, copy ? copyPlace : file.folder + "\\" + file.relative, platform_.RunName()});
  if (recorded == kErrorAlreadyExists) {
    return taken();
  }
  if (recorded != kErrorSuccess) {
    journal_.Drop(as);
    return refuse(WithStatus(
        "its loading could not be recorded in HKEY_LOCAL_MACHINE\\SOFTWARE\\TessalineClean",
        recorded));
  }
  HiveLoading held = HiveLoading::kRefused;
  std::unique_ptr<HeldHive> hive = platform_.Hold(file, copyPlace, &held, why);
  if (!hive) {
    journal_.Drop(as);
    return held;
  }
  // Held from before the load, so that whatever happens from here on, the hive is unloaded by the
  // time this object goes.
  const auto slot = loaded_.emplace(as, std::move(hive)).first;
  HeldHive& loaded = *slot->second;
  const RegStatus status = platform_.LoadHive(as, loaded.Path());
  if (status != kErrorSuccess) {
    // Under Wine a failed load may leave an empty key of the name; a name another run loaded
    // meanwhile is its own.
    if (status != kErrorAlreadyExists) {
      DeleteKeyIfEmpty(registry_, kHkeyUsers, Utf8ToUtf16(as));
    }
    // The hold, and a private copy with it, goes before the record, as in Unload.
    loaded_.erase(slot);
    journal_.Drop(as);
    if (status == kErrorSharingViolation) {
      *why = WithStatus("the platform holds it", status);
      return HiveLoading::kInUse;
    }
    return refuse(status == kErrorNotAllAssigned || status == kErrorPrivilegeNotHeld
                      ? std::string(kHivePrivilegesMissing)
                      : WithStatus("the platform refused to load it", status));
  }
  const HiveList list = HiveList::Read(registry_);
  const std::string* listed = list.FileOf(as);
  std::string changed;
  if (list.ListsUserHives() && listed == nullptr) {
    changed = "the platform does not list HKEY_USERS\\" + as + " among the hives it loaded";
  } else if (loaded.Unchanged(listed, &changed)) {
    return HiveLoading::kLoaded;
  }
  std::string stays;
  if (!Unload(as, &stays)) {
    changed += "; " + stays;
  }
  return refuse(changed);
}

bool HiveMounts::Unload(const std::string& as, std::string* why) {
  const auto found = loaded_.find(as);
  if (found == loaded_.end()) {
    *why = "HKEY_USERS\\" + as + " was not loaded by this run";
    return false;
  }
  const RegStatus status = UnloadTrying(as);
  // A hive no longer there is unloaded as much as it can be.
  if (status != kErrorSuccess && status != kErrorFileNotFound) {
    *why = WithStatus("the platform would not unload HKEY_USERS\\" + as, status) +
           (status == kErrorAccessDenied ? ", a key of it being open" : "") +
           "; the next run unloads it";
    return false;
  }
  // The hold goes first, and a private copy with it: a run killed in between leaves the record,
  // by which the next run's sweep removes what is left, never a copy nobody recorded.
  loaded_.erase(found);
  journal_.Drop(as);
  return true;
}

RegStatus HiveMounts::UnloadTrying(const std::string& as) {
  RegStatus status = platform_.UnloadHive(as);
  for (int again = 0; status == kErrorAccessDenied && again < kUnloadRetries; ++again) {
    platform_.Pause();
    status = platform_.UnloadHive(as);
  }
  return status;
}

bool HiveMounts::UserKeyPresent(const std::string& name) {
  RegHandle opened = kNoHandle;
  const RegStatus status =
      registry_.OpenKeyW(kHkeyUsers, Utf8ToUtf16(name), kRegOptionOpenLink, kProbeAccess, &opened);
  const KeyHandle key(registry_, opened);
  return status != kErrorFileNotFound;
}
