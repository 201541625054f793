// Loading the hives of profiles whose users are not logged on: the rules a hive file must meet,
// the record of what runs loaded, and the order of checks, load and unload around the platform,
// with the platform's answers chosen by each case, which Wine cannot give on demand.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "WhyOf.h"
#include "registry/AsciiCase.h"
#include "registry/Utf16.h"
#include "registry/memory/MemoryRegistry.h"
#include "users/HiveMounts.h"
#include "users/HiveRules.h"
#include "users/MountJournal.h"
#include "users/UserHive.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr const char* kBob = "S-1-5-21-1-2-3-1001";
constexpr const char* kEve = "S-1-5-21-1-2-3-1002";
constexpr const char* kAdmin = "S-1-5-21-1-2-3-500";
constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const char* kPart = "0123456789abcdef0123456789ABCDEF";
constexpr const char* kAs =
    "TessalineClean-S-1-5-21-1-2-3-1001-user-0123456789abcdef0123456789ABCDEF";
// The name bob's hive was mounted as before names had their unpredictable part.
constexpr const char* kFixedName = "TessalineClean-S-1-5-21-1-2-3-1001-user";
constexpr const char* kJournal = "SOFTWARE\\TessalineClean\\Mounts";
constexpr const char* kHiveList = "SYSTEM\\CurrentControlSet\\Control\\hivelist";

PlaceFacts PlainFile(const std::string& owner) {
  PlaceFacts facts;
  facts.owner = owner;
  facts.volume = 7;
  facts.index = 42;
  return facts;
}

RegValue Text(const std::u16string& name, const std::string& text) {
  return {name, kRegSz, LeBytesFromUtf16(Utf8ToUtf16(text) + u'\0')};
}

TEST(HiveRulesTest, AUsersHiveMayBelongToItsUserTheSystemOrTheProgramsAccount) {
  for (const char* owner : {kBob, "S-1-5-18", "S-1-5-32-544", kAdmin, "s-1-5-21-1-2-3-1001"}) {
    EXPECT_TRUE(HiveOwnerAllowed(owner, kBob, kAdmin)) << owner;
  }
  // Another user's hive planted in bob's folder, or one only the system's installer may own.
  for (const char* owner : {kEve, kTrustedInstaller, "S-1-1-0", "S-1-5-32-545", ""}) {
    EXPECT_FALSE(HiveOwnerAllowed(owner, kBob, kAdmin)) << owner;
  }
}

TEST(HiveRulesTest, TheTemplateMayBelongToTheSystemItsInstallerOrTheProgramsAccountOnly) {
  for (const char* owner : {"S-1-5-18", "S-1-5-32-544", kTrustedInstaller, kAdmin}) {
    EXPECT_TRUE(HiveOwnerAllowed(owner, "", kAdmin)) << owner;
  }
  for (const char* owner : {kBob, "S-1-5-32-545", "S-1-1-0", ""}) {
    EXPECT_FALSE(HiveOwnerAllowed(owner, "", kAdmin)) << owner;
  }
}

TEST(HiveRulesTest, EachWayAHiveFileFailsIsNamed) {
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", PlainFile(kBob), kBob, kAdmin), "");
  PlaceFacts twice = PlainFile(kBob);
  twice.links = 2;
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", twice, kBob, kAdmin), "NTUSER.DAT has 2 names");
  PlaceFacts eves = PlainFile(kEve);
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", eves, kBob, kAdmin),
            std::string("NTUSER.DAT belongs to ") + kEve);
  PlaceFacts linked = PlainFile(kBob);
  linked.reachedAsNamed = false;
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", linked, kBob, kAdmin), "NTUSER.DAT is a link");
  PlaceFacts reparse = PlainFile(kBob);
  reparse.reparsePoint = true;
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT.LOG1", reparse, kBob, kAdmin),
            "NTUSER.DAT.LOG1 is a link");
  PlaceFacts folder = PlainFile(kBob);
  folder.folder = true;
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", folder, kBob, kAdmin), "NTUSER.DAT is a folder");
  PlaceFacts device = PlainFile(kBob);
  device.plain = false;
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", device, kBob, kAdmin),
            "NTUSER.DAT is not a plain file");
  EXPECT_EQ(WhyOf(HiveFileAllowed, "NTUSER.DAT", PlainFile(""), kBob, kAdmin),
            "the owner of NTUSER.DAT cannot be read");

  // Windows marks a sparse or compressed file, which Wine never does; Wine tells of the room a
  // file takes, and the end-to-end run shows the rest of what a copy may be.
  EXPECT_EQ(WhyOf(CopyAllowed, "NTUSER.DAT", FileRoom{1 << 20, 1 << 20, true}, 1ull << 40),
            "NTUSER.DAT is sparse or compressed: a copy of it (1 MB) would take more room than it "
            "does");
}

