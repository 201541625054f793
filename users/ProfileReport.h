#pragma once

#include <string>
#include <vector>

// What became of a profile in a run, for the report.
struct ProfileReport {
  enum class Loaded { kNo, kByUser, kByRun };
  // kLeftLoaded: examined, but a hive of it could not be unloaded after; the next run unloads it.
  enum class Outcome { kExamined, kPassedOver, kNotExamined, kLeftLoaded };
  std::string id;  // its SID, or "Default"
  std::string folder;
  // Who had its hives loaded while it was examined: its user, when the user had either.
  Loaded loaded = Loaded::kNo;
  Outcome outcome = Outcome::kExamined;
  std::string reason;  // why it was passed over, could not be examined, or stays loaded
  // Whether all it left undone, a later run finishes by itself: a hive in use or left loaded, or
  // a mount name taken.
  bool retry = false;

  // Whether the run left something of it undone: a hive not examined, or one left loaded.
  bool Unfinished() const {
    return outcome == Outcome::kNotExamined || outcome == Outcome::kLeftLoaded;
  }
};

// Whether any of the profiles was left with something undone.
inline bool AnyUnfinished(const std::vector<ProfileReport>& profiles) {
  for (const ProfileReport& profile : profiles) {
    if (profile.Unfinished()) {
      return true;
    }
  }
  return false;
}
