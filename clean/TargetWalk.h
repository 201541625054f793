#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "clean/DeletionGuard.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"
#include "registry/TStringList.h"
#include "users/ProfileReport.h"

// What a run does with each key it finds present.
class TargetAction {
 public:
  virtual ~TargetAction() = default;
  // The key was found present; false stops the run, the action having said why.
  virtual bool Take(TRegistry& registry, const CleanTarget& key) = 0;
  // A counterpart in a user's hive, opened as itself with the walk's access and the counterpart's
  // view: what the action reads or deletes of it goes through this very handle. False stops the
  // run.
  virtual bool TakeInHive(RegHandle key, const CleanTarget& target) = 0;
  // A counterpart in a user's hive that is there but could not be opened so, and why; false stops
  // the run.
  virtual bool Unopened(const CleanTarget& target, const std::string& why) = 0;
  // The module-usage list's entries as the walk lists them, before it takes the first that names
  // the control: an action may prepare those together.
  virtual void EntriesListed(const TStringList& /*entries*/) {}
  // The module-usage list is present but could not be opened: the run stops with this text.
  virtual void ListOpenFailed(const char* text) = 0;
  // Whether what the action takes leaves the registry, so that a fresh listing of the module-usage
  // list holds only entries that came meanwhile: the walk then lists it again until one holds none.
  virtual bool RemovesWhatItTakes() const { return false; }
};

struct WalkResult {
  bool finished = false;                // false when the run was stopped
  std::vector<ProfileReport> profiles;  // each profile of the machine, with what became of it
  std::vector<std::string> swept;       // the hives a killed run had left loaded, unloaded first
  // For an action that removes what it takes: the last listing of the module-usage list the walk
  // allows itself still held entries of the control, which a fresh one may hold again.
  bool entriesRemain = false;
};

// The hives of the machine's users a run reaches besides the current user's, asked by the walk:
// a program that reaches none passes none, and carries none of their walk.
class UsersHives {
 public:
  virtual ~UsersHives() = default;
  // Unloads the hives a killed run had left loaded, and names each.
  virtual std::vector<std::string> Sweep() = 0;
  // The fixed targets in order, each followed by its counterparts in the hives loaded under
  // HKEY_USERS that hold one, in the order the platform lists them.
  virtual std::vector<CleanTarget> TargetsInOrder(RegistryReads& api) = 0;
  // Hands a counterpart in a user's hive to the action, opened as itself with the access asked for
  // and the counterpart's view; false when the action stopped the run.
  virtual bool TakeCounterpart(RegistryReads& api, std::uint32_t access,
                               const CleanTarget& counterpart, TargetAction& action) = 0;
  // Deletes a counterpart in a user's hive open as itself as key, through that very handle, with
  // the guard where there is one, once the platform's name of it shows it lies in its hive, then
  // looks it up again by its name; false, with why, when it stays, *guarded telling whether it
  // was the guard that kept it, and why.
  virtual bool DeleteCounterpart(RegistryReads& api, RegHandle key, const CleanTarget& counterpart,
                                 DeletionGuard* guard, std::string* why,
                                 GuardedDeletion* guarded) = 0;
  // The profiles whose hives are not loaded, one hive at a time, each reported; false when the
  // action stopped the run.
  virtual bool WalkProfiles(RegistryReads& api, std::uint32_t access, TargetAction& action,
                            std::vector<ProfileReport>& reports) = 0;
};

// The fixed targets in the order a run takes them; with users, each that has counterparts in users'
// hives followed by them.
std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, UsersHives* users);

// Whether the target is there to read: for a key of a root, as KeyPresent of the probe (a registry
// object with read rights) finds it; a counterpart in a user's hive, opened as itself in its view.
bool Present(RegistryReads& api, TRegistry& probe, const CleanTarget& target);

// Walks the clean's keys in order, with one registry object whose opens ask for the given access:
// each of TargetsInOrder that KeyPresent finds (a counterpart in a user's hive: that it opens as
// itself), then each module-usage entry whose name holds the control's file name, the list
// announced first, then, with users, the hives of each profile not loaded. A list that cannot be
// opened with that access is read with read rights: holding no entry of the control, it is passed
// over. The root is selected again before every target. For an action that removes what it takes,
// the list is listed again until a listing holds no entry of the control, within a bound, and
// once more so after the profiles, for entries written while the run went on.
WalkResult WalkTargets(RegistryReads& api, std::uint32_t access, UsersHives* users,
                       TargetAction& action);
