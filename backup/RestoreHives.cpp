#include "backup/RestoreHives.h"

#include "registry/AsciiCase.h"

bool RestoreHives::Holds(const std::string& hive) const {
  return !as_.empty() && AsciiUpper(hive) == AsciiUpper(shown_);
}

const Profile* RestoreHives::ProfileOf(const std::string& id) {
  if (!profiles_) {
    profiles_ = ReadProfiles(api_, *hives_, true);
  }
  for (const Profile& profile : *profiles_) {
    if (AsciiUpper(profile.id) == AsciiUpper(id)) {
      return &profile;
    }
  }
  return nullptr;
}

std::string RestoreHives::Reach(const std::string& hive, std::string* why) {
  if (Holds(hive)) {
    return as_;
  }
  Release();
  if (hives_ == nullptr || LoadedByItsUser(api_, hive)) {
    // Loaded by its user, or no hive to reach otherwise: written, or refused, by its name.
    shown_ = as_ = hive;
    return as_;
  }
  const UserHive named = LoadedHive(hive);
  const Profile* profile = named.kind == HiveKind::kNone ? nullptr : ProfileOf(named.profile);
  if (profile == nullptr) {
    *why = "no hive " + hive + " is loaded, and ProfileList names no profile of it";
    return std::string();
  }
  if (!profile->passedOver.empty()) {
    *why = "no hive " + hive + " is loaded, and its profile is passed over: " + profile->passedOver;
    return std::string();
  }
  const HiveFile file = HiveFileOf(*profile, named.kind);
  // Written to by the name the hive was mounted as, kept until it is unloaded.
  const std::string as = hives_->NewMountName(profile->id, named.kind);
  std::string refusal;
  switch (hives_->Load(file, false, as, &refusal)) {
    case HiveLoading::kLoaded:
      break;
    case HiveLoading::kMissing:
      *why = "no hive " + hive + " is loaded, and its file " + file.relative + " is missing";
      return std::string();
    case HiveLoading::kInUse:
      *why = "its hive " + file.relative + " is in use: its user may be logging on";
      return std::string();
    case HiveLoading::kTaken:
    case HiveLoading::kRefused:
      *why = "its hive " + file.relative + " was not loaded: " + refusal;
      return std::string();
  }
  shown_ = hive;
  as_ = as;
  loadedByRun_ = true;
  return as_;
}

void RestoreHives::Release() {
  std::string why;
  if (loadedByRun_ && !hives_->Unload(as_, &why)) {
    failures_.push_back("the hive of " + shown_ + " stays loaded as HKEY_USERS\\" + as_ + " (" +
                        why + ")");
  }
  loadedByRun_ = false;
  shown_.clear();
  as_.clear();
}
