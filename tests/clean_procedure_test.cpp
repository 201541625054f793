// What one press of "Clean" deletes, logs and reports, against the in-memory store.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "CleanFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr const char* kEntryPrefix =
    "\\software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage\\";

using CleanProcedureTest = CleanFixture;

TEST_F(CleanProcedureTest, CleanMachineLogsNothingAndSaysDone) {
  AddModuleUsage("C:/Windows/System32/other.ocx");
  const auto before = store.AllKeys();
  Run();
  EXPECT_THAT(window.log, IsEmpty());
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");
  EXPECT_EQ(store.AllKeys(), before);
}

TEST_F(CleanProcedureTest, MissingModuleUsageKeySkipsTheSweep) {
  Run();
  EXPECT_THAT(window.log, IsEmpty());
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");
}

TEST_F(CleanProcedureTest, OnlyTheStatisticsKeyPresent) {
  store.SeedKey(kHkeyCurrentUser, traces::kStats);
  Run();
  EXPECT_THAT(window.log, ElementsAre("HKEY_CURRENT_USER",
                                      "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
                                      "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}"));
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
  EXPECT_EQ(window.status, "Done!");
}

TEST_F(CleanProcedureTest, FullInstallationIsRemovedWholeAndNothingElse) {
  SeedInstallation();
  AddModuleUsage("c:/windows/downloaded program files/tessalineweb_en.ocx");
  AddModuleUsage("C:/Windows/Downloaded Program Files/TessalineWeb.ocx");
  AddModuleUsage("D:/Program Files/TESSALINEWEB_EN.OCX");
  AddModuleUsage("C:/Windows/Downloaded Program Files/TessalineWeb_EN.ocx.bak\\Owner");
  AddModuleUsage("C:/Windows/System32/TessalineWeb-EN.ocx");
  AddModuleUsage("C:/Windows/System32/mscomctl.ocx");
  // Neighbours of every target, which must stay.
  store.SeedKey(kHkeyClassesRoot, "ActiveFormProj1.ActiveFormX2");
  store.SeedKey(kHkeyClassesRoot, "CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F65}");
  store.SeedKey(kHkeyCurrentUser, "software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\x");
  store.SeedKey(kHkeyLocalMachine,
                "software\\Microsoft\\Code Store Database\\Distribution Units\\{other}");
  const auto before = store.AllKeys();

  Run();

  // Entries are deleted in the store's order, each logged by its name as enumerated.
  EXPECT_THAT(
      window.log,
      ElementsAre(
          "HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX", "HKEY_CLASSES_ROOT",
          "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}", "HKEY_CURRENT_USER",
          Logged(traces::kStats), "HKEY_LOCAL_MACHINE", Logged(traces::kDistributionUnit),
          "HKEY_LOCAL_MACHINE",
          std::string(kEntryPrefix) + "c:/windows/downloaded program files/tessalineweb_en.ocx",
          "HKEY_LOCAL_MACHINE",
          std::string(kEntryPrefix) + "C:/Windows/Downloaded Program Files/TessalineWeb_EN.ocx.bak",
          "HKEY_LOCAL_MACHINE",
          std::string(kEntryPrefix) + "D:/Program Files/TESSALINEWEB_EN.OCX"));
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");

  const std::string usage = std::string("HKEY_LOCAL_MACHINE\\") + traces::kModuleUsage + "\\";
  const std::vector<std::string> goneTrees = {
      std::string("HKEY_CLASSES_ROOT\\") + traces::kProgId,
      std::string("HKEY_CLASSES_ROOT\\") + traces::kClsid,
      std::string("HKEY_CURRENT_USER\\") + traces::kStats,
      std::string("HKEY_LOCAL_MACHINE\\") + traces::kDistributionUnit,
      usage + "c:/windows/downloaded program files/tessalineweb_en.ocx",
      usage + "C:/Windows/Downloaded Program Files/TessalineWeb_EN.ocx.bak",
      usage + "D:/Program Files/TESSALINEWEB_EN.OCX"};
  std::vector<std::string> expectedGone;
  for (const std::string& key : before) {
    for (const std::string& tree : goneTrees) {
      if (key == tree || key.rfind(tree + "\\", 0) == 0) {
        expectedGone.push_back(key);
      }
    }
  }
  EXPECT_EQ(Removed(before), expectedGone);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) +
                                                     "\\C:/Windows/Downloaded Program Files/"
                                                     "TessalineWeb.ocx"));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) +
                                                     "\\C:/Windows/System32/TessalineWeb-EN.ocx"));
}

TEST_F(CleanProcedureTest, ReadableButLockedTargetStopsTheRunAndKeepsEarlierWork) {
  SeedInstallation();
  AddModuleUsage("tessalineweb_en.ocx");
  store.SeedAccess(kHkeyLocalMachine, traces::kDistributionUnit, kKeyRead);
  for (const char* statusBefore : {"", "Done!"}) {
    window.status = statusBefore;
    window.statusWrites = 0;
    window.notices.clear();
    Run();
    EXPECT_THAT(window.notices,
                ElementsAre("It failed to Open Distribution Unit in Local Machine"));
    EXPECT_EQ(window.status, statusBefore);
    EXPECT_EQ(window.statusWrites, 0);
    EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
    EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine,
                                std::string(traces::kModuleUsage) + "\\tessalineweb_en.ocx"));
  }
  // The second run found the first three targets gone, so its log is empty.
  EXPECT_THAT(window.log, IsEmpty());
}

