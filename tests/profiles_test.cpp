// Every profile of the machine over the store, its hive files modelled as Windows documents them
// (a loaded hive's changes are in its file once unloaded, an unload is refused while any handle
// into the hive is open, loading a missing file makes it): which profiles are examined, check on
// private copies, clean one hive at a time with its backup, leftover mounts, and the keys of
// users' hives that stay while the machine's keys go.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CleanFixture.h"
#include "MemoryFiles.h"
#include "MemoryHives.h"
#include "backup/KeyBackup.h"
#include "backup/RestoreProcedure.h"
#include "clean/EveryUser.h"
#include "registry/AsciiCase.h"
#include "registry/Utf16.h"

namespace {

using ::testing::ElementsAre;

constexpr const char* kProfileList = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const char* kAlice = "S-1-5-21-1-2-3-1001";
constexpr const char* kClassesFile = "AppData\\Local\\Microsoft\\Windows\\UsrClass.dat";
constexpr const char* kWowClsid = "Wow6432Node\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";

RegValue Text(const std::u16string& name, const std::string& text, std::uint32_t type) {
  return {name, type, [&] {
            const std::string bytes = Utf16LeBytes(Utf8ToUtf16(text) + u'\0');
            return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
          }()};
}

RegValue Number(const std::u16string& name, std::uint32_t number) {
  return {name,
          kRegDword,
          {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
           static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)}};
}

class ProfilesTest : public CleanFixture {
 protected:
  // A profile as ProfileList records it, its folder named as Windows records it.
  void AddProfile(const std::string& sid, const std::string& folder,
                  const std::vector<RegValue>& more = {}) {
    const std::string entry = std::string(kProfileList) + "\\" + sid;
    store.SeedKey(kHkeyLocalMachine, entry);
    if (!folder.empty()) {
      store.SeedValue(kHkeyLocalMachine, entry, Text(u"ProfileImagePath", folder, kRegExpandSz));
    }
    for (const RegValue& value : more) {
      store.SeedValue(kHkeyLocalMachine, entry, value);
    }
  }

  // Writes the keys into the hive file, as a user's logon session would have.
  void SeedHiveFile(const std::string& file, const std::vector<std::string>& keys) {
    ASSERT_EQ(store.LoadHive("seeding", file), kErrorSuccess);
    for (const std::string& key : keys) {
      store.SeedKey(kHkeyUsers, "seeding\\" + key);
    }
    ASSERT_EQ(store.UnloadHive("seeding"), kErrorSuccess);
  }

  static std::string UserFile(const std::string& user) {
    return "C:\\Users\\" + user + "\\NTUSER.DAT";
  }
  static std::string ClassesFile(const std::string& user) {
    return "C:\\Users\\" + user + "\\" + kClassesFile;
  }

  // A profile whose user is not logged on, with the control's keys in both hives.
  void AddAliceWithTheControl() {
    AddProfile(kAlice, "%SystemDrive%\\Users\\alice");
    SeedHiveFile(UserFile("alice"), {std::string(traces::kStats) + "\\iexplore"});
    SeedHiveFile(ClassesFile("alice"), {std::string(traces::kProgId) + "\\Clsid",
                                        std::string(traces::kClsid) + "\\InprocServer32",
                                        std::string(kWowClsid) + "\\InprocServer32"});
  }

  EveryUser Everyone(bool copies) { return EveryUser(&hives, copies, copies); }

  CleanResult Clean(DeletionGuard* guard = nullptr) {
    CleanOptions options;
    EveryUser users = Everyone(false);
    options.users = &users;
    options.guard = guard;
    return RunClean(store, options);
  }

  static std::vector<std::string> Lines(const std::vector<ShownKey>& keys) {
    std::vector<std::string> lines;
    for (const ShownKey& key : keys) {
      lines.push_back(key.root + key.path);
    }
    return lines;
  }

  const ProfileReport* ReportOf(const std::vector<ProfileReport>& reports, const std::string& id) {
    for (const ProfileReport& report : reports) {
      if (report.id == id) {
        return &report;
      }
    }
    ADD_FAILURE() << id << " is not reported";
    return nullptr;
  }

