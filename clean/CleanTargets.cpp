#include "clean/CleanTargets.h"

#include "registry/AsciiCase.h"

namespace {

constexpr const char* kProgIdOpenFailed = "It failed to open ActiveFormProj1.ActiveFormX";
constexpr const char* kProgIdDeleteFailed = "It failed to delte ActiveFormProj1.ActiveFormX";
constexpr const char* kClassOpenFailed = "It failed to Open CLSID";
constexpr const char* kClassDeleteFailed = "It failed to delte CLSID";

constexpr const char* kProgId = "\\ActiveFormProj1.ActiveFormX";

CleanTarget Target(RegHandle root, std::string path, const char* openFailed,
                   const char* deleteFailed) {
  CleanTarget target;
  target.root = root;
  target.rootName = RootName(root);
  target.shownPath = path;
  target.path = std::move(path);
  target.openFailed = openFailed;
  target.deleteFailed = deleteFailed;
  return target;
}

}  // namespace

// The one table of the control's keys that both programs act on. They are written down again,
// on purpose apart from it, where a mistake here must show: the tests' oracles (tests/
// CleanFixture.h and the end-to-end scripts spell each key out by hand) and the demo
// installation (tools/demo-installation*.txt). Were those read from this table, a wrong row
// would be deleted, checked and "proven" alike.
const std::array<CleanTarget, 6>& FixedTargets() {
  // Plain rows, made into targets by one loop: the program carries that code once.
  struct Row {
    RegHandle root;
    const char* path;
    const char* openFailed;
    const char* deleteFailed;
    HiveKind hiveKind;
    std::array<const char*, 2> hivePaths;
    bool classKey;
  };
  constexpr const char* kClsid = "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  constexpr const char* kStats =
      "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
      "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  // The user's own keys are below HKEY_CURRENT_USER\Software\Classes; for a 32-bit program
  // the CLSID there is the platform's 32-bit view of it. A user's classes hive, opened without
  // redirection, holds the class under both of its names.
  constexpr const char* kClsid64 = "\\Wow6432Node\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  static constexpr Row kRows[] = {
      {kHkeyCurrentUser,
       "\\Software\\Classes\\ActiveFormProj1.ActiveFormX",
       kProgIdOpenFailed,
       kProgIdDeleteFailed,
       HiveKind::kClasses,
       {kProgId, nullptr},
       false},
      {kHkeyClassesRoot,
       kProgId,
       kProgIdOpenFailed,
       kProgIdDeleteFailed,
       HiveKind::kNone,
       {},
       false},
      {kHkeyCurrentUser,
       "\\Software\\Classes\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
       kClassOpenFailed,
       kClassDeleteFailed,
       HiveKind::kClasses,
       {kClsid, kClsid64},
       true},
      {kHkeyClassesRoot, kClsid, kClassOpenFailed, kClassDeleteFailed, HiveKind::kNone, {}, true},
      {kHkeyCurrentUser,
       kStats,
       "It failed to Open Ext Stats in Current User",
       "It failed to delte Ext Stats",
       HiveKind::kUser,
       {kStats, nullptr},
       false},
      {kHkeyLocalMachine,
       "\\software\\Microsoft\\Code Store Database\\Distribution Units\\"
       "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
       "It failed to Open Distribution Unit in Local Machine",
       "It failed to delte Distribution Unit in Local Machine",
       HiveKind::kNone,
       {},
       false},
  };
  static const std::array<CleanTarget, 6> targets = [] {
    std::array<CleanTarget, 6> made;
    for (std::size_t index = 0; index < made.size(); ++index) {
      const Row& row = kRows[index];
      made[index] = Target(row.root, row.path, row.openFailed, row.deleteFailed);
      made[index].hiveKind = row.hiveKind;
      made[index].hivePaths = row.hivePaths;
      made[index].classKey = row.classKey;
    }
    return made;
  }();
  return targets;
}

CleanTarget ModuleUsageEntry(const std::string& entryName) {
  CleanTarget entry = Target(kModuleUsage.root, std::string(kModuleUsage.path) + "\\" + entryName,
                             kModuleUsage.entryOpenFailed, kModuleUsage.entryDeleteFailed);
  entry.listEntry = true;
  return entry;
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
  static const std::string kFoldedMatchText = AsciiUpper(kControlFileName);
  return AsciiUpper(entryName).find(kFoldedMatchText) != std::string::npos;
}
