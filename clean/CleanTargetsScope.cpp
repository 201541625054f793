// Which keys lie within the clean's targets. Kept apart from the table, so a program that never
// asks links none of it.
#include <algorithm>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/AsciiCase.h"

namespace {

// A path the clean's keys lie below, its names upper-cased once: in its root, or in a user's hive
// of a kind under HKEY_USERS, below the hive's own name.
struct ScopePath {
  RegHandle root;
  bool inUsersHive;
  HiveKind hiveKind;
  std::vector<std::string> names;
};

std::vector<std::string> UpperNames(const std::string& path) {
  std::vector<std::string> names = SplitNames(BelowRoot(path));
  for (std::string& name : names) {
    name = AsciiUpper(name);
  }
  return names;
}

const std::vector<ScopePath>& ScopePaths() {
  static const std::vector<ScopePath> paths = [] {
    std::vector<ScopePath> all;
    for (const CleanTarget& target : FixedTargets()) {
      all.push_back({target.root, false, target.hiveKind, UpperNames(target.path)});
      for (const char* hivePath : target.hivePaths) {
        if (hivePath != nullptr) {
          all.push_back({kHkeyUsers, true, target.hiveKind, UpperNames(hivePath)});
        }
      }
    }
    return all;
  }();
  return paths;
}

// Whether names, upper-cased, begin with the wanted ones from the index on.
bool StartsWithNames(const std::vector<std::string>& names, std::size_t from,
                     const std::vector<std::string>& wanted) {
  return names.size() >= from + wanted.size() &&
         std::equal(wanted.begin(), wanted.end(),
                    names.begin() + static_cast<std::ptrdiff_t>(from));
}

}  // namespace

bool WithinCleanTargets(const KeyName& key) {
  std::vector<std::string> names;
  names.reserve(key.names.size());
  for (const std::string& name : key.names) {
    names.push_back(AsciiUpper(name));
  }
  for (const ScopePath& path : ScopePaths()) {
    if (key.root == path.root &&
        (path.inUsersHive ? !names.empty() && KindOfHive(key.names[0]) == path.hiveKind &&
                                StartsWithNames(names, 1, path.names)
                          : StartsWithNames(names, 0, path.names))) {
      return true;
    }
  }
  static const std::vector<std::string> list = UpperNames(kModuleUsage.path);
  return key.root == kModuleUsage.root && StartsWithNames(names, 0, list) &&
         names.size() > list.size() && MatchesControl(key.names[list.size()]);
}

bool WithinCleanTargets(const std::string& keyName) {
  const std::optional<KeyName> key = ParseKeyName(keyName);
  return key && WithinCleanTargets(*key);
}