TEST(HiveRulesTest, AFolderOnTheWayMustBeAFolderReachedAsNamed) {
  PlaceFacts folder;
  folder.folder = true;
  EXPECT_EQ(WhyOf(FolderOnTheWayAllowed, "AppData\\Local", folder), "");
  PlaceFacts junction = folder;
  junction.reparsePoint = true;
  EXPECT_EQ(WhyOf(FolderOnTheWayAllowed, "AppData\\Local", junction),
            "AppData\\Local is a link or junction");
  PlaceFacts elsewhere = folder;
  elsewhere.reachedAsNamed = false;
  EXPECT_EQ(WhyOf(FolderOnTheWayAllowed, "AppData", elsewhere), "AppData is a link or junction");
  EXPECT_EQ(WhyOf(FolderOnTheWayAllowed, "AppData", PlaceFacts()), "AppData is not a folder");
}

TEST(HiveRulesTest, AFileReplacedOrChangedWhileLoadedIsNamed) {
  const PlaceFacts checked = PlainFile(kBob);
  EXPECT_EQ(WhyOf(HiveFileUnchanged, "NTUSER.DAT", checked, checked, kBob, kAdmin), "");
  PlaceFacts other = checked;
  other.index = 43;
  EXPECT_EQ(WhyOf(HiveFileUnchanged, "NTUSER.DAT", checked, other, kBob, kAdmin),
            "NTUSER.DAT was replaced while it was loaded");
  other = checked;
  other.volume = 8;
  EXPECT_EQ(WhyOf(HiveFileUnchanged, "NTUSER.DAT", checked, other, kBob, kAdmin),
            "NTUSER.DAT was replaced while it was loaded");
  PlaceFacts linkedSince = checked;
  linkedSince.links = 2;
  EXPECT_EQ(WhyOf(HiveFileUnchanged, "NTUSER.DAT", checked, linkedSince, kBob, kAdmin),
            "NTUSER.DAT has 2 names");
}

TEST(HiveRulesTest, TheFoldersOnTheWayRunFromTheProfilesFolderDown) {
  EXPECT_THAT(FoldersOnTheWay("NTUSER.DAT"), ElementsAre(""));
  EXPECT_THAT(FoldersOnTheWay("AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"),
              ElementsAre("", "AppData", "AppData\\Local", "AppData\\Local\\Microsoft",
                          "AppData\\Local\\Microsoft\\Windows"));
}

// Only a copy as a run makes it is ever named for removal by the record a run left.
TEST(HiveRulesTest, ACopyLeftIsOnlyOneARunMakesInTheTempFolder) {
  const std::string temp = "C:\\Windows\\Temp";
  const std::string folder = temp + "\\TessalineClean-0123456789abcdef0123456789ABCDEF";
  const std::optional<CopyPlace> user = CopyPlaceOf(folder + "\\NTUSER.DAT", temp);
  ASSERT_TRUE(user.has_value());
  EXPECT_EQ(user->folder, folder);
  EXPECT_EQ(user->leaf, "NTUSER.DAT");
  EXPECT_EQ(CopyPlaceOf(folder + "\\usrclass.DAT", temp)->leaf, "UsrClass.dat");
  for (const std::string& other : std::vector<std::string>{
           folder + "/../../../Users\\bob\\NTUSER.DAT",  // a way out, however spelled
           temp + "\\TessalineClean-x/../../../bob\\NTUSER.DAT",
           folder + "\\..\\NTUSER.DAT",
           folder + "\\sub\\NTUSER.DAT",
           folder + "\\NTUSER.DAT.LOG1",  // the logs go with their hive, never on their own
           folder + "\\secret.txt",
           temp + "\\TessalineClean-0123456789abcdef0123456789abcde\\NTUSER.DAT",  // 31 digits
           temp + "\\TessalineClean-0123456789abcdef0123456789abcdeg\\NTUSER.DAT",
           temp + "\\Other-0123456789abcdef0123456789abcdef\\NTUSER.DAT",
           "D:\\Temp\\TessalineClean-0123456789abcdef0123456789abcdef\\NTUSER.DAT",
           "C:\\Users\\bob\\NTUSER.DAT",
       }) {
    EXPECT_FALSE(CopyPlaceOf(other, temp).has_value()) << other;
  }
  // No temp folder known, no copy.
  EXPECT_FALSE(
      CopyPlaceOf("\\TessalineClean-0123456789abcdef0123456789abcdef\\NTUSER.DAT", "").has_value());
}

