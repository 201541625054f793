#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "registry/KeyName.h"
#include "registry/RegistryApi.h"
#include "users/UserHive.h"

// One key the clean removes whole, with the texts of its failures.
struct CleanTarget {
  RegHandle root = kNoHandle;
  const char* rootName = "";  // the log's root line
  std::string path;           // from the root, leading backslash included, as it is opened
  std::string shownPath;      // the same as the log, the backup and the report show it
  const char* openFailed = "";
  const char* deleteFailed = "";
  // For a fixed target: the hives holding its counterparts, and their paths below each hive.
  HiveKind hiveKind = HiveKind::kNone;
  std::array<const char*, 2> hivePaths = {nullptr, nullptr};
  // For a counterpart in a hive: the hive; its loadedAs is empty for every other target.
  UserHive hive;
  std::uint32_t viewFlags = 0;  // added to every open of the key and below it
  bool listEntry = false;       // an entry of the module-usage list
  bool classKey = false;        // the class: its InprocServer32 names the control's file

  ShownKey Shown() const { return {rootName, shownPath}; }
};

// The fixed targets in the order they go: the user's ProgID and the machine's, the user's class
// and the machine's, the user's statistics, the downloaded code. Each hive's counterparts go right
// after the target whose hiveKind they match.
const std::array<CleanTarget, 6>& FixedTargets();
// The counterparts of a fixed target in the hive, with its texts: one for each of its hive paths.
std::vector<CleanTarget> HiveCounterparts(const CleanTarget& target, const UserHive& hive);

// The control's file name, as the module-usage entries and the class's server name it.
constexpr const char* kControlFileName = "TessalineWeb_EN.ocx";

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

// Whether the key is one the clean removes or lies below one: a fixed target, its counterparts in a
// user's hive under HKEY_USERS, or a module-usage entry whose name holds the control's file name.
bool WithinCleanTargets(const KeyName& key);
// The same for a key named "ROOT\path" (the root spelled in full, names in UTF-8), read strictly.
bool WithinCleanTargets(const std::string& keyName);
