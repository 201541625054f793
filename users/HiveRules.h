#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/PlaceFacts.h"
#include "registry/RegistryApi.h"

// The rules a profile's hive file must meet before it is loaded, and while it is, decided on what
// the platform tells of it; and the platform's list of the hives it has loaded.

// Whether the folder on the way to a hive, shown as `shown` ("AppData\Local"), may be passed
// through; false, with why, when it may not.
bool FolderOnTheWayAllowed(const std::string& shown, const PlaceFacts& facts, std::string* why);

// Whether a hive of the profile (its SID; empty for the template of new users' profiles) may
// belong to `owner`: to its user, SYSTEM or Administrators, or the account the program runs as;
// the template's to SYSTEM, Administrators, TrustedInstaller or the program's account.
bool HiveOwnerAllowed(const std::string& owner, const std::string& profile,
                      const std::string& account);

// Whether the hive file (or one of its logs), shown as `shown` ("NTUSER.DAT"), is one to load for
// the profile; false, with why, when it is not.
bool HiveFileAllowed(const std::string& shown, const PlaceFacts& facts, const std::string& profile,
                     const std::string& account, std::string* why);

// Whether the file found at the hive's name after the load is the one checked before it, still
// meeting the rules; false, with why, when it is not.
bool HiveFileUnchanged(const std::string& shown, const PlaceFacts& checked, const PlaceFacts& now,
                       const std::string& profile, const std::string& account, std::string* why);

// What the platform tells of a file's room before a private copy of it is made.
struct FileRoom {
  std::uint64_t size = 0;       // its end: what its copy takes
  std::uint64_t allocated = 0;  // the room it takes where it lies
  bool sparse = false;          // sparse or compressed: it may take less room than it tells
};

// The largest hive file a check copies: 2 GB, the largest hive the platform loads (the registry's
// documented limit of a hive other than the system's); a log, which holds its hive's changed
// pages, no larger.
constexpr std::uint64_t kLargestHive = 2ull << 30;

// Whether a private copy of the file (a hive or one of its logs), shown as `shown`, may be made
// on a volume `free` bytes free: no larger than kLargestHive, taking no more room than the file
// takes where it lies, so that its user pays for what its copy takes, and leaving the volume
// its reserve; false, with why, when it may not.
bool CopyAllowed(const std::string& shown, const FileRoom& room, std::uint64_t free,
                 std::string* why);

// The start of the name of each private folder a check copies a hive into, in its temp folder.
constexpr const char* kCopyFolderPrefix = "TessalineClean-";

// A private copy of a hive as a run's record names it: its folder, right in the temp folder and
// named with the prefix and 32 hex digits, and the copied hive's file name in it.
struct CopyPlace {
  std::string folder;
  std::string leaf;  // "NTUSER.DAT" or "UsrClass.dat"
};
// The copy the file a record names is, when it is one as a run makes it in `tempFolder`; nothing
// for any other name, as one with another folder, a "..", a "/" or another file's name.
std::optional<CopyPlace> CopyPlaceOf(const std::string& file, const std::string& tempFolder);

// The folders from a profile's folder down to the one holding its hive at `relative`
// ("AppData\Local\Microsoft\Windows\UsrClass.dat"), each relative to the profile's folder: ""
// for that folder itself, then "AppData", "AppData\Local", ...
std::vector<std::string> FoldersOnTheWay(const std::string& relative);

// The platform's list of the hives it has loaded, on Windows the values of
// HKLM\SYSTEM\CurrentControlSet\Control\hivelist such as
// "\REGISTRY\USER\<name>" = "\Device\HarddiskVolume2\Users\bob\NTUSER.DAT".
class HiveList {
 public:
  // Reads the list; an unreadable one lists nothing.
  static HiveList Read(RegistryReads& api);
  // Reads it from the values as the platform holds them.
  static HiveList FromValues(const std::vector<RegValue>& values);

  // Whether it lists any hive under HKEY_USERS; Wine keeps the list empty.
  bool ListsUserHives() const { return !userHives_.empty(); }
  // The file the hive under HKEY_USERS by that name was loaded from; nullptr when it lists none.
  const std::string* FileOf(const std::string& name) const;

 private:
  std::map<std::string, std::string> userHives_;  // by name, ASCII letters upper-cased
};
