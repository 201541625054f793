// Which keys lie within the clean's targets. Kept apart from the table, so a program that never
// asks links none of it.
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/AsciiCase.h"

namespace {

// Whether names, from the index on, begin with the names of path (the clean's form, "\a\b"),
// letters matched without regard to ASCII case.
bool StartsWithPath(const std::vector<std::string>& names, std::size_t from,
                    const std::string& path) {
  const std::vector<std::string> wanted = SplitNames(BelowRoot(path));
  if (names.size() < from + wanted.size()) {
    return false;
  }
  for (std::size_t index = 0; index < wanted.size(); ++index) {
    if (AsciiUpper(names[from + index]) != AsciiUpper(wanted[index])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool WithinCleanTargets(const KeyName& key) {
  const std::vector<std::string>& names = key.names;
  for (const CleanTarget& target : FixedTargets()) {
    if (key.root == target.root && StartsWithPath(names, 0, target.path)) {
      return true;
    }
    for (const char* hivePath : target.hivePaths) {
      if (hivePath != nullptr && key.root == kHkeyUsers && !names.empty() &&
          KindOfHive(names[0]) == target.hiveKind && StartsWithPath(names, 1, hivePath)) {
        return true;
      }
    }
  }
  const std::size_t entryIndex = SplitNames(BelowRoot(kModuleUsage.path)).size();
  return key.root == kModuleUsage.root && StartsWithPath(names, 0, kModuleUsage.path) &&
         names.size() > entryIndex && MatchesControl(names[entryIndex]);
}

bool WithinCleanTargets(const std::string& keyName) {
  const std::optional<KeyName> key = ParseKeyName(keyName);
  return key && WithinCleanTargets(*key);
}