  MemoryHives hives{store};
};

const std::string kAliceStats = std::string("HKEY_USERS\\") + kAlice + "\\" + traces::kStats;
const std::string kAliceClasses = std::string("HKEY_USERS\\") + kAlice + "_Classes\\";

TEST_F(ProfilesTest, EachProfileIsExaminedOrPassedOverWithItsReason) {
  AddProfile("S-1-5-18", "%systemroot%\\system32\\config\\systemprofile");
  AddAliceWithTheControl();
  AddProfile("S-1-12-1-11-22-33-44", "C:\\Users\\amy");  // Entra ID
  SeedHiveFile(UserFile("amy"), {"Software"});
  AddProfile("S-1-5-21-1-2-3-1002.bak", "C:\\Users\\bob");
  AddProfile("S-1-5-21-1-2-3-1003", "C:\\Users\\TEMP", {Number(u"State", 0x804)});
  AddProfile("S-1-5-21-1-2-3-1004", "C:\\Users\\carl", {Number(u"State", 0x1)});
  AddProfile("S-1-5-21-1-2-3-1005", "C:\\Users\\dora",
             {Text(u"CentralProfile", "\\\\server\\profiles\\dora", kRegSz)});
  AddProfile("S-1-5-21-1-2-3-1006", "C:\\Users\\gone");
  AddProfile("S-1-5-21-1-2-3-1007", "");
  AddProfile("S-1-5-80-1-2-3-4-5", "C:\\Windows\\ServiceProfiles\\svc");
  // A user who is logged on: the hive is walked where the user has it.
  AddProfile("S-1-5-21-1-2-3-1008", "C:\\Users\\erin");
  store.SeedKey(kHkeyUsers, std::string("S-1-5-21-1-2-3-1008\\") + traces::kStats);
  store.SeedValue(kHkeyLocalMachine, kProfileList,
                  Text(u"Default", "%SystemDrive%\\Users\\Default", kRegExpandSz));
  SeedHiveFile(UserFile("Default"), {traces::kStats});

  EveryUser checking = Everyone(true);
  const CheckResult check = RunCheck(store, &checking);
  std::vector<std::string> outcomes;
  for (const ProfileReport& report : check.profiles) {
    const char* loaded = report.loaded == ProfileReport::Loaded::kByRun    ? "by run"
                         : report.loaded == ProfileReport::Loaded::kByUser ? "by user"
                                                                           : "not loaded";
    const char* outcome = report.outcome == ProfileReport::Outcome::kExamined     ? "examined"
                          : report.outcome == ProfileReport::Outcome::kPassedOver ? "passed over"
                                                                                  : "left";
    outcomes.push_back(report.id + " " + report.folder + ": " + outcome + ", " + loaded + " " +
                       report.reason);
  }
  EXPECT_THAT(
      outcomes,
      ElementsAre(
          "S-1-12-1-11-22-33-44 C:\\Users\\amy: examined, by run ",
          "S-1-5-18 %systemroot%\\system32\\config\\systemprofile: passed over, not loaded a "
          "service account, whose hive is always loaded",
          "S-1-5-21-1-2-3-1001 C:\\Users\\alice: examined, by run ",
          "S-1-5-21-1-2-3-1002.bak C:\\Users\\bob: passed over, not loaded a copy kept while its "
          "profile is repaired (.bak)",
          "S-1-5-21-1-2-3-1003 C:\\Users\\TEMP: passed over, not loaded a temporary profile",
          "S-1-5-21-1-2-3-1004 C:\\Users\\carl: passed over, not loaded a mandatory profile, "
          "which its server replaces at every logon",
          "S-1-5-21-1-2-3-1005 C:\\Users\\dora: passed over, not loaded a roaming profile, which "
          "its server's copy replaces at the next logon: clean it as its user logs on",
          "S-1-5-21-1-2-3-1006 C:\\Users\\gone: passed over, not loaded its folder or its hive "
          "NTUSER.DAT is missing",
          "S-1-5-21-1-2-3-1007 : passed over, not loaded no folder is recorded for it",
          "S-1-5-21-1-2-3-1008 C:\\Users\\erin: examined, by user ",
          "S-1-5-80-1-2-3-4-5 C:\\Windows\\ServiceProfiles\\svc: passed over, not loaded not a "
          "user's account",
          "Default C:\\Users\\Default: examined, by run "));
  std::vector<std::string> found;
  for (const FoundKey& key : check.keys) {
    found.push_back(key.key.root + key.key.path);
  }
  EXPECT_THAT(found, ElementsAre("HKEY_USERS\\S-1-5-21-1-2-3-1008\\" + std::string(traces::kStats),
                                 kAliceStats, kAliceClasses + traces::kProgId,
                                 kAliceClasses + traces::kClsid, kAliceClasses + kWowClsid,
                                 "HKEY_USERS\\Default\\" + std::string(traces::kStats)));

  // The template is cleaned only when asked for.
  const CleanResult clean = Clean();
  EXPECT_EQ(ReportOf(clean.profiles, "Default")->outcome, ProfileReport::Outcome::kPassedOver);
  EXPECT_EQ(ReportOf(clean.profiles, "Default")->reason,
            "the template of new users' profiles, cleaned only when asked for");
  EXPECT_EQ(clean.outcome, CleanOutcome::kDone);
}

