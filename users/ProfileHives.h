#pragma once

#include <string>
#include <vector>

#include "users/UserHive.h"

// Where the layers above reach the hive files of profiles whose users are not logged on: the
// platform's mounts on Windows, a model of them in tests.

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
  kTaken,    // the name to load it as is taken: another run may have it loaded
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
  virtual std::vector<std::string> Sweep() = 0;
  // A new name to load a hive of the profile ("Default" for the template), of that kind, as: the
  // program's private name with a part nobody can predict, from the platform's cryptographic
  // random source, new at each call; empty when the platform gave no random part.
  virtual std::string NewMountName(const std::string& profile, HiveKind kind) = 0;
  // Loads the hive file under HKEY_USERS\<as>, a name NewMountName gave, once it has checked that
  // it may: the file exists, is a plain file with one link, neither it nor any folder from the
  // profile's folder down is a link or junction, its final name is the one expected, and it
  // belongs to its owner, SYSTEM, Administrators or the account the program runs as. No folder on
  // its way may move while it is loaded; the file itself, which the platform's load shares with
  // nobody, is checked again once loaded, and a file found swapped is unloaded at once. With copy,
  // a private copy of it and its logs is loaded instead, and the user's files are only read. The
  // privileges loading takes are enabled only for the call. *why tells why it was refused, or why
  // it is in use.
  virtual HiveLoading Load(const HiveFile& file, bool copy, const std::string& as,
                           std::string* why) = 0;
  // Unloads what this run loaded as HKEY_USERS\<as> (removing a copy it loaded), trying again a
  // little while the platform refuses; false, with why, when it stays loaded.
  virtual bool Unload(const std::string& as, std::string* why) = 0;
};
