// HKEY_CLASSES_ROOT as Windows documents it ("Merged View of HKEY_CLASSES_ROOT", and the
// platform's public conformance tests for it): the user's classes over the machine's. Proven on
// the store only: Wine's HKEY_CLASSES_ROOT is the machine's classes alone, so the registry
// contract suite cannot run these cases against the real registry under Wine. Then the clean
// over such a store: both copies go, and a copy that is back at the end stops the run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CleanFixture.h"
#include "clean/CheckProcedure.h"
#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/TRegistry.h"
#include "registry/Utf16.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr const char* kUserClasses = "Software\\Classes\\";
constexpr const char* kMachineClasses = "Software\\Classes\\";

class MergedClassesTest : public CleanFixture {
 protected:
  void SetUp() override { store.MergeClassesRoot(); }

  void User(const std::string& path) { store.SeedKey(kHkeyCurrentUser, kUserClasses + path); }
  void Machine(const std::string& path) {
    store.SeedKey(kHkeyLocalMachine, kMachineClasses + path);
  }

  // The platform's name of the key opened at base\path, or the open's failure.
  std::string NameAt(RegHandle base, const std::string& path) {
    RegHandle opened = kNoHandle;
    const RegStatus status = store.OpenKey(base, path.c_str(), 0, kKeyRead, &opened);
    if (status != kErrorSuccess) {
      return "status " + std::to_string(status);
    }
    const KeyHandle key(store, opened);
    std::string name;
    store.QueryKeyName(key.get(), &name);
    return name;
  }

  std::vector<std::string> Subkeys(const std::string& path) {
    TRegistry registry(store, kKeyRead);
    registry.SelectRoot(kHkeyClassesRoot);
    TStringList names;
    if (registry.OpenPath(path)) {
      registry.ListSubkeyNames(names);
    }
    std::vector<std::string> listed;
    for (std::size_t index = 0; index < names.Count(); ++index) {
      listed.push_back(names[index]);
    }
    return listed;
  }
};

TEST_F(MergedClassesTest, AKeyInBothOpensAsTheUsersAndItsDeletionShowsTheMachines) {
  User("Both\\UserOnly");
  store.SeedValue(kHkeyCurrentUser, std::string(kUserClasses) + "Both", {u"", kRegSz, {'u', 0}});
  Machine("Both");
  store.SeedValue(kHkeyLocalMachine, std::string(kMachineClasses) + "Both",
                  {u"", kRegSz, {'m', 0}});
  Machine("MachineOnly");

  EXPECT_EQ(NameAt(kHkeyClassesRoot, "both"),
            "\\REGISTRY\\HKEY_CURRENT_USER\\Software\\Classes\\Both");
  EXPECT_EQ(NameAt(kHkeyClassesRoot, "MachineOnly"),
            "\\REGISTRY\\MACHINE\\Software\\Classes\\MachineOnly");
  EXPECT_EQ(NameAt(kHkeyClassesRoot, "Neither"), "status 2");
  {
    RegHandle opened = kNoHandle;
    ASSERT_EQ(store.OpenKey(kHkeyClassesRoot, "Both", 0, kKeyAllAccess, &opened), kErrorSuccess);
    const KeyHandle key(store, opened);
    RegValue value;
    ASSERT_EQ(store.EnumValue(key.get(), 0, &value), kErrorSuccess);
    EXPECT_EQ(value.data, (std::vector<std::uint8_t>{'u', 0}));
  }

  TRegistry registry(store);
  registry.SelectRoot(kHkeyClassesRoot);
  ASSERT_TRUE(registry.DeleteTree("\\Both"));
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, std::string(kUserClasses) + "Both"));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, std::string(kMachineClasses) + "Both"));
  EXPECT_EQ(NameAt(kHkeyClassesRoot, "Both"), "\\REGISTRY\\MACHINE\\Software\\Classes\\Both");
  ASSERT_TRUE(registry.DeleteTree("\\Both"));
  EXPECT_EQ(NameAt(kHkeyClassesRoot, "Both"), "status 2");
}

TEST_F(MergedClassesTest, SubkeysAreTheUsersThenTheMachinesTheUserLacks) {
  User("k\\b");
  User("k\\C");
  Machine("k\\a");
  Machine("k\\B");
  Machine("k\\longest-name");
  User("user-root-key");
  Machine("machine-root-key");
  EXPECT_THAT(Subkeys("\\k"), ElementsAre("b", "C", "a", "longest-name"));
  EXPECT_THAT(Subkeys(""), ElementsAre("k", "user-root-key", "machine-root-key"));

  RegHandle opened = kNoHandle;
  ASSERT_EQ(store.OpenKey(kHkeyClassesRoot, "k", 0, kKeyRead, &opened), kErrorSuccess);
  const KeyHandle key(store, opened);
  std::uint32_t subkeys = 0;
  std::uint32_t longest = 0;
  ASSERT_EQ(store.QueryInfoKey(key.get(), {&subkeys, &longest, nullptr, nullptr, nullptr, nullptr}),
            kErrorSuccess);
  EXPECT_EQ(subkeys, 4u);
  EXPECT_EQ(longest, 12u);
  // The wide enumeration, through which the backup and check list keys, lists the same view.
  std::vector<std::string> wide;
  std::u16string name;
  for (std::uint32_t index = 0; store.EnumKeyW(key.get(), index, &name) == kErrorSuccess; ++index) {
    wide.push_back(Utf16ToUtf8(name));
  }
  EXPECT_THAT(wide, ElementsAre("b", "C", "a", "longest-name"));
  // The user's own key, opened by its own name, lists only its own subkeys.
  TRegistry own(store, kKeyRead);
  own.SelectRoot(kHkeyCurrentUser);
  ASSERT_TRUE(own.OpenPath("\\Software\\Classes\\k"));
  TStringList names;
  own.ListSubkeyNames(names);
  EXPECT_EQ(names.Count(), 2u);
}

