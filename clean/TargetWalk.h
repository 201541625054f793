#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "clean/Profiles.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"

// Which users' hives a run reaches besides the current user's.
struct AllUsers {
  bool enabled = false;  // every hive loaded under HKEY_USERS
  // Through this, also the hives of the profiles whose users are not logged on; none without.
  ProfileHives* profiles = nullptr;
  bool copies = false;        // load private copies of those hives: a run that only reads
  bool withTemplate = false;  // and the template of new users' profiles
};

// What became of a profile in a run, for the report.
struct ProfileReport {
  enum class Loaded { kNo, kByUser, kByRun };
  enum class Outcome { kExamined, kPassedOver, kNotExamined };
  std::string id;  // its SID, or "Default"
  std::string folder;
  Loaded loaded = Loaded::kNo;  // who had its hives loaded while it was examined
  Outcome outcome = Outcome::kExamined;
  std::string reason;  // why it was passed over, or could not be examined
};

// What a run does with each key it finds present.
class TargetAction {
 public:
  virtual ~TargetAction() = default;
  // The key was found present; false stops the run, the action having said why.
  virtual bool Take(TRegistry& registry, const CleanTarget& key) = 0;
  // A copy in a user's hive, opened as itself with the walk's access and the copy's view: what
  // the action reads or deletes of it goes through this very handle. False stops the run.
  virtual bool TakeInHive(RegHandle key, const CleanTarget& target) = 0;
  // A copy in a user's hive that is there but could not be opened so; false stops the run.
  virtual bool Unopened(const CleanTarget& target, RegStatus status) = 0;
  // The module-usage list is present but could not be opened: the run stops with this text.
  virtual void ListOpenFailed(const char* text) = 0;
};

// The fixed targets in the order a run takes them; with allUsers, each fixed target that has
// copies in hives is followed by its copies in each hive of that kind loaded under HKEY_USERS, in
// the order the platform lists them.
std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, bool allUsers);

// Whether the target is there to read: for a key of a root, as KeyPresent of the probe (a registry
// object with read rights) finds it; a copy in a user's hive, opened as itself in its view.
bool Present(RegistryReads& api, TRegistry& probe, const CleanTarget& target);

struct WalkResult {
  bool finished = false;                // false when the run was stopped
  std::vector<ProfileReport> profiles;  // each profile of the machine, with what became of it
  std::vector<std::string> swept;       // the hives a killed run had left loaded, unloaded first
};

// Walks the clean's keys in order, with one registry object whose opens ask for the given access:
// each of TargetsInOrder that KeyPresent finds (a copy in a user's hive: that it opens as itself),
// then each module-usage entry whose name holds the control's file name, then, with profiles,
// the hives of each profile not loaded, one at a time: loaded, walked, unloaded. A list that
// cannot be opened with that access is read with read rights: holding no entry of the control,
// it is passed over. The root is selected again before every target.
WalkResult WalkTargets(RegistryReads& api, std::uint32_t access, const AllUsers& users,
                       TargetAction& action);