TEST_F(ProfilesTest, CheckReadsPrivateCopiesAndLeavesTheUsersFilesAsTheyWere) {
  AddAliceWithTheControl();
  const std::string userBefore = store.HiveFileText(UserFile("alice"));
  const std::string classesBefore = store.HiveFileText(ClassesFile("alice"));

  EveryUser checking = Everyone(true);
  const CheckResult check = RunCheck(store, &checking);
  ASSERT_EQ(check.keys.size(), 4u);
  EXPECT_EQ(check.keys[0].key.root + check.keys[0].key.path, kAliceStats);
  ASSERT_TRUE(check.keys[0].counts);
  EXPECT_EQ(check.keys[0].counts->subkeys, 1u);
  EXPECT_EQ(check.keys[3].key.root + check.keys[3].key.path, kAliceClasses + kWowClsid);
  EXPECT_EQ(store.HiveFileText(UserFile("alice")), userBefore);
  EXPECT_EQ(store.HiveFileText(ClassesFile("alice")), classesBefore);
  // Each mounted by a name given for it alone, and known by that name.
  ASSERT_EQ(hives.named.size(), 2u);
  EXPECT_THAT(hives.events,
              ElementsAre("load a copy of " + UserFile("alice") + " as " + hives.named[0],
                          "unload " + hives.named[0],
                          "load a copy of " + ClassesFile("alice") + " as " + hives.named[1],
                          "unload " + hives.named[1]));
  EXPECT_TRUE(store.LoadedHives().empty());
  EXPECT_FALSE(store.HiveFileExists("copy of " + UserFile("alice")));
}

TEST_F(ProfilesTest, CleanBacksUpAndDeletesInEachHiveInTurnUnderTheUsersNames) {
  AddAliceWithTheControl();
  SeedInstallation();
  MemoryBackupFile file;
  KeyBackup backup(store, file, {"1.0", "now"});
  const CleanResult result = Clean(&backup);
  EXPECT_EQ(result.outcome, CleanOutcome::kDone);
  const std::vector<std::string> deleted = Lines(result.deleted);
  EXPECT_THAT(std::vector<std::string>(deleted.end() - 4, deleted.end()),
              ElementsAre(kAliceStats, kAliceClasses + traces::kProgId,
                          kAliceClasses + traces::kClsid, kAliceClasses + kWowClsid));
  // The machine's keys went first.
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  // Each hive was loaded alone, and its changes are in its file.
  EXPECT_EQ(hives.mostAtOnce, 1u);
  EXPECT_TRUE(store.LoadedHives().empty());
  EXPECT_EQ(store.HiveFileText(UserFile("alice")).find("9C37FC59"), std::string::npos);
  EXPECT_EQ(store.HiveFileText(ClassesFile("alice")).find("9C37FC59"), std::string::npos);
  EXPECT_EQ(store.HiveFileText(ClassesFile("alice")).find("ActiveFormProj1"), std::string::npos);

  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  std::vector<std::string> names;
  for (const BackupSection& section : parsed.sections) {
    names.push_back(section.keyName);
    EXPECT_EQ(section.keyName.find("TessalineClean"), std::string::npos);
  }
  EXPECT_THAT(names, testing::Contains(kAliceStats + "\\iexplore"));
  EXPECT_THAT(names, testing::Contains(kAliceClasses + kWowClsid + "\\InprocServer32"));
}