TEST_F(CleanProcedureTest, StopKeepsTheLinesLoggedBeforeIt) {
  SeedInstallation();
  store.SeedAccess(kHkeyLocalMachine, traces::kDistributionUnit, kKeyRead);
  Run();
  EXPECT_THAT(window.log,
              ElementsAre("HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX", "HKEY_CLASSES_ROOT",
                          "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}", "HKEY_CURRENT_USER",
                          Logged(traces::kStats)));
}

// A standard user may read the list but not change it.
TEST_F(CleanProcedureTest, AListThatMayOnlyBeReadStopsTheRunOnlyWhenItNamesTheControl) {
  SeedInstallation();
  AddModuleUsage("C:/Windows/System32/other.ocx");
  AddModuleUsage("C:/Windows/System32/mscomctl.ocx");
  store.SeedAccess(kHkeyLocalMachine, traces::kModuleUsage, kKeyRead);
  Run();
  EXPECT_EQ(window.log.size(), 8u);
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");

  AddModuleUsage("C:/x/tessalineweb_en.ocx");
  Run();
  EXPECT_THAT(window.log, IsEmpty());
  EXPECT_THAT(window.notices, ElementsAre("It failed to Open Module Usage in Local Machine"));
  EXPECT_EQ(window.status, "Done!");  // from the first run: the stop wrote no status
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine,
                              std::string(traces::kModuleUsage) + "\\C:/x/tessalineweb_en.ocx"));

  // A list that cannot be read whole may hold the control's entry where it could not be read.
  for (MemoryRegistry::Call call : {MemoryRegistry::Call::Query, MemoryRegistry::Call::Enum}) {
    MemoryRegistry failing;
    SeedInstallation(failing);
    AddModuleUsage(failing, "C:/Windows/System32/other.ocx");
    failing.SeedAccess(kHkeyLocalMachine, traces::kModuleUsage, kKeyRead);
    failing.FailCall(call, kHkeyLocalMachine, traces::kModuleUsage, kErrorAccessDenied);
    RecordingWindow failed;
    RunCleanInWindow(failing, failed);
    EXPECT_THAT(failed.notices, ElementsAre("It failed to Open Module Usage in Local Machine"));
    EXPECT_EQ(failed.status, "");
  }
}

TEST_F(CleanProcedureTest, TheUsersOwnClassKeysGoEachJustBeforeTheMachines) {
  SeedInstallation();
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kUserProgId) + "\\CurVer");
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kUserClsid) + "\\InprocServer32");
  store.SeedKey(kHkeyCurrentUser, "Software\\Classes\\CLSID\\{other}");
  Run();
  EXPECT_THAT(
      window.log,
      ElementsAre("HKEY_CURRENT_USER", Logged(traces::kUserProgId), "HKEY_CLASSES_ROOT",
                  Logged(traces::kProgId), "HKEY_CURRENT_USER", Logged(traces::kUserClsid),
                  "HKEY_CLASSES_ROOT", Logged(traces::kClsid), "HKEY_CURRENT_USER",
                  Logged(traces::kStats), "HKEY_LOCAL_MACHINE", Logged(traces::kDistributionUnit)));
  EXPECT_EQ(window.status, "Done!");
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, traces::kUserClsid));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, "Software\\Classes\\CLSID\\{other}"));

  // The user's copy that cannot be opened for deletion stops the run with the class's text.
  store.SeedKey(kHkeyCurrentUser, traces::kUserProgId);
  store.SeedAccess(kHkeyCurrentUser, traces::kUserProgId, kKeyRead);
  Run();
  EXPECT_THAT(window.notices, ElementsAre("It failed to open ActiveFormProj1.ActiveFormX"));
}

TEST_F(CleanProcedureTest, SecondRunClearsTheLogAndKeepsDone) {
  SeedInstallation();
  AddModuleUsage("TessalineWeb_EN.ocx");
  Run();
  ASSERT_EQ(window.log.size(), 10u);
  Run();
  EXPECT_THAT(window.log, IsEmpty());
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");
}

TEST_F(CleanProcedureTest, EscapingFailureStillReleasesEveryKey) {
  SeedInstallation();
  AddModuleUsage("TessalineWeb_EN.ocx");
  store.SetHook([](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete &&
        site.keyPath.find("TessalineWeb_EN.ocx") != std::string::npos) {
      throw std::runtime_error("out of memory");
    }
    return std::nullopt;
  });
  EXPECT_THROW(Run(), std::runtime_error);
  EXPECT_EQ(window.status, "");
  EXPECT_EQ(window.log.size(), 8u);
}

}  // namespace

namespace {

TEST_F(CleanProcedureTest, EntryWhoseNameNeedsMoreBytesThanCharactersIsStillFound) {
  store.SetUtf8Names(true);
  const std::string entry =
      "C:/\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B/"
      "TessalineWeb_EN.ocx";
  AddModuleUsage(entry);
  AddModuleUsage("C:/other.ocx");
  Run();
  EXPECT_THAT(window.log, ElementsAre("HKEY_LOCAL_MACHINE",
                                      "\\" + std::string(traces::kModuleUsage) + "\\" + entry));
  EXPECT_FALSE(
      store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry));
  EXPECT_EQ(window.status, "Done!");
}

}  // namespace
