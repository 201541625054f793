#include "unitMain/CleanTargets.h"

#include "registry/AsciiCase.h"

namespace {

constexpr const char* kMatchText = "TessalineWeb_EN.ocx";
constexpr const char* kClassesHiveSuffix = "_CLASSES";

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
