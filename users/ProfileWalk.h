#pragma once

#include <functional>
#include <vector>

#include "registry/RegistryApi.h"
#include "users/ProfileHives.h"
#include "users/ProfileReport.h"
#include "users/UserHive.h"

// Told of each hive mounted for its profile; false stops the walk.
using MountedHiveVisit = std::function<bool(const UserHive& hive)>;

// Walks the profiles of ProfileList whose users are not logged on, one hive at a time: each hive
// is mounted under a private name new for the mount (with privateCopies, a private copy of it),
// handed to visit, which finds it by that name (UserHive::loadedAs), and unmounted, however the
// visit ends, and each profile is reported. A hive its user has loaded is left to the walk of the
// hives loaded. False when visit stopped the walk; reports then ends with the profile it stopped
// in.
bool WalkProfileHives(RegistryReads& api, ProfileHives& hives, bool privateCopies,
                      bool withTemplate, const MountedHiveVisit& visit,
                      std::vector<ProfileReport>& reports);