TEST_F(ProfilesTest, AMountAKilledRunLeftIsUnloadedFirstAndNoOtherNameIsTouched) {
  AddAliceWithTheControl();
  std::string why;
  const HiveFile left{"C:\\Users\\alice", "NTUSER.DAT", kAlice};
  const std::string mount = hives.NewMountName(kAlice, HiveKind::kUser);
  ASSERT_EQ(hives.Load(left, false, mount, &why), HiveLoading::kLoaded);
  // A key of the program's prefix that no run of it loaded.
  store.SeedKey(kHkeyUsers, "TessalineClean-other\\" + std::string(traces::kStats));

  const CleanResult result = Clean();
  EXPECT_THAT(result.swept, ElementsAre(mount));
  EXPECT_EQ(result.outcome, CleanOutcome::kDone);
  EXPECT_THAT(Lines(result.deleted), testing::Contains(kAliceStats));
  EXPECT_TRUE(store.KeyExists(kHkeyUsers, "TessalineClean-other\\" + std::string(traces::kStats)));
  EXPECT_TRUE(store.LoadedHives().empty());
}

TEST_F(ProfilesTest, AProfileThatCannotBeExaminedIsNamedAndTheMachinesKeysStillGo) {
  AddAliceWithTheControl();
  SeedInstallation();
  hives.privileges = false;
  CleanResult result = Clean();
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->outcome, ProfileReport::Outcome::kNotExamined);
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->reason,
            "its hive NTUSER.DAT was not loaded: the privileges to load a hive are not held");
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));

  // A file the platform's checks refuse, and a hive the user's logon holds.
  hives.privileges = true;
  hives.unsafe[UserFile("alice")] = "AppData is a link or junction";
  result = Clean();
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->reason,
            "its hive NTUSER.DAT was not loaded: AppData is a link or junction");
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);
  hives.unsafe.clear();
  ASSERT_EQ(store.LoadHive("held by a logon", ClassesFile("alice")), kErrorSuccess);
  result = Clean();
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->reason,
            "its hive " + std::string(kClassesFile) +
                " is in use: its user may be logging on; run again to reach it");
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);

  // A hive that stays loaded once its keys went is named as such, not as one not examined, and
  // the run is not done; the next run unloads it first.
  ASSERT_EQ(store.UnloadHive("held by a logon"), kErrorSuccess);
  hives.unloadRefusals = 1;
  const std::size_t named = hives.named.size();
  result = Clean();
  ASSERT_GT(hives.named.size(), named);
  const std::string left = hives.named[named];  // the user's hive's, mounted first
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->outcome, ProfileReport::Outcome::kLeftLoaded);
  EXPECT_EQ(ReportOf(result.profiles, kAlice)->reason,
            "its hive NTUSER.DAT stays loaded as HKEY_USERS\\" + left + " (error 5)");
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);
  EXPECT_EQ(Clean().swept, std::vector<std::string>{left});
  EXPECT_TRUE(store.LoadedHives().empty());
}

