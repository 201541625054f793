#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "users/Profiles.h"

// The users' hives restore writes to: each that is loaded, under its own name; for a profile
// whose user is not logged on, its hive loaded by the run under a private name new for the mount,
// from the file ProfileList names (never from the backup), for as long as its keys are written.
class RestoreHives {
 public:
  RestoreHives(RegistryReads& api, ProfileHives* hives) : api_(api), hives_(hives) {}
  RestoreHives(const RestoreHives&) = delete;
  RestoreHives& operator=(const RestoreHives&) = delete;
  ~RestoreHives() { Release(); }

  // Whether keys of the hive named so under HKEY_USERS are written where they were last time.
  bool Holds(const std::string& hive) const;
  // The name under HKEY_USERS to write the keys of that hive to; empty, with why, when there is
  // none. What the run loaded for another hive is unloaded first: no handle into it may be open.
  std::string Reach(const std::string& hive, std::string* why);
  // Unloads what the run loaded; the hives that stayed loaded are named in Failures.
  void Release();
  const std::vector<std::string>& Failures() const { return failures_; }

 private:
  const Profile* ProfileOf(const std::string& id);

  RegistryReads& api_;
  ProfileHives* hives_;
  std::optional<std::vector<Profile>> profiles_;
  std::string shown_;  // the hive whose keys are written now, by its own name
  std::string as_;     // where they are written: its own name, or the run's private one
  bool loadedByRun_ = false;
  std::vector<std::string> failures_;
};