TEST_F(MergedClassesTest, ASubkeyTheUserLacksIsOpenedInTheMachinesBelowAUsersKey) {
  User("CLSID\\{other}");
  Machine("CLSID\\{wanted}\\InprocServer32");
  RegHandle clsid = kNoHandle;
  ASSERT_EQ(store.OpenKey(kHkeyClassesRoot, "CLSID", 0, kKeyRead, &clsid), kErrorSuccess);
  const KeyHandle key(store, clsid);
  std::string name;
  store.QueryKeyName(key.get(), &name);
  EXPECT_EQ(name, "\\REGISTRY\\HKEY_CURRENT_USER\\Software\\Classes\\CLSID");
  EXPECT_EQ(NameAt(key.get(), "{wanted}\\InprocServer32"),
            "\\REGISTRY\\MACHINE\\Software\\Classes\\CLSID\\{wanted}\\InprocServer32");
  EXPECT_EQ(NameAt(key.get(), "{other}"),
            "\\REGISTRY\\HKEY_CURRENT_USER\\Software\\Classes\\CLSID\\{other}");
  // Seeding through HKEY_CLASSES_ROOT addresses the machine's classes.
  store.SeedKey(kHkeyClassesRoot, "Seeded");
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, std::string(kMachineClasses) + "Seeded"));
}

// The user's copies and the machine's of both class keys, as a per-user and a machine-wide
// registration leave them.
void SeedBoth(MemoryRegistry& store) {
  for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    store.SeedKey(root, std::string(kUserClasses) + traces::kProgId + "\\Clsid");
    store.SeedKey(root, std::string(kUserClasses) + traces::kClsid + "\\InprocServer32");
  }
}

TEST_F(MergedClassesTest, TheCleanRemovesTheUsersCopyThenTheMachinesAndCheckListsBoth) {
  SeedBoth(store);
  const std::vector<std::string> expected = {"HKEY_CURRENT_USER", Logged(traces::kUserProgId),
                                             "HKEY_CLASSES_ROOT", Logged(traces::kProgId),
                                             "HKEY_CURRENT_USER", Logged(traces::kUserClsid),
                                             "HKEY_CLASSES_ROOT", Logged(traces::kClsid)};
  const CheckResult check = RunCheck(store, {});
  const std::vector<std::string> listed = LoggedLines(check);
  EXPECT_EQ(listed, expected);

  Run();
  EXPECT_EQ(window.log, expected);
  EXPECT_THAT(window.notices, IsEmpty());
  EXPECT_EQ(window.status, "Done!");
  for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    EXPECT_FALSE(store.KeyExists(root, std::string(kUserClasses) + traces::kProgId));
    EXPECT_FALSE(store.KeyExists(root, std::string(kUserClasses) + traces::kClsid));
  }
  EXPECT_TRUE(RunCheck(store, {}).keys.empty());
}

TEST_F(MergedClassesTest, ACopyBackAtTheEndStopsTheRunWithItsNoticeAndCheckListsIt) {
  SeedBoth(store);
  store.SeedKey(kHkeyLocalMachine, traces::kDistributionUnit);
  // Another installer registers the control for the user again while the run goes on.
  store.SetHook([this](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete &&
        AsciiUpper(site.keyPath) ==
            AsciiUpper(std::string("HKEY_LOCAL_MACHINE\\") + traces::kDistributionUnit)) {
      store.SeedKey(kHkeyCurrentUser, traces::kUserClsid);
    }
    return std::nullopt;
  });
  Run();
  EXPECT_EQ(window.log.size(), 10u);
  EXPECT_THAT(window.notices, ElementsAre("It failed to delte CLSID"));
  EXPECT_EQ(window.status, "");
  store.SetHook(nullptr);
  const CheckResult check = RunCheck(store, {});
  ASSERT_EQ(check.keys.size(), 1u);
  EXPECT_EQ(check.keys[0].key.root, "HKEY_CURRENT_USER");
  EXPECT_EQ(check.keys[0].key.path, Logged(traces::kUserClsid));
  Run();
  EXPECT_EQ(window.status, "Done!");
}

}  // namespace
