// The one table of what the clean removes: which names lie within it, hostile spellings
// included, which hives hold copies, and whether an opened key lies in its hive.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "clean/EveryUser.h"
#include "clean/TargetWalk.h"
#include "registry/memory/MemoryRegistry.h"

using ::testing::ElementsAre;

namespace {

constexpr const char* kClsid = "CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
constexpr const char* kStats =
    "software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
    "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
constexpr const char* kUsage =
    "HKEY_LOCAL_MACHINE\\software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";

TEST(CleanTargetsTest, EveryTargetItsHiveCounterpartsAndMatchingEntriesAreWithin) {
  for (const std::string& name : {
           std::string("HKEY_CURRENT_USER\\Software\\Classes\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_CURRENT_USER\\Software\\Classes\\") + kClsid + "\\InprocServer32",
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\Clsid"),
           std::string("HKEY_CLASSES_ROOT\\") + kClsid,
           std::string("HKEY_CURRENT_USER\\") + kStats + "\\iexplore",
           std::string("HKEY_LOCAL_MACHINE\\software\\Microsoft\\Code Store Database\\"
                       "Distribution Units\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}"),
           std::string("HKEY_USERS\\S-1-5-21-1_Classes\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_USERS\\S-1-5-21-1_CLASSES\\") + kClsid + "\\TypeLib",
           std::string("HKEY_USERS\\.DEFAULT\\") + kStats,
           std::string("HKEY_USERS\\S-1-5-18\\") + kStats + "\\iexplore\\AllowedDomains",
           std::string(kUsage) + "C:/x/TessalineWeb_EN.ocx",
           std::string(kUsage) + "c:/X/tessalineweb_en.OCX.bak\\Owner",
           // Names match as the platform matches them, ASCII letters in any case.
           std::string("hkey_classes_root\\activeformproj1.activeformx"),
           std::string("HKEY_CURRENT_USER\\SOFTWARE\\CLASSES\\") + kClsid,
       }) {
    EXPECT_TRUE(WithinCleanTargets(name)) << name;
  }
}

TEST(CleanTargetsTest, NeighboursAndHostileSpellingsAreNot) {
  for (const std::string& name : {
           std::string(""),
           std::string("HKEY_CLASSES_ROOT"),
           std::string("HKEY_CLASSES_ROOT\\CLSID"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX2"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveForm"),
           std::string("HKEY_CLASSES_ROOT\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F65}"),
           // Empty names, which the platform passes over, and the parent's spelling.
           std::string("HKEY_CLASSES_ROOT\\\\ActiveFormProj1.ActiveFormX"),
           std::string("\\HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\\\x"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\..\\..\\Software"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\.\\x"),
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\0\\x", 40) + "y",
           std::string("HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\0", 46),
           // The right path under the wrong root, or a copy in the wrong kind of hive.
           std::string("HKEY_LOCAL_MACHINE\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_CURRENT_USER\\ActiveFormProj1.ActiveFormX"),
           std::string("HKCR\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_USERS\\S-1-5-21-1\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_USERS\\S-1-5-21-1_Classes\\") + kStats,
           std::string("HKEY_USERS\\ActiveFormProj1.ActiveFormX"),
           std::string("HKEY_USERS\\") + kStats,
           std::string("HKEY_USERS\\S-1-5-21-1\\Software\\Classes\\ActiveFormProj1.ActiveFormX"),
           // Module usage: the list itself, entries that do not name the control, or name it
           // only below an entry.
           std::string(kUsage).substr(0, std::string(kUsage).size() - 1),
           std::string(kUsage) + "C:/x/other.ocx",
           std::string(kUsage) + "C:/x/other.ocx\\TessalineWeb_EN.ocx",
           std::string(kUsage) + "\\TessalineWeb_EN.ocx",
           std::string(kUsage) + "C:/x/TessalineWeb_EN\xC4\xB1ocx",
           std::string("HKEY_LOCAL_MACHINE\\software\\TessalineWeb_EN.ocx"),
       }) {
    EXPECT_FALSE(WithinCleanTargets(name)) << name;
  }
}

bool LiesInHive(const std::string& platformName, const std::string& hive) {
  return LiesWithin(platformName, UsersHivePlatformName(hive));
}

TEST(CleanTargetsTest, AnOpenedKeyLiesInItsHiveOnlyByThePlatformsFullName) {
  EXPECT_TRUE(LiesInHive("\\REGISTRY\\USER\\S-1-5-21-1\\Software\\x", "S-1-5-21-1"));
  EXPECT_TRUE(LiesInHive("\\registry\\user\\s-1-5-21-1_classes\\CLSID", "S-1-5-21-1_Classes"));
  EXPECT_TRUE(LiesInHive("\\REGISTRY\\USER\\.DEFAULT", ".DEFAULT"));
  for (const char* outside :
       {"\\REGISTRY\\MACHINE\\SOFTWARE\\Wow6432Node\\Victim",
        "\\REGISTRY\\USER\\S-1-5-21-10\\Software", "\\REGISTRY\\USER\\S-1-5-21-1_Classes\\CLSID",
        "\\REGISTRY\\USER\\S-1-5-21", "REGISTRY\\USER\\S-1-5-21-1\\x",
        "\\REGISTRY\\USERS\\S-1-5-21-1\\x", ""}) {
    EXPECT_FALSE(LiesInHive(outside, "S-1-5-21-1")) << outside;
  }
  EXPECT_FALSE(LiesInHive("\\REGISTRY\\USER\\\\x", ""));
  EXPECT_FALSE(LiesInHive("\\REGISTRY\\USER\\a\\b\\x", "a\\b"));
}

std::vector<std::string> Listed(const std::vector<CleanTarget>& targets) {
  std::vector<std::string> lines;
  for (const CleanTarget& target : targets) {
    lines.push_back(std::string(target.rootName) + target.path);
  }
  return lines;
}

TEST(CleanTargetsTest, EachHiveCopyFollowsItsTargetInTheOrderHivesAreListed) {
  MemoryRegistry store;
  // A hive a run loaded under its private name is walked as its profile's, not here, however an
  // earlier version named it.
  for (const char* hive : {"S-1-5-21-2_Classes", ".DEFAULT", "S-1-5-21-1", "S-1-5-21-1_Classes",
                           "TessalineClean-S-1-5-21-3-user", "tessalineclean-S-1-5-21-3-classes",
                           "TessalineClean-S-1-5-21-4-classes-0123456789abcdef0123456789abcdef"}) {
    store.SeedKey(kHkeyUsers, hive);
  }
  EveryUser everyone;
  const std::string progId = "\\ActiveFormProj1.ActiveFormX";
  const std::string clsid = std::string("\\") + kClsid;
  const std::string clsid32 = std::string("\\Wow6432Node\\") + kClsid;
  const std::string stats = std::string("\\") + kStats;
  EXPECT_THAT(
      Listed(TargetsInOrder(store, &everyone)),
      ElementsAre(
          "HKEY_CURRENT_USER\\Software\\Classes" + progId,
          "HKEY_USERS\\S-1-5-21-1_Classes" + progId, "HKEY_USERS\\S-1-5-21-2_Classes" + progId,
          "HKEY_CLASSES_ROOT" + progId, "HKEY_CURRENT_USER\\Software\\Classes" + clsid,
          "HKEY_USERS\\S-1-5-21-1_Classes" + clsid, "HKEY_USERS\\S-1-5-21-1_Classes" + clsid32,
          "HKEY_USERS\\S-1-5-21-2_Classes" + clsid, "HKEY_USERS\\S-1-5-21-2_Classes" + clsid32,
          "HKEY_CLASSES_ROOT" + clsid, "HKEY_CURRENT_USER" + stats, "HKEY_USERS\\.DEFAULT" + stats,
          "HKEY_USERS\\S-1-5-21-1" + stats,
          "HKEY_LOCAL_MACHINE\\software\\Microsoft\\Code Store Database\\"
          "Distribution Units\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}"));
  const std::vector<CleanTarget> own = TargetsInOrder(store, nullptr);
  ASSERT_EQ(own.size(), FixedTargets().size());
  for (std::size_t index = 0; index < own.size(); ++index) {
    EXPECT_EQ(own[index].path, FixedTargets()[index].path);
    EXPECT_EQ(std::string(own[index].deleteFailed), FixedTargets()[index].deleteFailed);
  }
  // A user's copy says what the machine's says.
  EXPECT_EQ(std::string(own[0].openFailed), own[1].openFailed);
  EXPECT_EQ(std::string(own[2].deleteFailed), own[3].deleteFailed);
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}

}  // namespace
