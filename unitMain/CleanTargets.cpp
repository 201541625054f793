#include "unitMain/CleanTargets.h"

#include <optional>
#include <vector>

#include "registry/AsciiCase.h"

namespace {

constexpr const char* kMatchText = "TessalineWeb_EN.ocx";
constexpr const char* kClassesHiveSuffix = "_CLASSES";

// The names of a key's full name, root first, upper-cased as the platform matches them; nothing
// when a name is empty (two backslashes in a row, or one at the end) or holds a zero, which the
// platform would read otherwise than the text says.
std::optional<std::vector<std::string>> FoldedNames(const std::string& keyName) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = keyName.find('\\', start);
    const std::string name = keyName.substr(start, end - start);
    if (name.empty() || name.find('\0') != std::string::npos) {
      return std::nullopt;
    }
    names.push_back(AsciiUpper(name));
    if (end == std::string::npos) {
      return names;
    }
    start = end + 1;
  }
}

// Whether names, from the given one on, start with the root's and then the path's names.
bool Starts(const std::vector<std::string>& names, std::size_t from, const char* rootName,
            const std::string& path) {
  const std::optional<std::vector<std::string>> expected =
      FoldedNames(std::string(rootName) + path);
  if (!expected || names.empty() || names[0] != (*expected)[0] ||
      names.size() < from + expected->size() - 1) {
    return false;
  }
  for (std::size_t i = 1; i < expected->size(); ++i) {
    if (names[from + i - 1] != (*expected)[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

const std::array<CleanTarget, 4>& FixedTargets() {
  static const std::array<CleanTarget, 4> targets = {{
      {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX",
       "It failed to open ActiveFormProj1.ActiveFormX",
       "It failed to delte ActiveFormProj1.ActiveFormX"},
      {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
       "It failed to Open CLSID", "It failed to delte CLSID"},
      {kHkeyCurrentUser, "HKEY_CURRENT_USER",
       "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
       "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
       "It failed to Open Ext Stats in Current User", "It failed to delte Ext Stats"},
      {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE",
       "\\software\\Microsoft\\Code Store Database\\Distribution Units\\"
       "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
       "It failed to Open Distribution Unit in Local Machine",
       "It failed to delte Distribution Unit in Local Machine"},
  }};
  return targets;
}

CleanTarget LoadedUserStatistics(const std::string& hiveName) {
  CleanTarget target = FixedTargets()[kUserStatisticsTarget];
  target.root = kHkeyUsers;
  target.rootName = "HKEY_USERS";
  target.path = "\\" + hiveName + target.path;
  return target;
}

bool HoldsUserStatistics(const std::string& hiveName) {
  const std::string folded = AsciiUpper(hiveName);
  const std::string suffix = kClassesHiveSuffix;
  return folded.size() < suffix.size() ||
         folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) != 0;
}

const ModuleUsageList kModuleUsage = {
    kHkeyLocalMachine,
    "HKEY_LOCAL_MACHINE",
    "\\software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage",
    "It failed to Open Module Usage in Local Machine",
    "It failed to open Sub Module usage",
    "It failed to Delete Sub Module usage",
};

bool MatchesControl(const std::string& entryName) {
  static const std::string kFoldedMatchText = AsciiUpper(kMatchText);
  return AsciiUpper(entryName).find(kFoldedMatchText) != std::string::npos;
}

bool WithinCleanTargets(const std::string& keyName) {
  const std::optional<std::vector<std::string>> names = FoldedNames(keyName);
  if (!names) {
    return false;
  }
  for (const CleanTarget& target : FixedTargets()) {
    if (Starts(*names, 1, target.rootName, target.path)) {
      return true;
    }
  }
  // HKEY_USERS\<hive>\<the statistics path>, the hive any but a classes hive.
  const CleanTarget& statistics = FixedTargets()[kUserStatisticsTarget];
  if (names->size() > 2 && HoldsUserStatistics((*names)[1]) &&
      Starts(*names, 2, "HKEY_USERS", statistics.path)) {
    return true;
  }
  // An entry is the list's own subkey: its name, not one above or below it, holds the file name.
  const std::size_t entry =
      FoldedNames(std::string(kModuleUsage.rootName) + kModuleUsage.path)->size();
  return Starts(*names, 1, kModuleUsage.rootName, kModuleUsage.path) && names->size() > entry &&
         MatchesControl((*names)[entry]);
}
