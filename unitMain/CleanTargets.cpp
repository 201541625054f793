#include "unitMain/CleanTargets.h"

#include <vector>

#include "registry/AsciiCase.h"

namespace {

constexpr const char* kMatchText = "TessalineWeb_EN.ocx";
constexpr const char* kClassesHiveSuffix = "_CLASSES";
constexpr const char* kProgIdOpenFailed = "It failed to open ActiveFormProj1.ActiveFormX";
constexpr const char* kProgIdDeleteFailed = "It failed to delte ActiveFormProj1.ActiveFormX";
constexpr const char* kClassOpenFailed = "It failed to Open CLSID";
constexpr const char* kClassDeleteFailed = "It failed to delte CLSID";

constexpr const char* kProgId = "\\ActiveFormProj1.ActiveFormX";
// Where a user's own class registrations live, below HKEY_CURRENT_USER; a 32-bit program's
// CLSID there is the platform's 32-bit view of it.
constexpr const char* kUserClasses = "\\Software\\Classes";

const char* RootNameOf(RegHandle root) {
  switch (root) {
    case kHkeyClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case kHkeyCurrentUser:
      return "HKEY_CURRENT_USER";
    case kHkeyLocalMachine:
      return "HKEY_LOCAL_MACHINE";
    default:
      return "HKEY_USERS";
  }
}

CleanTarget Target(RegHandle root, std::string path, const char* openFailed,
                   const char* deleteFailed, HiveKind hiveKind = HiveKind::kNone,
                   const char* hivePath = "") {
  CleanTarget target;
  target.root = root;
  target.rootName = RootNameOf(root);
  target.path = std::move(path);
  target.openFailed = openFailed;
  target.deleteFailed = deleteFailed;
  target.hiveKind = hiveKind;
  target.hivePath = hivePath;
  return target;
}

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

const std::array<CleanTarget, 6>& FixedTargets() {
  constexpr const char* kClsid = "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  constexpr const char* kStats =
      "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
      "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  static const std::array<CleanTarget, 6> targets = {
      Target(kHkeyCurrentUser, kUserClasses + std::string(kProgId), kProgIdOpenFailed,
             kProgIdDeleteFailed, HiveKind::kClasses, kProgId),
      Target(kHkeyClassesRoot, kProgId, kProgIdOpenFailed, kProgIdDeleteFailed),
      Target(kHkeyCurrentUser, kUserClasses + std::string(kClsid), kClassOpenFailed,
             kClassDeleteFailed, HiveKind::kClasses, kClsid),
      Target(kHkeyClassesRoot, kClsid, kClassOpenFailed, kClassDeleteFailed),
      Target(kHkeyCurrentUser, kStats, "It failed to Open Ext Stats in Current User",
             "It failed to delte Ext Stats", HiveKind::kUser, kStats),
      Target(kHkeyLocalMachine,
             "\\software\\Microsoft\\Code Store Database\\Distribution Units\\"
             "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
             "It failed to Open Distribution Unit in Local Machine",
             "It failed to delte Distribution Unit in Local Machine"),
  };
  return targets;
}

CleanTarget HiveCopy(const CleanTarget& target, const std::string& hiveName) {
  CleanTarget copy =
      Target(kHkeyUsers, "\\" + hiveName + target.hivePath, target.openFailed, target.deleteFailed);
  copy.hive = hiveName;
  return copy;
}

CleanTarget ModuleUsageEntry(const std::string& entryName) {
  return Target(kModuleUsage.root, std::string(kModuleUsage.path) + "\\" + entryName,
                kModuleUsage.entryOpenFailed, kModuleUsage.entryDeleteFailed);
}

HiveKind KindOfHive(const std::string& hiveName) {
  const std::string folded = AsciiUpper(hiveName);
  const std::string suffix = kClassesHiveSuffix;
  const bool classes = folded.size() >= suffix.size() &&
                       folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) == 0;
  return classes ? HiveKind::kClasses : HiveKind::kUser;
}

bool LiesInHive(const std::string& platformName, const std::string& hiveName) {
  const std::string hiveKey = AsciiUpper("\\REGISTRY\\USER\\" + hiveName);
  const std::string folded = AsciiUpper(platformName);
  return !hiveName.empty() && hiveName.find('\\') == std::string::npos &&
         folded.compare(0, hiveKey.size(), hiveKey) == 0 &&
         (folded.size() == hiveKey.size() || folded[hiveKey.size()] == '\\');
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