TEST(HiveRulesTest, TheHiveListNamesUserHivesFilesByTheirNamesInAnyCase) {
  const HiveList list = HiveList::FromValues({
      Text(u"\\REGISTRY\\MACHINE\\SYSTEM", "\\Device\\HarddiskVolume2\\Windows\\System32\\SYSTEM"),
      Text(u"\\REGISTRY\\USER\\S-1-5-18", "\\Device\\HarddiskVolume2\\Windows\\DEFAULT"),
      Text(u"\\Registry\\User\\" + Utf8ToUtf16(kAs),
           "\\Device\\HarddiskVolume2\\Users\\bob\\NTUSER.DAT"),
      {u"\\REGISTRY\\USER\\Bad", kRegDword, {1, 0, 0, 0}},
  });
  EXPECT_TRUE(list.ListsUserHives());
  ASSERT_NE(list.FileOf(AsciiUpper(kAs)), nullptr);
  EXPECT_EQ(*list.FileOf(kAs), "\\Device\\HarddiskVolume2\\Users\\bob\\NTUSER.DAT");
  EXPECT_EQ(list.FileOf("SYSTEM"), nullptr);
  EXPECT_EQ(list.FileOf("Bad"), nullptr);
  EXPECT_EQ(list.FileOf(kFixedName), nullptr);
  // Wine keeps the list empty, and a machine's hives alone list no user's.
  EXPECT_FALSE(HiveList::FromValues({}).ListsUserHives());
  EXPECT_FALSE(HiveList::FromValues({Text(u"\\REGISTRY\\MACHINE\\SAM", "x")}).ListsUserHives());
}

TEST(HiveRulesTest, TheHiveListIsReadFromTheRegistry) {
  MemoryRegistry store;
  EXPECT_FALSE(HiveList::Read(store).ListsUserHives());
  store.SeedValue(kHkeyLocalMachine, kHiveList, Text(u"\\REGISTRY\\USER\\x", "\\Device\\y"));
  const HiveList list = HiveList::Read(store);
  ASSERT_NE(list.FileOf("X"), nullptr);
  EXPECT_EQ(*list.FileOf("X"), "\\Device\\y");
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}

// The store, with the options each key was made with.
class OptionsStore : public MemoryRegistry {
 public:
  RegStatus CreateKey(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                      std::uint32_t access, RegHandle* result, bool* created) override {
    createOptions.push_back(options);
    return MemoryRegistry::CreateKey(base, subKey, options, access, result, created);
  }
  std::vector<std::uint32_t> createOptions;
};

class MountJournalTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(store.OpenHandleCount(), 0u); }

  OptionsStore store;
  MountJournal journal{store};
};

TEST_F(MountJournalTest, ARecordIsReadBackAndTheJournalGoesWithItsLastRecord) {
  ASSERT_EQ(journal.Record({kAs, "C:\\Users\\bob\\NTUSER.DAT", "12-345"}), kErrorSuccess);
  ASSERT_EQ(journal.Record({"TessalineClean-x-classes", "C:\\c.dat", "13-1"}), kErrorSuccess);
  // Kept in memory only, so that a restart takes it with the hives it records.
  EXPECT_THAT(store.createOptions, ElementsAre(kRegOptionVolatile, kRegOptionVolatile));
  const std::vector<MountJournal::Entry> entries = journal.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, kAs);
  EXPECT_EQ(entries[0].file, "C:\\Users\\bob\\NTUSER.DAT");
  EXPECT_EQ(entries[0].run, "12-345");
  journal.Drop(kAs);
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, kJournal));
  journal.Drop("TessalineClean-x-classes");
  EXPECT_THAT(journal.Entries(), IsEmpty());
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, "SOFTWARE\\TessalineClean"));
}

TEST_F(MountJournalTest, AnotherRunsRecordOfTheNameStaysAsItWas) {
  ASSERT_EQ(journal.Record({kAs, "C:\\a", "1-1"}), kErrorSuccess);
  EXPECT_EQ(journal.Record({kAs, "C:\\b", "2-2"}), kErrorAlreadyExists);
  ASSERT_EQ(journal.Entries().size(), 1u);
  EXPECT_EQ(journal.Entries()[0].run, "1-1");
  EXPECT_EQ(journal.Entries()[0].file, "C:\\a");
}

