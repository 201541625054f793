#include "clean/CleanTargets.h"

#include "clean/Profiles.h"
#include "registry/AsciiCase.h"

// The copies of the targets in users' hives, apart from the table: only a run over every user
// reaches them.

namespace {

constexpr const char* kClassesHiveSuffix = "_CLASSES";

}  // namespace

std::vector<CleanTarget> HiveCopies(const CleanTarget& target, const UserHive& hive) {
  std::vector<CleanTarget> copies;
  for (const char* hivePath : target.hivePaths) {
    if (hivePath == nullptr) {
      continue;
    }
    CleanTarget copy;
    copy.root = kHkeyUsers;
    copy.rootName = RootName(kHkeyUsers);
    copy.path = "\\" + hive.loadedAs + hivePath;
    copy.shownPath = "\\" + hive.shownAs + hivePath;
    copy.openFailed = target.openFailed;
    copy.deleteFailed = target.deleteFailed;
    copy.hive = hive;
    copy.viewFlags = kKeyWow64_64Key;
    copies.push_back(std::move(copy));
  }
  return copies;
}

UserHive LoadedHive(const std::string& name) {
  const HiveKind kind = KindOfHive(name);
  const std::string profile =
      kind == HiveKind::kClasses
          ? name.substr(0, name.size() - std::string(kClassesHiveSuffix).size())
          : name;
  return {name, name, profile, kind};
}

HiveKind KindOfHive(const std::string& hiveName) {
  // A hive a run loaded under its private name is no user's by that name: nothing is read from,
  // or written to, a name another run may unload meanwhile.
  if (IsPrivateHiveName(hiveName)) {
    return HiveKind::kNone;
  }
  const std::string folded = AsciiUpper(hiveName);
  const std::string suffix = kClassesHiveSuffix;
  const bool classes = folded.size() >= suffix.size() &&
                       folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) == 0;
  return classes ? HiveKind::kClasses : HiveKind::kUser;
}
