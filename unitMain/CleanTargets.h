#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "registry/RegistryApi.h"

// One key the clean removes whole, with the texts of its failures.
struct CleanTarget {
  RegHandle root;
  const char* rootName;  // the log's root line
  std::string path;      // from the root, leading backslash included, as the log shows it
  const char* openFailed;
  const char* deleteFailed;
};

// The fixed targets in the order they go: the ProgID, the class, the user's statistics, the
// downloaded code.
const std::array<CleanTarget, 4>& FixedTargets();
// The current user's statistics key among them; every loaded user's follows it when asked for.
constexpr std::size_t kUserStatisticsTarget = 2;
// The statistics key in the hive loaded under HKEY_USERS by that name, with the same texts.
CleanTarget LoadedUserStatistics(const std::string& hiveName);
// Whether a name under HKEY_USERS is a user's hive that holds statistics: not a classes hive.
bool HoldsUserStatistics(const std::string& hiveName);

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

// Whether the key, "ROOT\path" with the root spelled in full and names in UTF-8, is one the
// clean removes or lies below one: a fixed target, its counterpart in a hive loaded under
// HKEY_USERS, or a module-usage entry whose name holds the control's file name.
bool WithinCleanTargets(const std::string& keyName);