TEST_F(MountJournalTest, TheProgramsKeyStaysWhileItHoldsAnythingElse) {
  store.SeedValue(kHkeyLocalMachine, "SOFTWARE\\TessalineClean", Text(u"Installed", "1"));
  ASSERT_EQ(journal.Record({kAs, "C:\\a", "1-1"}), kErrorSuccess);
  journal.Drop(kAs);
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, kJournal));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, "SOFTWARE\\TessalineClean"));
}

// A platform whose answers each case chooses, and which writes down what it was asked. A hive it
// loads appears under HKEY_USERS as a key holding a value; unloading it takes the key away.
class FakePlatform : public HivePlatform {
 public:
  explicit FakePlatform(MemoryRegistry& store) : store_(store) {}

  std::string Expand(const std::string& value) override { return value; }

  class Held : public HeldHive {
   public:
    Held(FakePlatform& platform, std::string path) : platform_(platform), path_(std::move(path)) {}
    ~Held() override { platform_.calls.push_back("release " + path_); }
    const std::string& Path() const override { return path_; }
    bool Unchanged(const std::string* listed, std::string* why) override {
      platform_.calls.push_back("changed? " + (listed ? *listed : std::string("(unlisted)")));
      if (platform_.changedFails) {
        throw std::runtime_error("the check failed unexpectedly");
      }
      *why = platform_.changed;
      return why->empty();
    }

   private:
    FakePlatform& platform_;
    std::string path_;
  };

  // The parts queued, one a call; then the test machine's random source, as the platform's.
  std::string Unpredictable() override {
    if (!parts.empty()) {
      const std::string part = parts.front();
      parts.pop_front();
      return part;
    }
    std::random_device source;
    std::string part;
    while (part.size() < kUnpredictableDigits) {
      part += "0123456789abcdef"[source() % 16];
    }
    return part;
  }
  bool MayLoadHives() override { return mayLoad; }
  std::string NewCopyPlace(const HiveFile& file) override {
    return "C:\\Temp\\copy\\" + file.relative;
  }
  std::unique_ptr<HeldHive> Hold(const HiveFile& file, const std::string& copyPlace,
                                 HiveLoading* loading, std::string* why) override {
    const bool copy = !copyPlace.empty();
    MountJournal journal(store_);
    const bool recorded =
        !journal.Entries().empty() &&
        journal.Entries()[0].file == (copy ? copyPlace : file.folder + "\\" + file.relative);
    calls.push_back("hold " + file.relative + (copy ? " copy" : "") +
                    (recorded ? " (recorded)" : " (unrecorded)"));
    if (!holdRefusal.empty()) {
      *loading = holdOutcome;
      *why = holdRefusal;
      return nullptr;
    }
    return std::make_unique<Held>(*this, copy ? copyPlace : file.folder + "\\" + file.relative);
  }
  RegStatus LoadHive(const std::string& as, const std::string& file) override {
    MountJournal journal(store_);
    const bool recorded = !journal.Entries().empty() && journal.Entries()[0].name == as;
    calls.push_back("load " + as + " " + file + (recorded ? " (recorded)" : " (unrecorded)"));
    if (loadStatus == kErrorSuccess || leavesKey) {
      store_.SeedKey(kHkeyUsers, as);
    }
    if (loadStatus == kErrorSuccess) {
      Mount(as);
    }
    return loadStatus;
  }
  RegStatus UnloadHive(const std::string& as) override {
    calls.push_back("unload " + as);
    RegStatus status = kErrorSuccess;
    if (!unloadStatuses.empty()) {
      status = unloadStatuses.front();
      unloadStatuses.pop_front();
    }
    if (status == kErrorSuccess) {
      RegHandle key = kNoHandle;
      EXPECT_EQ(store_.OpenKeyW(kHkeyUsers, Utf8ToUtf16(as), 0, kDelete, &key), kErrorSuccess);
      store_.DeleteOpenKey(key);
      store_.CloseKey(key);
    }
    return status;
  }
  void RemoveCopyLeft(const std::string& file) override { calls.push_back("remove copy " + file); }
  void Pause() override { ++pauses; }
  std::string RunName() override { return runName; }
  bool RunGoing(const std::string& run) override { return run == runName || run == goingRun; }

  // A hive loaded as that name: a key of it, holding a value.
  void Mount(const std::string& as) { store_.SeedValue(kHkeyUsers, as, Text(u"x", "y")); }

  std::deque<std::string> parts;
  std::string runName = "9-99";
  bool mayLoad = true;
  std::string holdRefusal;
  HiveLoading holdOutcome = HiveLoading::kRefused;
  RegStatus loadStatus = kErrorSuccess;
  bool leavesKey = false;  // a failed load leaves an empty key of the name, as Wine's does
  std::deque<RegStatus> unloadStatuses;
  std::string changed;
  bool changedFails = false;
  std::string goingRun;
  std::vector<std::string> calls;
  int pauses = 0;