// A user may deny everyone the deletion of their key, or link a name in their hive to the
// machine's keys: that user's key stays, named, and nothing else does.
TEST_F(ProfilesTest, AUsersKeyThatCannotGoIsKeptWhileTheMachinesKeysGo) {
  SeedInstallation();
  const std::string loaded = "S-1-5-21-1-2-3-1010";
  store.SeedKey(kHkeyUsers, loaded + "\\" + traces::kStats + "\\denied");
  store.SeedAccess(kHkeyUsers, loaded + "\\" + traces::kStats + "\\denied", kKeyRead);
  AddAliceWithTheControl();
  const std::string victim = "Software\\Victim";
  store.SeedKey(kHkeyLocalMachine,
                victim + "\\Stats\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\data");
  ASSERT_EQ(store.LoadHive("seeding", UserFile("alice")), kErrorSuccess);
  store.SeedLink(kHkeyUsers, "seeding\\software\\Microsoft\\Windows\\CurrentVersion\\Ext",
                 kHkeyLocalMachine, victim);
  ASSERT_EQ(store.UnloadHive("seeding"), kErrorSuccess);

  const CleanResult result = Clean();
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);
  ASSERT_EQ(result.kept.size(), 2u);
  EXPECT_EQ(result.kept[0].key.root + result.kept[0].key.path,
            "HKEY_USERS\\" + loaded + "\\" + traces::kStats);
  EXPECT_EQ(result.kept[0].profile, loaded);
  EXPECT_EQ(result.kept[0].why, "it, or a key below it, cannot be deleted");
  EXPECT_EQ(result.kept[1].key.root + result.kept[1].key.path, kAliceStats);
  EXPECT_EQ(result.kept[1].why, "it leads out of the hive " + std::string(kAlice) +
                                    ", to \\REGISTRY\\MACHINE\\software\\Victim\\Stats\\"
                                    "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}");
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine,
                              victim + "\\Stats\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\data"));
  EXPECT_TRUE(store.KeyExists(kHkeyUsers, loaded + "\\" + traces::kStats + "\\denied"));
  // Alice's classes, the machine's keys and the module-usage entries went all the same.
  EXPECT_THAT(Lines(result.deleted), testing::Contains(kAliceClasses + kWowClsid));
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_TRUE(store.LoadedHives().empty());
}

// A user's key that cannot be read whole, or whose section passes a bound, stays; its unfinished
// section is taken out of the file: the sections of the keys that went after it still restore.
TEST_F(ProfilesTest, AnUnfinishedSectionIsCutOutAndTheRestOfTheBackupStaysWhole) {
  SeedInstallation();
  AddAliceWithTheControl();
  const std::string loaded = "S-1-5-21-1-2-3-1012";
  const std::string stats = loaded + "\\" + traces::kStats;
  store.SeedValue(kHkeyUsers, stats, {u"first", kRegSz, {'a', 0, 0, 0}});
  store.SeedValue(kHkeyUsers, stats, {u"second", kRegSz, {'b', 0, 0, 0}});
  // Some 5 MB of text in one key of a user's and of the machine's; 2.5 MB in each of 16 subkeys.
  const RegValue large{u"large", kRegBinary, std::vector<std::uint8_t>(800000)};
  const std::string oneKey = "S-1-5-21-1-2-3-1013\\" + std::string(traces::kStats);
  store.SeedValue(kHkeyUsers, oneKey, large);
  store.SeedValue(kHkeyLocalMachine, traces::kDistributionUnit, large);
  for (int subkey = 0; subkey < 16; ++subkey) {
    store.SeedValue(
        kHkeyUsers,
        "S-1-5-21-1-2-3-1014\\" + std::string(traces::kStats) + "\\" + std::to_string(subkey),
        {u"half", kRegBinary, std::vector<std::uint8_t>(400000)});
  }
  // The first look reads both values; the second, as the section is written, fails at the last.
  int secondValueReads = 0;
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Value && site.index == 1 &&
        site.keyPath == "HKEY_USERS\\" + stats && ++secondValueReads == 2) {
      return kErrorAccessDenied;
    }
    return std::nullopt;
  });
  MemoryBackupFile file;
  KeyBackup backup(store, file, {"1.0", "now"});
  const CleanResult result = Clean(&backup);
  ASSERT_EQ(secondValueReads, 2);
  EXPECT_EQ(result.outcome, CleanOutcome::kKept);
  ASSERT_EQ(result.kept.size(), 3u);
  std::vector<std::string> went = Lines(result.deleted);
  for (const KeptKey& kept : result.kept) {
    EXPECT_TRUE(kept.byBackup);
    EXPECT_TRUE(store.KeyExists(kHkeyUsers, kept.key.path.substr(1)));
    went.push_back(kept.key.root + kept.key.path + "\\");  // its subkeys that went before it
  }
  EXPECT_EQ(result.kept[1].why, "the backup kept it: HKEY_USERS\\" + oneKey +
                                    " would take more than 4 MB of the backup, the most a key of "
                                    "a user's hive may take");
  EXPECT_THAT(result.kept[2].why, testing::EndsWith(" would take the backup of its profile's keys "
                                                    "past 32 MB, the most one run takes of a "
                                                    "profile"));
  EXPECT_THAT(went, testing::Contains(kAliceStats));
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));

  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  EXPECT_FALSE(parsed.cutKey.has_value());
  std::vector<std::string> names;
  for (const BackupSection& section : parsed.sections) {
    names.push_back(section.keyName);
  }
  EXPECT_THAT(names, testing::Not(testing::Contains("HKEY_USERS\\" + stats)));
  EXPECT_THAT(names,
              testing::Contains(std::string("HKEY_LOCAL_MACHINE\\") + traces::kDistributionUnit));
  // Every section is of a key that went, or of one below it.
  for (const std::string& name : names) {
    EXPECT_TRUE(std::any_of(went.begin(), went.end(), [&](const std::string& key) {
      return name.compare(0, key.size(), key) == 0;
    })) << name;
  }
}

