#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clean/TargetWalk.h"
#include "registry/KeyName.h"
#include "registry/RegistryApi.h"

// How much lies below a key that check found.
struct KeyCounts {
  std::uint64_t subkeys = 0;
  std::uint64_t values = 0;
};

// A key the clean would delete, and how much it holds; the counts are unknown when it could not
// be read whole.
struct FoundKey {
  ShownKey key;
  std::optional<KeyCounts> counts;
};

// How a check ended.
enum class CheckOutcome {
  kAbsent,      // nothing of the control is present, and every profile was examined
  kPresent,     // keys the clean would delete are present
  kIncomplete,  // nothing found, but a profile was left with something undone
  kStopped,     // the walk could not go on: stopText says why
};

struct CheckResult {
  CheckOutcome outcome = CheckOutcome::kAbsent;
  std::vector<FoundKey> keys;           // what the clean would delete, in its order
  std::string stopText;                 // the clean's notice where the walk could not go on
  std::vector<ProfileReport> profiles;  // with the users' hives of profiles not loaded
  std::vector<std::string> swept;       // hives a killed run had left loaded, unloaded first
  std::vector<std::string> files;       // the control's files the keys found name (ControlFiles)
};

// Finds what the clean would delete, by the same walk and the same rules, and changes nothing: a
// profile whose hive is not loaded is read from a private copy of its hive files. Each class and
// module-usage entry found is read for the control's files it names (ControlFiles).
CheckResult RunCheck(RegistryReads& api, UsersHives* users);