 private:
  MemoryRegistry& store_;
};

class HiveMountsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    mounts.reset();
    EXPECT_EQ(store.OpenHandleCount(), 0u);
  }

  HiveLoading LoadBob(bool copy = false) {
    return mounts->Load({"C:\\Users\\bob", "NTUSER.DAT", kBob}, copy, kAs, &why);
  }
  std::vector<std::string> Recorded() {
    std::vector<std::string> names;
    for (const MountJournal::Entry& entry : MountJournal(store).Entries()) {
      names.push_back(entry.name + " " + entry.run);
    }
    return names;
  }
  bool Mounted(const std::string& as) const { return store.KeyExists(kHkeyUsers, as); }

  MemoryRegistry store;
  FakePlatform platform{store};
  std::unique_ptr<HiveMounts> mounts = std::make_unique<HiveMounts>(store, platform);
  std::string why;
};

TEST_F(HiveMountsTest, AHiveIsRecordedBeforeItIsLoadedAndForgottenOnceUnloaded) {
  ASSERT_EQ(LoadBob(), HiveLoading::kLoaded) << why;
  EXPECT_THAT(Recorded(), ElementsAre(std::string(kAs) + " 9-99"));
  ASSERT_TRUE(mounts->Unload(kAs, &why)) << why;
  EXPECT_THAT(platform.calls,
              ElementsAre("hold NTUSER.DAT (recorded)",
                          std::string("load ") + kAs + " C:\\Users\\bob\\NTUSER.DAT (recorded)",
                          "changed? (unlisted)", std::string("unload ") + kAs,
                          "release C:\\Users\\bob\\NTUSER.DAT"));
  EXPECT_THAT(Recorded(), IsEmpty());
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, "SOFTWARE\\TessalineClean"));
  EXPECT_FALSE(Mounted(kAs));
}

// The copy's place is recorded before the copy is made, so a check killed at any moment leaves
// nothing the next run's sweep cannot find.
TEST_F(HiveMountsTest, ACheckLoadsThePrivateCopy) {
  ASSERT_EQ(LoadBob(true), HiveLoading::kLoaded) << why;
  EXPECT_EQ(platform.calls[0], "hold NTUSER.DAT copy (recorded)");
  EXPECT_EQ(platform.calls[1],
            std::string("load ") + kAs + " C:\\Temp\\copy\\NTUSER.DAT (recorded)");
  ASSERT_TRUE(mounts->Unload(kAs, &why));
  EXPECT_EQ(platform.calls.back(), "release C:\\Temp\\copy\\NTUSER.DAT");
}

TEST_F(HiveMountsTest, WithoutThePrivilegesNothingIsCheckedRecordedOrLoaded) {
  platform.mayLoad = false;
  EXPECT_EQ(LoadBob(), HiveLoading::kRefused);
  EXPECT_EQ(why, kHivePrivilegesMissing);
  EXPECT_THAT(platform.calls, IsEmpty());
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, AFailedLoadLeavesNoRecordNoKeyAndNothingHeld) {
  const struct {
    RegStatus status;
    HiveLoading outcome;
    std::string why;
  } cases[] = {
      {32, HiveLoading::kInUse, "the platform holds it (error 32)"},
      {1300, HiveLoading::kRefused, kHivePrivilegesMissing},
      {1314, HiveLoading::kRefused, kHivePrivilegesMissing},
      {1017, HiveLoading::kRefused, "the platform refused to load it (error 1017)"},
  };
  for (const auto& failure : cases) {
    platform.calls.clear();
    platform.loadStatus = failure.status;
    platform.leavesKey = true;
    EXPECT_EQ(LoadBob(), failure.outcome) << failure.status;
    EXPECT_EQ(why, failure.why);
    EXPECT_EQ(platform.calls.back(), "release C:\\Users\\bob\\NTUSER.DAT") << failure.status;
    EXPECT_THAT(Recorded(), IsEmpty());
    EXPECT_FALSE(Mounted(kAs)) << failure.status;
  }
}

