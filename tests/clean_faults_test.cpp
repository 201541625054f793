// Runs that meet a failure: each stops or goes on exactly as designed, with no key left open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "CleanFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using Call = MemoryRegistry::Call;
using CleanFaultsTest = CleanFixture;

std::string Usage(const std::string& entry) {
  return std::string(traces::kModuleUsage) + "\\" + entry;
}

TEST_F(CleanFaultsTest, TargetDeniedFullAccessStopsAtItsOpen) {
  SeedInstallation();
  store.SeedAccess(kHkeyClassesRoot, traces::kClsid, kKeyRead);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to Open CLSID"));
  EXPECT_THAT(window.log, ElementsAre("HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX"));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
  EXPECT_EQ(window.status, "");
}

TEST_F(CleanFaultsTest, TargetDeniedAllAccessCountsAsAbsent) {
  SeedInstallation();
  store.SeedAccess(kHkeyClassesRoot, traces::kProgId, 0);
  Run();
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.log.size(), 6u);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, traces::kProgId));
  EXPECT_EQ(window.status, "Done!");
}

TEST_F(CleanFaultsTest, UndeletableSubkeyFailsTheNamedKeysDelete) {
  SeedInstallation();
  store.SeedAccess(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib", kKeyRead);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to delte CLSID"));
  EXPECT_THAT(window.log, ElementsAre("HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX"));
  // The rest below the key went; the locked subkey keeps its parent.
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib"));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\InprocServer32"));
  EXPECT_FALSE(
      store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\Implemented Categories"));
}

TEST_F(CleanFaultsTest, FailedDeleteOfEachTargetShowsItsOwnText) {
  const struct {
    RegHandle root;
    const char* path;
    const char* text;
  } cases[] = {
      {kHkeyClassesRoot, traces::kProgId, "It failed to delte ActiveFormProj1.ActiveFormX"},
      {kHkeyClassesRoot, traces::kClsid, "It failed to delte CLSID"},
      {kHkeyCurrentUser, traces::kStats, "It failed to delte Ext Stats"},
      {kHkeyLocalMachine, traces::kDistributionUnit,
       "It failed to delte Distribution Unit in Local Machine"},
  };
  for (const auto& c : cases) {
    MemoryRegistry fresh;
    RecordingWindow freshWindow;
    fresh.SeedKey(c.root, c.path);
    fresh.FailCall(Call::Delete, c.root, c.path, kErrorAccessDenied);
    RunCleanInWindow(fresh, freshWindow);
    EXPECT_THAT(freshWindow.notices, ElementsAre(c.text));
    EXPECT_THAT(freshWindow.log, IsEmpty());
    EXPECT_EQ(fresh.OpenHandleCount(), 0u);
  }
}

TEST_F(CleanFaultsTest, EnumerationFailingInsideATreeLeavesThatSubkeyAndFailsTheKey) {
  for (const char* sub : {"a", "b", "c", "d", "e"}) {
    store.SeedKey(kHkeyLocalMachine, std::string(traces::kDistributionUnit) + "\\" + sub);
  }
  store.FailCall(Call::Enum, kHkeyLocalMachine, traces::kDistributionUnit, kErrorAccessDenied, 2);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to delte Distribution Unit in Local Machine"));
  for (const char* sub : {"a", "b", "d", "e"}) {
    EXPECT_FALSE(
        store.KeyExists(kHkeyLocalMachine, std::string(traces::kDistributionUnit) + "\\" + sub));
  }
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, std::string(traces::kDistributionUnit) + "\\c"));
}

