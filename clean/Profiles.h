#pragma once

#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/RegistryApi.h"

// The profiles of the machine's users, as ProfileList records them, and the hives of those who
// are not logged on.

// A hive file of a profile: its folder, the file's place below it, and whose it is.
struct HiveFile {
  std::string folder;    // the profile's folder, "C:\Users\bob"
  std::string relative;  // "NTUSER.DAT", or "AppData\Local\Microsoft\Windows\UsrClass.dat"
  std::string owner;     // the profile's SID, who may own the file; empty for the template
};

enum class HiveLoading {
  kLoaded,
  kMissing,  // no such file, and none was made
  kInUse,    // the platform holds the file: its user is logging on, or another program has it
  kRefused,  // not loaded, for the reason given
};

// What reaches the hive files of profiles whose user is not logged on: the platform's on Windows,
// a model of it in tests.
class ProfileHives {
 public:
  virtual ~ProfileHives() = default;
  // A profile folder's recorded value as the platform expands it ("%SystemDrive%\Users\bob").
  virtual std::string Expand(const std::string& value) = 0;
  // Unloads what a run of this program loaded and left loaded, killed before it could unload it,
  // and names each under HKEY_USERS; what a run did not load itself is never touched.
  virtual std::vector<std::string> SweepLeftovers() = 0;
  // Loads the hive file under HKEY_USERS\<as>, once it has checked that it may: the file exists,
  // is a plain file with one link, neither it nor any folder from the profile's folder down is a
  // link or junction, its final name is the one expected, and it belongs to its owner, SYSTEM,
  // Administrators or the account the program runs as. No folder on its way may move while it is
  // loaded; the file itself, which the platform's load shares with nobody, is checked again once
  // loaded, and a file found swapped is unloaded at once. With copy, a private copy of it and its
  // logs is loaded instead, and the user's files are only read. The privileges loading takes are
  // enabled only for the call. *why tells why it was refused, or why it is in use.
  virtual HiveLoading Load(const HiveFile& file, bool copy, const std::string& as,
                           std::string* why) = 0;
  // Unloads what this run loaded as HKEY_USERS\<as> (removing a copy it loaded), trying again a
  // little while the platform refuses; false, with why, when it stays loaded.
  virtual bool Unload(const std::string& as, std::string* why) = 0;
};

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
// The name a run loads a profile's hive of that kind as: private, recognisable as this
// program's, and no name a user's hive has.
std::string PrivateHiveName(const std::string& profile, HiveKind kind);
// Whether a name under HKEY_USERS is one a run of this program loads a hive as, in any case.
bool IsPrivateHiveName(const std::string& name);
// The hive a profile's hive of that kind is while it is loaded as `as`.
UserHive ProfileHive(const Profile& profile, HiveKind kind, const std::string& as);