TEST_F(HiveMountsTest, AKeyAnotherRunLoadedMeanwhileStays) {
  // Another run loaded the name between the look and the load: its hive is its own.
  platform.loadStatus = kErrorAlreadyExists;
  platform.leavesKey = true;
  EXPECT_EQ(LoadBob(), HiveLoading::kRefused);
  EXPECT_TRUE(Mounted(kAs));
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, ATakenNameIsNeitherLoadedNorRecorded) {
  platform.Mount(kAs);
  EXPECT_EQ(LoadBob(), HiveLoading::kTaken);
  EXPECT_EQ(why, std::string("HKEY_USERS\\") + kAs + " is taken: another run may have it loaded");
  EXPECT_THAT(platform.calls, IsEmpty());
  EXPECT_THAT(Recorded(), IsEmpty());
  EXPECT_TRUE(Mounted(kAs));
}

TEST_F(HiveMountsTest, ANameAnotherRunRecordedKeepsItsRecord) {
  ASSERT_EQ(MountJournal(store).Record({kAs, "C:\\x", "5-5"}), kErrorSuccess);
  EXPECT_EQ(LoadBob(), HiveLoading::kTaken);
  EXPECT_THAT(why, ::testing::HasSubstr("is taken"));
  EXPECT_THAT(Recorded(), ElementsAre(std::string(kAs) + " 5-5"));
  EXPECT_THAT(platform.calls, IsEmpty());
}

TEST_F(HiveMountsTest, OnlyThisProgramsNamesAreLoaded) {
  // A name anybody could know beforehand among them: the one an earlier version gave.
  for (const std::string& name : {std::string(kBob), std::string(kFixedName),
                                  std::string(kAs).substr(0, std::string(kAs).size() - 1)}) {
    EXPECT_EQ(mounts->Load({"C:\\Users\\bob", "NTUSER.DAT", kBob}, false, name, &why),
              HiveLoading::kRefused);
    EXPECT_EQ(why, "HKEY_USERS\\" + name + " is no name of this program's to load a hive as");
  }
  EXPECT_THAT(platform.calls, IsEmpty());
  EXPECT_THAT(Recorded(), IsEmpty());
}

// Nobody can know a mount's name before it is mounted: each run names each mount anew, with the
// platform's random part in it, and the profile's SID alone tells nothing of it.
TEST_F(HiveMountsTest, EachMountsNameIsNewAndHoldsThePlatformsRandomPart) {
  platform.parts = {kPart};
  EXPECT_EQ(mounts->NewMountName(kBob, HiveKind::kUser), kAs);
  const std::string classes = mounts->NewMountName(kBob, HiveKind::kClasses);
  EXPECT_TRUE(HasUnpredictablePart(classes)) << classes;
  EXPECT_NE(mounts->NewMountName(kBob, HiveKind::kUser), kAs);
  // The name given is the one loaded, recorded and unloaded.
  const std::string as = mounts->NewMountName(kBob, HiveKind::kUser);
  ASSERT_EQ(mounts->Load({"C:\\Users\\bob", "NTUSER.DAT", kBob}, false, as, &why),
            HiveLoading::kLoaded)
      << why;
  EXPECT_TRUE(Mounted(as));
  EXPECT_THAT(Recorded(), ElementsAre(as + " 9-99"));
  ASSERT_TRUE(mounts->Unload(as, &why)) << why;
  EXPECT_FALSE(Mounted(as));
}

TEST_F(HiveMountsTest, AFileThatIsNotThereOrNotToLoadIsPassedOnAsTheCheckFoundIt) {
  platform.holdRefusal = "AppData\\Local is a link or junction";
  EXPECT_EQ(LoadBob(), HiveLoading::kRefused);
  EXPECT_EQ(why, "AppData\\Local is a link or junction");
  platform.holdOutcome = HiveLoading::kMissing;
  EXPECT_EQ(LoadBob(), HiveLoading::kMissing);
  EXPECT_THAT(platform.calls,
              ElementsAre("hold NTUSER.DAT (recorded)", "hold NTUSER.DAT (recorded)"));
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, AHiveThatIsNotTheFileCheckedIsUnloadedAtOnce) {
  platform.changed = "NTUSER.DAT was replaced while it was loaded";
  EXPECT_EQ(LoadBob(), HiveLoading::kRefused);
  EXPECT_EQ(why, "NTUSER.DAT was replaced while it was loaded");
  EXPECT_EQ(platform.calls[3], std::string("unload ") + kAs);
  EXPECT_FALSE(Mounted(kAs));
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, WhereThePlatformListsItsHivesTheListMustNameTheFile) {
  store.SeedValue(kHkeyLocalMachine, kHiveList,
                  Text(u"\\REGISTRY\\USER\\S-1-5-18", "\\Device\\HarddiskVolume2\\x"));
  EXPECT_EQ(LoadBob(), HiveLoading::kRefused);
  EXPECT_EQ(why, std::string("the platform does not list HKEY_USERS\\") + kAs +
                     " among the hives it loaded");
  EXPECT_FALSE(Mounted(kAs));

  store.SeedValue(
      kHkeyLocalMachine, kHiveList,
      Text(Utf8ToUtf16(std::string("\\REGISTRY\\USER\\") + kAs), "\\Device\\V\\NTUSER.DAT"));
  platform.calls.clear();
  ASSERT_EQ(LoadBob(), HiveLoading::kLoaded);
  EXPECT_EQ(platform.calls[2], "changed? \\Device\\V\\NTUSER.DAT");
}