// "Done!" holds against a fresh listing: an entry one listing missed, or one an installer wrote
// after it, goes in the next; an installer that never stops cannot keep the run going for ever.
TEST_F(CleanFaultsTest, EntriesALaterListingFindsGoTooWithinABound) {
  for (const char* entry :
       {"1 TessalineWeb_EN.ocx", "2 TessalineWeb_EN.ocx", "3 other.ocx", "4 TessalineWeb_EN.ocx"}) {
    AddModuleUsage(entry);
  }
  store.FailCall(Call::Enum, kHkeyLocalMachine, traces::kModuleUsage, kErrorAccessDenied, 1);
  Run();
  EXPECT_THAT(window.log, ElementsAre("HKEY_LOCAL_MACHINE", "\\" + Usage("1 TessalineWeb_EN.ocx"),
                                      "HKEY_LOCAL_MACHINE", "\\" + Usage("4 TessalineWeb_EN.ocx"),
                                      "HKEY_LOCAL_MACHINE", "\\" + Usage("2 TessalineWeb_EN.ocx")));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, Usage("3 other.ocx")));
  EXPECT_EQ(window.status, "Done!");

  // An installer writes an entry after the listing, while the first entry is deleted, then one
  // each time an entry goes.
  for (const int written : {1, 1000}) {
    MemoryRegistry fresh;
    AddModuleUsage(fresh, "first TessalineWeb_EN.ocx");
    int next = 0;
    fresh.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (site.call == Call::Delete && next < written) {
        AddModuleUsage(fresh, std::to_string(next++) + " TessalineWeb_EN.ocx");
      }
      return std::nullopt;
    });
    RecordingWindow late;
    RunCleanInWindow(fresh, late);
    if (written == 1) {
      EXPECT_THAT(late.log,
                  ElementsAre("HKEY_LOCAL_MACHINE", "\\" + Usage("first TessalineWeb_EN.ocx"),
                              "HKEY_LOCAL_MACHINE", "\\" + Usage("0 TessalineWeb_EN.ocx")));
      EXPECT_EQ(late.status, "Done!");
    } else {
      EXPECT_THAT(late.notices, ElementsAre("It failed to Delete Sub Module usage"));
      EXPECT_EQ(late.status, "");
    }
    EXPECT_EQ(fresh.OpenHandleCount(), 0u);
  }
}

TEST_F(CleanFaultsTest, EntryVanishingAfterTheListingStopsAtItsOpen) {
  for (const char* entry :
       {"a TessalineWeb_EN.ocx", "b TessalineWeb_EN.ocx", "c TessalineWeb_EN.ocx"}) {
    AddModuleUsage(entry);
  }
  // Someone else removes the second entry while the first is being deleted.
  store.SetHook([this](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == Call::Delete && site.keyPath.find("a Tessaline") != std::string::npos) {
      RegHandle entry = kNoHandle;
      store.OpenKey(kHkeyLocalMachine, Usage("b TessalineWeb_EN.ocx").c_str(), 0, kKeyAllAccess,
                    &entry);
      store.DeleteOpenKey(entry);
      store.CloseKey(entry);
    }
    return std::nullopt;
  });
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to open Sub Module usage"));
  EXPECT_THAT(window.log, ElementsAre("HKEY_LOCAL_MACHINE", "\\" + Usage("a TessalineWeb_EN.ocx")));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, Usage("c TessalineWeb_EN.ocx")));
  EXPECT_EQ(window.status, "");
}

TEST_F(CleanFaultsTest, ModuleUsageFailuresShowTheirTexts) {
  AddModuleUsage("TessalineWeb_EN.ocx");
  store.SeedAccess(kHkeyLocalMachine, traces::kModuleUsage, kKeyRead);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to Open Module Usage in Local Machine"));

  store.SeedAccess(kHkeyLocalMachine, traces::kModuleUsage, kKeyAllAccess);
  store.SeedAccess(kHkeyLocalMachine, Usage("TessalineWeb_EN.ocx"), kKeyRead);
  window.notices.clear();
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to open Sub Module usage"));

  store.SeedAccess(kHkeyLocalMachine, Usage("TessalineWeb_EN.ocx"), kKeyAllAccess);
  store.FailCall(Call::Delete, kHkeyLocalMachine, Usage("TessalineWeb_EN.ocx"), kErrorAccessDenied);
  window.notices.clear();
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to Delete Sub Module usage"));
  EXPECT_THAT(window.log, IsEmpty());
  EXPECT_EQ(window.status, "");
}

