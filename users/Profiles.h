#pragma once

#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "users/ProfileHives.h"
#include "users/UserHive.h"

// The profiles of the machine's users, as ProfileList records them, and the hives of those who
// are not logged on.

// A profile, and what a run does with it.
struct Profile {
  std::string id;          // its SID, or "Default" for the template of new users' profiles
  std::string folder;      // its folder, expanded
  std::string passedOver;  // why it is not examined, for a reason that is no failure; else empty
};

// The profiles of ProfileList in its order, each a user's (local, domain or Entra ID) to examine
// or passed over with its reason: a service account (its hive is always loaded), a .bak entry, a
// temporary, mandatory or roaming profile, one without a folder. The template for new users'
// profiles comes last; unless it is to be examined, it is passed over.
std::vector<Profile> ReadProfiles(RegistryReads& api, ProfileHives& hives, bool withTemplate);

// The hive files a profile's keys of that kind live in: its own hive, or its classes hive.
HiveFile HiveFileOf(const Profile& profile, HiveKind kind);
// The hive a profile's hive of that kind is while it is loaded as `as`.
UserHive ProfileHive(const Profile& profile, HiveKind kind, const std::string& as);
