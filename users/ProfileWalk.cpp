#include "users/ProfileWalk.h"

#include "users/Profiles.h"

namespace {

// A hive this run mounted, unmounted when the hive's walk is over, however it ends.
class MountedHive {
 public:
  MountedHive(ProfileHives& hives, std::string as) : hives_(hives), as_(std::move(as)) {}
  MountedHive(const MountedHive&) = delete;
  MountedHive& operator=(const MountedHive&) = delete;
  ~MountedHive() {
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

// retry: a later run examines it by itself.
void NotExamined(ProfileReport& report, const std::string& why, bool retry) {
  report.retry = (report.Unfinished() ? report.retry : true) && retry;
  report.outcome = ProfileReport::Outcome::kNotExamined;
  report.reason += (report.reason.empty() ? "" : "; ") + why;
}

// Reports a hive that could not be mounted; a missing one is no failure.
void NotMounted(HiveLoading loading, const HiveFile& file, HiveKind kind, const std::string& why,
                ProfileReport& report) {
  if (loading == HiveLoading::kMissing) {
    // Without a hive of its own a profile holds nothing to clean; one without classes of its
    // own holds none of the control's classes.
    if (kind == HiveKind::kUser) {
      report.outcome = ProfileReport::Outcome::kPassedOver;
      report.reason = "its folder or its hive " + file.relative + " is missing";
    }
    return;
  }
  if (loading == HiveLoading::kInUse) {
    NotExamined(report,
                "its hive " + file.relative +
                    " is in use: its user may be logging on; run again to reach it",
                true);
    return;
  }
  if (loading == HiveLoading::kTaken) {
    NotExamined(report, "its hive " + file.relative + " was not loaded: " + why, true);
    return;
  }
  // Both hives refused for one reason, as for want of the privileges, are named once.
  const std::string ending = " was not loaded: " + why;
  if (report.reason.size() < ending.size() ||
      report.reason.compare(report.reason.size() - ending.size(), ending.size(), ending) != 0) {
    NotExamined(report, "its hive " + file.relative + ending, false);
  }
}

// Mounts the profile's hive of that kind, hands it to visit and unmounts it; false when the
// visit stopped the walk.
bool WalkProfileHive(ProfileHives& hives, bool privateCopies, const Profile& profile, HiveKind kind,
                     const MountedHiveVisit& visit, ProfileReport& report) {
  const HiveFile file = HiveFileOf(profile, kind);
  // Named anew for each mount: the walk knows its hive by the name it was given, and by no other.
  const std::string as = hives.NewMountName(profile.id, kind);
  std::string why;
  const HiveLoading loading = hives.Load(file, privateCopies, as, &why);
  if (loading != HiveLoading::kLoaded) {
    NotMounted(loading, file, kind, why, report);
    return true;
  }
  if (report.loaded == ProfileReport::Loaded::kNo) {
    report.loaded = ProfileReport::Loaded::kByRun;
  }
  MountedHive mounted(hives, as);
  const bool going = visit(ProfileHive(profile, kind, as));
  if (!mounted.Unload(&why)) {
    // Its keys were examined all the same; a hive not examined says more.
    // The next run unloads it first.
    if (report.outcome != ProfileReport::Outcome::kNotExamined) {
      report.retry = report.Unfinished() ? report.retry : true;
      report.outcome = ProfileReport::Outcome::kLeftLoaded;
    }
    report.reason +=
        (report.reason.empty() ? "" : "; ") +
        ("its hive " + file.relative + " stays loaded as HKEY_USERS\\" + as + " (" + why + ")");
  }
  return going;
}

}  // namespace

bool WalkProfileHives(RegistryReads& api, ProfileHives& hives, bool privateCopies,
                      bool withTemplate, const MountedHiveVisit& visit,
                      std::vector<ProfileReport>& reports) {
  for (const Profile& profile : ReadProfiles(api, hives, withTemplate)) {
    ProfileReport report;
    report.id = profile.id;
    report.folder = profile.folder;
    if (!profile.passedOver.empty()) {
      report.outcome = ProfileReport::Outcome::kPassedOver;
      report.reason = profile.passedOver;
    }
    for (HiveKind kind : {HiveKind::kUser, HiveKind::kClasses}) {
      // A profile without a hive of its own holds nothing.
      if (report.outcome == ProfileReport::Outcome::kPassedOver) {
        break;
      }
      if (LoadedByItsUser(api, ProfileHive(profile, kind, std::string()).shownAs)) {
        // Walked with the others loaded under HKEY_USERS.
        report.loaded = ProfileReport::Loaded::kByUser;
        continue;
      }
      if (!WalkProfileHive(hives, privateCopies, profile, kind, visit, report)) {
        reports.push_back(report);
        return false;
      }
    }
    reports.push_back(report);
  }
  return true;
}