TEST_F(HiveMountsTest, AnUnloadRefusedWhileAKeyIsOpenIsTriedAgainAFewTimes) {
  ASSERT_EQ(LoadBob(), HiveLoading::kLoaded);
  platform.unloadStatuses = {kErrorAccessDenied, kErrorAccessDenied};
  EXPECT_TRUE(mounts->Unload(kAs, &why));
  EXPECT_EQ(platform.pauses, 2);
  EXPECT_FALSE(Mounted(kAs));
}

TEST_F(HiveMountsTest, AHiveThatStaysLoadedIsNamedKeptAndTriedOnceMoreAtTheEnd) {
  ASSERT_EQ(LoadBob(), HiveLoading::kLoaded);
  platform.unloadStatuses.assign(6, kErrorAccessDenied);
  EXPECT_FALSE(mounts->Unload(kAs, &why));
  EXPECT_EQ(why, std::string("the platform would not unload HKEY_USERS\\") + kAs +
                     " (error 5), a key of it being open; the next run unloads it");
  EXPECT_EQ(platform.pauses, 5);
  // Still held, and recorded for the next run.
  EXPECT_EQ(platform.calls.back(), std::string("unload ") + kAs);
  EXPECT_THAT(Recorded(), ElementsAre(std::string(kAs) + " 9-99"));
  mounts.reset();
  EXPECT_EQ(platform.calls.back(), "release C:\\Users\\bob\\NTUSER.DAT");
  EXPECT_FALSE(Mounted(kAs));
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, WhatThisRunDidNotLoadIsNeverUnloaded) {
  platform.Mount(kAs);
  EXPECT_FALSE(mounts->Unload(kAs, &why));
  EXPECT_EQ(why, std::string("HKEY_USERS\\") + kAs + " was not loaded by this run");
  EXPECT_THAT(platform.calls, IsEmpty());
  EXPECT_TRUE(Mounted(kAs));
}

TEST_F(HiveMountsTest, AHiveLeftLoadedWhenTheRunEndsIsUnloaded) {
  ASSERT_EQ(LoadBob(), HiveLoading::kLoaded);
  mounts.reset();
  EXPECT_FALSE(Mounted(kAs));
  EXPECT_THAT(Recorded(), IsEmpty());
  EXPECT_EQ(platform.calls.back(), "release C:\\Users\\bob\\NTUSER.DAT");
}

TEST_F(HiveMountsTest, AHiveWhoseCheckFailsUnexpectedlyIsUnloadedAllTheSame) {
  platform.changedFails = true;
  EXPECT_THROW(LoadBob(), std::runtime_error);
  mounts.reset();
  EXPECT_FALSE(Mounted(kAs));
  EXPECT_THAT(Recorded(), IsEmpty());
  EXPECT_EQ(platform.calls.back(), "release C:\\Users\\bob\\NTUSER.DAT");
}

// The names are as an earlier version gave them: its records are swept all the same.
TEST_F(HiveMountsTest, TheSweepUnloadsOnlyRecordedHivesOfRunsThatEnded) {
  MountJournal journal(store);
  const std::string killed = "TessalineClean-S-1-5-21-1-2-3-1001-user";
  const std::string unrecorded = "TessalineClean-S-1-5-21-1-2-3-1002-user";
  const std::string gone = "TessalineClean-S-1-5-21-1-2-3-1003-classes";
  const std::string going = "TessalineClean-S-1-5-21-1-2-3-1004-user";
  const std::string users = "S-1-5-21-1-2-3-1005";
  for (const std::string& name : {killed, unrecorded, going, users}) {
    platform.Mount(name);
  }
  for (const std::string& name : {killed, gone, going, users}) {
    ASSERT_EQ(journal.Record({name, "C:\\" + name, name == going ? "4-4" : "3-3"}), kErrorSuccess);
  }
  platform.goingRun = "4-4";
  EXPECT_THAT(mounts->Sweep(), ElementsAre(killed));
  // What is left of the copies of the ended runs' hives goes once they are unloaded; a going
  // run's, and a file recorded for a name that is no run's, stay.
  EXPECT_THAT(platform.calls, ElementsAre("unload " + killed, "remove copy C:\\" + killed,
                                          "remove copy C:\\" + gone));
  EXPECT_FALSE(Mounted(killed));
  for (const std::string& name : {unrecorded, going, users}) {
    EXPECT_TRUE(Mounted(name)) << name;
  }
  // The records of what is gone, or was never this program's, go too; a going run's stays.
  EXPECT_THAT(Recorded(), ElementsAre(going + " 4-4"));
}

