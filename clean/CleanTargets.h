#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "registry/KeyName.h"
#include "registry/RegistryApi.h"

// Which hives loaded under HKEY_USERS hold a copy of a fixed target.
enum class HiveKind {
  kNone,
  kUser,     // a user's own hive: the statistics
  kClasses,  // a user's classes hive, "<SID>_Classes": per-user class registrations
};

// One key the clean removes whole, with the texts of its failures.
struct CleanTarget {
  RegHandle root = kNoHandle;
  const char* rootName = "";  // the log's root line
  std::string path;           // from the root, leading backslash included, as the log shows it
  const char* openFailed = "";
  const char* deleteFailed = "";
  // For a fixed target: the hives holding its copy, and the copy's path below each hive.
  HiveKind hiveKind = HiveKind::kNone;
  const char* hivePath = "";
  // For a copy in a hive: the hive's name under HKEY_USERS; empty otherwise.
  std::string hive;
};

// The fixed targets in the order they go: the user's ProgID and the machine's, the user's class
// and the machine's, the user's statistics, the downloaded code. Each hive's copy goes right
// after the target whose hiveKind it matches.
const std::array<CleanTarget, 6>& FixedTargets();
// The copy of a fixed target in the hive loaded under HKEY_USERS by that name, with its texts.
CleanTarget HiveCopy(const CleanTarget& target, const std::string& hiveName);
// Which kind of hive a name under HKEY_USERS stands for.
HiveKind KindOfHive(const std::string& hiveName);

// The module-usage list: each entry whose name holds the control's file name goes.
struct ModuleUsageList {
  RegHandle root;
  const char* rootName;
  const char* path;
  const char* openFailed;
  const char* entryOpenFailed;
  const char* entryDeleteFailed;
};
extern const ModuleUsageList kModuleUsage;
bool MatchesControl(const std::string& entryName);
// The entry of the list by that name, with its texts.
CleanTarget ModuleUsageEntry(const std::string& entryName);

// Whether the key is one the clean removes or lies below one: a fixed target, its counterpart in a
// hive loaded under HKEY_USERS, or a module-usage entry whose name holds the control's file name.
bool WithinCleanTargets(const KeyName& key);
// The same for a key named "ROOT\path" (the root spelled in full, names in UTF-8), read strictly.
bool WithinCleanTargets(const std::string& keyName);
