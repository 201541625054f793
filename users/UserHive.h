#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// The users' hives under HKEY_USERS and the rules of their names.

// Which of a user's hives a name under HKEY_USERS stands for.
enum class HiveKind {
  kNone,
  kUser,     // a user's own hive: the statistics
  kClasses,  // a user's classes hive, "<SID>_Classes": per-user class registrations
};

// A user's hive under HKEY_USERS: loaded by its user under its own name, or mounted by this run
// under a private one.
struct UserHive {
  std::string loadedAs;  // its name under HKEY_USERS now
  std::string shownAs;   // its name while its user is logged on, as logs and backups name it
  std::string profile;   // the profile it belongs to: its SID, or "Default"
  HiveKind kind = HiveKind::kNone;
};

// A hive loaded under HKEY_USERS by that name, as loaded by its user.
UserHive LoadedHive(const std::string& name);
// Which kind of hive a name under HKEY_USERS stands for; none for a run's private name.
HiveKind KindOfHive(const std::string& hiveName);
// The hives loaded under HKEY_USERS by their users, in the platform's order, mounts of this
// program's runs left out; none when the list cannot be read.
std::vector<UserHive> LoadedUserHives(RegistryReads& api);
// Whether the hive is loaded under HKEY_USERS by that name, as a user's logon loads it.
bool LoadedByItsUser(RegistryReads& api, const std::string& hive);

// How many hex digits the part of a private name that nobody can predict has.
constexpr std::size_t kUnpredictableDigits = 32;
// The private name a run mounts a profile's hive of that kind as,
// "TessalineClean-<profile>-user-<unpredictable>" or "...-classes-...": recognisable as this
// program's, no name a user's hive has, and, with `unpredictable` new for each mount from the
// platform's cryptographic random source, no name anybody can know before the hive is mounted.
// Empty when `unpredictable` is not kUnpredictableDigits hex digits.
std::string PrivateHiveName(const std::string& profile, HiveKind kind,
                            const std::string& unpredictable);
// Whether a name under HKEY_USERS is one a run of this program mounts a hive as, in any case:
// by its start alone, so that a mount an earlier version named without the unpredictable part is
// still this program's.
bool IsPrivateHiveName(const std::string& name);
// Whether the name is a private name as PrivateHiveName makes it, ending in its unpredictable
// part; the only names a run loads a hive as.
bool HasUnpredictablePart(const std::string& name);