// A user who swaps the key's parent for a link to the machine's keys right after the run found
// the key in the hive gains nothing: what goes is the key found, through its handle.
TEST_F(ProfilesTest, TheKeyFoundInTheHiveIsTheKeyDeleted) {
  const std::string hive = "S-1-5-21-1-2-3-1011";
  const std::string parent = hive + "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats";
  const std::string key = hive + "\\" + traces::kStats;
  const std::string victim = "Software\\Victim\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\data";
  store.SeedKey(kHkeyUsers, key);
  store.SeedKey(kHkeyLocalMachine, victim);
  bool swapping = false;
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (swapping || site.call != MemoryRegistry::Call::Name ||
        AsciiUpper(site.keyPath) != AsciiUpper("HKEY_USERS\\" + key)) {
      return std::nullopt;
    }
    swapping = true;
    for (const std::string& gone : {key, parent}) {
      RegHandle handle = kNoHandle;
      if (store.OpenKey(kHkeyUsers, gone.c_str(), kRegOptionOpenLink, kKeyAllAccess, &handle) ==
          kErrorSuccess) {
        store.DeleteOpenKey(handle);
        store.CloseKey(handle);
      }
    }
    store.SeedLink(kHkeyUsers, parent, kHkeyLocalMachine, "Software\\Victim");
    swapping = false;
    return std::nullopt;
  });
  MemoryBackupFile file;
  KeyBackup backup(store, file, {"1.0", "now"});
  const CleanResult result = Clean(&backup);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, victim));
  // The key found went with its parent; what stands at its name now is kept, named.
  EXPECT_TRUE(result.deleted.empty());
  ASSERT_EQ(result.kept.size(), 1u);
  EXPECT_EQ(result.kept[0].key.path, "\\" + key);
  EXPECT_EQ(file.bytes.find(Utf16LeBytes(u"Victim")), std::string::npos);
}

