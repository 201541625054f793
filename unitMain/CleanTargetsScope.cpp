// Which key names lie within the clean's targets. Kept apart from the table, so a program that
// never asks links none of it.
#include <string>
#include <vector>

#include "registry/AsciiCase.h"
#include "unitMain/CleanTargets.h"

namespace {

// The names of a key's path, or nothing when it holds an empty name (a doubled, leading or
// trailing backslash), a zero byte, or a name "." or ".." that a layer on the way might read as
// the key itself or its parent: no key the clean removes is spelled so, and a name it lets
// through must mean one key only.
std::vector<std::string> SplitNames(const std::string& path) {
  std::vector<std::string> names;
  if (path.find('\0') != std::string::npos) {
    return {};
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = path.find('\\', start);
    names.push_back(path.substr(start, end == std::string::npos ? end : end - start));
    if (names.back().empty() || names.back() == "." || names.back() == "..") {
      return {};
    }
    if (end == std::string::npos) {
      return names;
    }
    start = end + 1;
  }
}

bool SameName(const std::string& a, const std::string& b) {
  return AsciiUpper(a) == AsciiUpper(b);
}

// Whether names, from the index on, begin with the names of path (given with its leading
// backslash), letters matched without regard to ASCII case.
bool StartsWithPath(const std::vector<std::string>& names, std::size_t from,
                    const std::string& path) {
  const std::vector<std::string> wanted = SplitNames(path.substr(1));
  if (names.size() < from + wanted.size()) {
    return false;
  }
  for (std::size_t index = 0; index < wanted.size(); ++index) {
    if (!SameName(names[from + index], wanted[index])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool WithinCleanTargets(const std::string& keyName) {
  const std::vector<std::string> names = SplitNames(keyName);
  if (names.empty()) {
    return false;
  }
  const std::string& root = names[0];
  for (const CleanTarget& target : FixedTargets()) {
    if (SameName(root, target.rootName) && StartsWithPath(names, 1, target.path)) {
      return true;
    }
    if (target.hiveKind != HiveKind::kNone && SameName(root, "HKEY_USERS") && names.size() > 1 &&
        KindOfHive(names[1]) == target.hiveKind && StartsWithPath(names, 2, target.hivePath)) {
      return true;
    }
  }
  const std::size_t entryIndex = SplitNames(std::string(kModuleUsage.path).substr(1)).size() + 1;
  return SameName(root, kModuleUsage.rootName) && StartsWithPath(names, 1, kModuleUsage.path) &&
         names.size() > entryIndex && MatchesControl(names[entryIndex]);
}
