#include "clean/CleanTargets.h"

// The counterparts of the targets in users' hives, apart from the table: only a run over every
// user reaches them.

std::vector<CleanTarget> HiveCounterparts(const CleanTarget& target, const UserHive& hive) {
  std::vector<CleanTarget> counterparts;
  for (const char* hivePath : target.hivePaths) {
    if (hivePath == nullptr) {
      continue;
    }
    CleanTarget counterpart;
    counterpart.root = kHkeyUsers;
    counterpart.rootName = RootName(kHkeyUsers);
    counterpart.path = "\\" + hive.loadedAs + hivePath;
    counterpart.shownPath = "\\" + hive.shownAs + hivePath;
    counterpart.openFailed = target.openFailed;
    counterpart.deleteFailed = target.deleteFailed;
    counterpart.hive = hive;
    counterpart.classKey = target.classKey;
    // A user's classes hive keeps both views, and both are named.
    counterpart.viewFlags = kKeyWow64_64Key;
    counterparts.push_back(std::move(counterpart));
  }
  return counterparts;
}