// Keys of a profile whose user is not logged on go back into its hive files, loaded from where
// ProfileList says, one hive at a time; a key of a profile ProfileList does not name stays out.
TEST_F(ProfilesTest, RestorePutsAProfilesKeysBackIntoItsFiles) {
  AddAliceWithTheControl();
  const std::string userBefore = store.HiveFileText(UserFile("alice"));
  const std::string classesBefore = store.HiveFileText(ClassesFile("alice"));
  MemoryBackupFile file;
  KeyBackup backup(store, file, {"1.0", "now"});
  ASSERT_EQ(Clean(&backup).outcome, CleanOutcome::kDone);
  ASSERT_NE(store.HiveFileText(UserFile("alice")), userBefore);
  // A restore killed while alice's hive was mounted left that mount: this one sweeps it first.
  const std::string mount = hives.NewMountName(kAlice, HiveKind::kUser);
  std::string why;
  ASSERT_EQ(hives.Load({"C:\\Users\\alice", "NTUSER.DAT", kAlice}, false, mount, &why),
            HiveLoading::kLoaded);
  hives.events.clear();
  const std::size_t named = hives.named.size();

  MemorySource source(file.bytes);
  const RestoreResult restored = RunRestore(store, source, &hives);
  EXPECT_EQ(restored.refusal, "");
  EXPECT_THAT(restored.failures, ElementsAre());
  EXPECT_THAT(restored.swept, ElementsAre(mount));
  EXPECT_EQ(store.HiveFileText(UserFile("alice")), userBefore);
  EXPECT_EQ(store.HiveFileText(ClassesFile("alice")), classesBefore);
  // Each hive written through the name restore mounted it as, none the killed run's.
  ASSERT_EQ(hives.named.size(), named + 2);
  const std::string user = hives.named[named];
  const std::string classes = hives.named[named + 1];
  EXPECT_NE(user, mount);
  EXPECT_THAT(
      hives.events,
      ElementsAre("unload " + mount, "load " + UserFile("alice") + " as " + user, "unload " + user,
                  "load " + ClassesFile("alice") + " as " + classes, "unload " + classes));
  EXPECT_TRUE(store.LoadedHives().empty());
  EXPECT_THAT(Lines(restored.restored), testing::Contains(kAliceStats + "\\iexplore"));

  // Logged on now: written where the user's hive is.
  store.SeedKey(kHkeyUsers, kAlice);
  MemorySource again(file.bytes);
  EXPECT_THAT(RunRestore(store, again, &hives).failures, ElementsAre());
  EXPECT_TRUE(store.KeyExists(kHkeyUsers, std::string(kAlice) + "\\" + traces::kStats));

  // A profile ProfileList does not name.
  const std::string other = "S-1-5-21-9-9-9-1099";
  std::vector<BackupSection> sections = ReadWhole(file.bytes).sections;
  for (BackupSection& section : sections) {
    const std::size_t at = section.keyName.find(kAlice);
    section.keyName.replace(at, std::string(kAlice).size(), other);
  }
  MemorySource unknown(BackupFileOf(sections));
  const RestoreResult refused = RunRestore(store, unknown, &hives);
  ASSERT_FALSE(refused.failures.empty());
  EXPECT_EQ(refused.failures[0], "HKEY_USERS\\" + other + "\\" + traces::kStats +
                                     "\\iexplore: not restored: no hive " + other +
                                     " is loaded, and ProfileList names no profile of it.");
  EXPECT_TRUE(store.LoadedHives().empty());

  // A link its user left on the way is named with the hive as the user has it, never by the
  // private name it was written under.
  const std::string bob = "S-1-5-21-1-2-3-1020";
  AddProfile(bob, "%SystemDrive%\\Users\\bob");
  SeedHiveFile(UserFile("bob"), {"Software\\Keep"});
  store.SeedKey(kHkeyLocalMachine, "Software\\Victim");
  ASSERT_EQ(store.LoadHive("seeding", UserFile("bob")), kErrorSuccess);
  store.SeedLink(kHkeyUsers, "seeding\\software\\Microsoft\\Windows\\CurrentVersion\\Ext",
                 kHkeyLocalMachine, "Software\\Victim");
  ASSERT_EQ(store.UnloadHive("seeding"), kErrorSuccess);
  for (BackupSection& section : sections) {
    const std::size_t at = section.keyName.find(other);
    section.keyName.replace(at, other.size(), bob);
  }
  MemorySource linked(BackupFileOf(sections));
  const RestoreResult led = RunRestore(store, linked, &hives);
  ASSERT_FALSE(led.failures.empty());
  EXPECT_EQ(led.failures[0], "HKEY_USERS\\" + bob + "\\" + traces::kStats +
                                 "\\iexplore: not restored: a link in its path leads out of "
                                 "\\REGISTRY\\USER\\" +
                                 bob + ".");
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, "Software\\Victim\\Stats"));
  EXPECT_TRUE(store.LoadedHives().empty());
}

}  // namespace