// A run killed as it dropped its last record leaves the journal's keys empty: the next sweep
// takes them.
TEST_F(HiveMountsTest, TheSweepRemovesTheJournalsKeysLeftEmpty) {
  store.SeedKey(kHkeyLocalMachine, kJournal);
  EXPECT_THAT(mounts->Sweep(), IsEmpty());
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, "SOFTWARE\\TessalineClean"));
}

TEST_F(HiveMountsTest, WhereThePlatformListsItsHivesTheSweepUnloadsOnlyListedOnes) {
  const std::string listed = "TessalineClean-S-1-5-21-1-2-3-1001-user";
  const std::string plain = "TessalineClean-S-1-5-21-1-2-3-1001-classes";
  MountJournal journal(store);
  for (const std::string& name : {listed, plain}) {
    platform.Mount(name);
    ASSERT_EQ(journal.Record({name, "C:\\f", "3-3"}), kErrorSuccess);
  }
  store.SeedValue(kHkeyLocalMachine, kHiveList,
                  Text(Utf8ToUtf16("\\REGISTRY\\USER\\" + listed), "\\Device\\V\\NTUSER.DAT"));
  EXPECT_THAT(mounts->Sweep(), ElementsAre(listed));
  EXPECT_TRUE(Mounted(plain));
  EXPECT_THAT(Recorded(), IsEmpty());
}

TEST_F(HiveMountsTest, WithoutThePrivilegesTheSweepLeavesLeftoversForARunThatHasThem) {
  platform.Mount(kAs);
  ASSERT_EQ(MountJournal(store).Record({kAs, "C:\\f", "3-3"}), kErrorSuccess);
  platform.mayLoad = false;
  EXPECT_THAT(mounts->Sweep(), IsEmpty());
  EXPECT_TRUE(Mounted(kAs));
  EXPECT_THAT(Recorded(), ElementsAre(std::string(kAs) + " 3-3"));
}

TEST_F(HiveMountsTest, ALeftoverThatStaysLoadedIsNotReportedAndStaysRecorded) {
  platform.Mount(kAs);
  ASSERT_EQ(MountJournal(store).Record({kAs, "C:\\f", "3-3"}), kErrorSuccess);
  platform.unloadStatuses.assign(6, kErrorAccessDenied);
  EXPECT_THAT(mounts->Sweep(), IsEmpty());
  EXPECT_TRUE(Mounted(kAs));
  EXPECT_THAT(Recorded(), ElementsAre(std::string(kAs) + " 3-3"));
}

TEST_F(HiveMountsTest, TheSweepUnloadsARecordedMountWhoseNameItCouldNotMake) {
  const HiveFile bob{"C:\\Users\\bob", "NTUSER.DAT", kBob};
  std::string left;
  {
    FakePlatform killedPlatform(store);
    killedPlatform.runName = "3-3";
    HiveMounts killed(store, killedPlatform);
    left = killed.NewMountName(kBob, HiveKind::kUser);
    ASSERT_EQ(killed.Load(bob, false, left, &why), HiveLoading::kLoaded) << why;
    // Its unloads refused until it ends: it leaves the hive loaded and recorded, as a run killed
    // does.
    killedPlatform.unloadStatuses.assign(6, kErrorAccessDenied);
  }
  ASSERT_TRUE(Mounted(left));
  ASSERT_THAT(Recorded(), ElementsAre(left + " 3-3"));
  // This run's own names for the same hive are others.
  for (int again = 0; again < 4; ++again) {
    EXPECT_NE(mounts->NewMountName(kBob, HiveKind::kUser), left);
  }
  EXPECT_THAT(mounts->Sweep(), ElementsAre(left));
  EXPECT_THAT(platform.calls,
              ElementsAre("unload " + left, "remove copy C:\\Users\\bob\\NTUSER.DAT"));
  EXPECT_FALSE(Mounted(left));
  EXPECT_THAT(Recorded(), IsEmpty());
}

}  // namespace