// Faults at the open, key-information and close calls: each has the effect the rules give it.
TEST_F(CleanFaultsTest, FailedProbeCountsTheTargetAbsent) {
  SeedInstallation();
  store.FailCall(Call::Open, kHkeyClassesRoot, traces::kClsid, kErrorAccessDenied);
  Run();
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.log.size(), 6u);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_EQ(window.status, "Done!");
}

TEST_F(CleanFaultsTest, OpenFailingAfterTheProbeStopsWithTheOpenText) {
  SeedInstallation();
  int opens = 0;
  store.SetHook([&opens](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    const bool clsid = site.keyPath == std::string("HKEY_CLASSES_ROOT\\") + traces::kClsid;
    if (site.call == Call::Open && clsid && ++opens == 2) {
      return kErrorAccessDenied;
    }
    return std::nullopt;
  });
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to Open CLSID"));
  EXPECT_THAT(window.log, ElementsAre("HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX"));
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib"));
}

TEST_F(CleanFaultsTest, SubkeyThatCannotBeOpenedStaysAndFailsTheTarget) {
  SeedInstallation();
  store.FailCall(Call::Open, kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib",
                 kErrorAccessDenied);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to delte CLSID"));
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib"));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\InprocServer32"));
}

// A list that opens but cannot be listed whole may hold the control's entries: no "Done!".
TEST_F(CleanFaultsTest, AListThatCannotBeListedWholeStopsTheRun) {
  for (const Call call : {Call::Query, Call::Enum}) {
    MemoryRegistry fresh;
    RecordingWindow freshWindow;
    AddModuleUsage(fresh, "C:/a/TessalineWeb_EN.ocx");
    fresh.FailCall(call, kHkeyLocalMachine, traces::kModuleUsage, kErrorAccessDenied);
    RunCleanInWindow(fresh, freshWindow);
    EXPECT_THAT(freshWindow.notices,
                ElementsAre("It failed to Open Module Usage in Local Machine"));
    EXPECT_THAT(freshWindow.log, IsEmpty());
    EXPECT_TRUE(fresh.KeyExists(kHkeyLocalMachine, Usage("C:/a/TessalineWeb_EN.ocx")));
    EXPECT_EQ(freshWindow.status, "");
  }
}

TEST_F(CleanFaultsTest, FailedQueryInsideATreeKeepsThatKeysSubkeys) {
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kStats) + "\\iexplore\\AllowedDomains");
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kStats) + "\\leaf");
  store.FailCall(Call::Query, kHkeyCurrentUser, std::string(traces::kStats) + "\\iexplore",
                 kErrorAccessDenied);
  store.FailCall(Call::Query, kHkeyCurrentUser, std::string(traces::kStats) + "\\leaf",
                 kErrorAccessDenied);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to delte Ext Stats"));
  // A key whose figures cannot be read is still deleted when it has no subkeys.
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, std::string(traces::kStats) + "\\leaf"));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser,
                              std::string(traces::kStats) + "\\iexplore\\AllowedDomains"));
}

TEST_F(CleanFaultsTest, FailedClosesChangeNothing) {
  SeedInstallation();
  AddModuleUsage("C:/a/TessalineWeb_EN.ocx");
  store.SetHook([](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    return site.call == Call::Close ? std::optional<RegStatus>(kErrorInvalidHandle) : std::nullopt;
  });
  Run();
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.log.size(), 10u);
  EXPECT_EQ(window.status, "Done!");
  for (const auto& [root, path] : {std::make_pair(kHkeyClassesRoot, traces::kProgId),
                                   std::make_pair(kHkeyClassesRoot, traces::kClsid),
                                   std::make_pair(kHkeyCurrentUser, traces::kStats),
                                   std::make_pair(kHkeyLocalMachine, traces::kDistributionUnit)}) {
    EXPECT_FALSE(store.KeyExists(root, path)) << path;
  }
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, Usage("C:/a/TessalineWeb_EN.ocx")));
}

}  // namespace
