// The exact platform calls of the registry object, where their order and arguments matter.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingRegistry.h"
#include "registry/PlatformLocale.h"
#include "registry/RestoreOnExit.h"
#include "registry/TRegistry.h"
#include "registry/memory/MemoryRegistry.h"

using ::testing::ElementsAre;

namespace {

class RegistryCallsTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(store.OpenHandleCount(), 0u); }

  MemoryRegistry store;
  RecordingRegistry recorder{store};
};

TEST_F(RegistryCallsTest, ProbeAsksForReadRightsAndRestoresFullAccessAfterwards) {
  store.SeedKey(kHkeyCurrentUser, "a");
  store.SeedKey(kHkeyCurrentUser, "denied");
  store.SeedAccess(kHkeyCurrentUser, "denied", 0);
  TRegistry registry(recorder);
  EXPECT_TRUE(registry.KeyPresent("\\a"));
  EXPECT_FALSE(registry.KeyPresent("\\denied"));
  EXPECT_FALSE(registry.KeyPresent("\\missing"));
  EXPECT_EQ(registry.Access(), kKeyAllAccess);
  EXPECT_TRUE(registry.OpenPath("\\a"));
  EXPECT_THAT(
      recorder.calls,
      ElementsAre("Open(HKCU,'a',0x20009)=0 -> h1", "Close(h1)", "Open(HKCU,'denied',0x20009)=5",
                  "Open(HKCU,'missing',0x20009)=2", "Open(HKCU,'a',0xF003F)=0 -> h2"));
}

TEST_F(RegistryCallsTest, PathsResolveAgainstTheRootOrTheCurrentKey) {
  store.SeedKey(kHkeyLocalMachine, "software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage");
  TRegistry registry(recorder);
  registry.SelectRoot(kHkeyLocalMachine);
  ASSERT_TRUE(registry.OpenPath("software\\Microsoft\\Windows\\CurrentVersion"));
  ASSERT_TRUE(registry.OpenPath("ModuleUsage"));
  ASSERT_TRUE(registry.OpenPath("\\software\\Microsoft"));
  EXPECT_TRUE(registry.OpenPath(""));
  EXPECT_THAT(
      recorder.calls,
      ElementsAre("Open(HKLM,'software\\Microsoft\\Windows\\CurrentVersion',0xF003F)=0 -> h1",
                  // The new key opens below the old one before the old one goes.
                  "Open(h1,'ModuleUsage',0xF003F)=0 -> h2", "Close(h1)",
                  "Open(HKLM,'software\\Microsoft',0xF003F)=0 -> h3", "Close(h2)",
                  // An empty path is passed as an empty name below the current key.
                  "Open(h3,'',0xF003F)=0 -> h4", "Close(h3)"));
  EXPECT_EQ(registry.CurrentPath(), "software\\Microsoft\\");
}

TEST_F(RegistryCallsTest, TreeIsDeletedDeepestFirstFromTheHighestIndexDown) {
  for (const char* path : {"t\\a\\x", "t\\a\\y", "t\\b"}) {
    store.SeedKey(kHkeyCurrentUser, path);
  }
  TRegistry registry(recorder);
  EXPECT_TRUE(registry.DeleteTree("\\t"));
  // Every key is opened as itself and deleted through that handle, before the handle is closed.
  EXPECT_THAT(
      recorder.calls,
      ElementsAre("Open(HKCU,'t',link,0xF003F)=0 -> h1", "Query(h1)=0", "Enum(h1,1,2)=0 'b'",
                  "Open(h1,'b',link,0xF003F)=0 -> h2", "Query(h2)=0", "DeleteOpen(h2)=0",
                  "Close(h2)", "Enum(h1,0,2)=0 'a'", "Open(h1,'a',link,0xF003F)=0 -> h3",
                  "Query(h3)=0", "Enum(h3,1,2)=0 'y'", "Open(h3,'y',link,0xF003F)=0 -> h4",
                  "Query(h4)=0", "DeleteOpen(h4)=0", "Close(h4)", "Enum(h3,0,2)=0 'x'",
                  "Open(h3,'x',link,0xF003F)=0 -> h5", "Query(h5)=0", "DeleteOpen(h5)=0",
                  "Close(h5)", "DeleteOpen(h3)=0", "Close(h3)", "DeleteOpen(h1)=0", "Close(h1)"));
  EXPECT_EQ(registry.CurrentKey(), kNoHandle);
}

TEST_F(RegistryCallsTest, LinkIsDeletedAsItselfWithoutLookingBehindIt) {
  store.SeedKey(kHkeyCurrentUser, "precious\\inner");
  store.SeedLink(kHkeyCurrentUser, "t\\l", kHkeyCurrentUser, "precious");
  TRegistry registry(recorder);
  EXPECT_TRUE(registry.DeleteTree("\\t"));
  // The link shows no subkeys when opened as itself: no call reaches its destination.
  EXPECT_THAT(recorder.calls,
              ElementsAre("Open(HKCU,'t',link,0xF003F)=0 -> h1", "Query(h1)=0",
                          "Enum(h1,0,2)=0 'l'", "Open(h1,'l',link,0xF003F)=0 -> h2", "Query(h2)=0",
                          "DeleteOpen(h2)=0", "Close(h2)", "DeleteOpen(h1)=0", "Close(h1)"));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, "precious\\inner"));
}

TEST_F(RegistryCallsTest, KeyRefusingFullAccessIsOpenedForDeletingAlone) {
  store.SeedKey(kHkeyCurrentUser, "locked\\inner");
  store.SeedKey(kHkeyCurrentUser, "deletable");
  store.SeedAccess(kHkeyCurrentUser, "locked", kKeyRead);
  store.SeedAccess(kHkeyCurrentUser, "deletable", kKeyRead | kDelete);
  TRegistry registry(recorder);
  EXPECT_FALSE(registry.DeleteTree("\\missing"));
  EXPECT_FALSE(registry.DeleteTree("\\locked"));
  EXPECT_TRUE(registry.DeleteTree("\\deletable"));
  EXPECT_THAT(
      recorder.calls,
      ElementsAre("Open(HKCU,'missing',link,0xF003F)=2", "Open(HKCU,'missing',link,0x10000)=2",
                  "Open(HKCU,'locked',link,0xF003F)=5", "Open(HKCU,'locked',link,0x10000)=5",
                  "Open(HKCU,'deletable',link,0xF003F)=5",
                  "Open(HKCU,'deletable',link,0x10000)=0 -> h1", "DeleteOpen(h1)=0", "Close(h1)"));
}

TEST_F(RegistryCallsTest, DeletingTheCurrentKeyResolvesAgainstTheRestoredCurrentKey) {
  store.SeedKey(kHkeyCurrentUser, "p\\k\\s");
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.OpenPath("\\p"));
  EXPECT_TRUE(registry.DeleteTree("k"));
  EXPECT_EQ(registry.CurrentPath(), "p");
  EXPECT_THAT(
      recorder.calls,
      ElementsAre("Open(HKCU,'p',0xF003F)=0 -> h1", "Open(h1,'k',link,0xF003F)=0 -> h2",
                  "Query(h2)=0", "Enum(h2,0,2)=0 's'", "Open(h2,'s',link,0xF003F)=0 -> h3",
                  "Query(h3)=0", "DeleteOpen(h3)=0", "Close(h3)", "DeleteOpen(h2)=0", "Close(h2)"));
}

// The length given to each enumeration: the reported maximum plus one, the maximum doubled when
// double-byte names are possible on the NT family.
struct LengthCase {
  std::uint32_t platformId;
  bool farEast;
  std::uint32_t expectedLength;
};

class EnumerationLengthTest : public RegistryCallsTest,
                              public ::testing::WithParamInterface<LengthCase> {};

TEST_P(EnumerationLengthTest, EveryEnumerationIsToldTheBufferSize) {
  RestoreOnExit<PlatformLocale> restoreLocale(gPlatformLocale);
  gPlatformLocale = {GetParam().platformId, GetParam().farEast};
  store.SeedKey(kHkeyCurrentUser, "list\\abcdefghij");
  store.SeedKey(kHkeyCurrentUser, "list\\short");
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.OpenPath("\\list"));
  TStringList names;
  registry.ListSubkeyNames(names);
  ASSERT_EQ(names.Count(), 2u);
  EXPECT_EQ(names[0], "abcdefghij");
  EXPECT_EQ(names[1], "short");
  const std::string length = std::to_string(GetParam().expectedLength);
  EXPECT_THAT(recorder.Only("Enum"), ElementsAre("Enum(h1,0," + length + ")=0 'abcdefghij'",
                                                 "Enum(h1,1," + length + ")=0 'short'"));
}

INSTANTIATE_TEST_SUITE_P(Locales, EnumerationLengthTest,
                         ::testing::Values(LengthCase{kPlatformWin32Nt, false, 11},
                                           LengthCase{kPlatformWin32Nt, true, 21},
                                           LengthCase{1, true, 11}));

}  // namespace

namespace {

// Under a multi-byte ANSI code page a name can need more bytes than the characters reported.
class MultiByteNamesTest : public RegistryCallsTest {
 protected:
  void SetUp() override { store.SetUtf8Names(true); }
};

TEST_F(MultiByteNamesTest, NameLongerInBytesIsAskedForAgainWithRoomForAnyName) {
  // 26 characters, 30 bytes: it is the longest name, and the buffer fits 26.
  const std::string wide = "b-\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87-TessalineWeb_EN.ocx";
  for (const std::string& name : {std::string("a-short"), wide, std::string("c-short")}) {
    store.SeedKey(kHkeyCurrentUser, "list\\" + name);
  }
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.OpenPath("\\list"));
  TStringList names;
  registry.ListSubkeyNames(names);
  ASSERT_EQ(names.Count(), 3u);
  EXPECT_EQ(names[1], wide);
  EXPECT_THAT(recorder.Only("Enum"), ElementsAre("Enum(h1,0,27)=0 'a-short'", "Enum(h1,1,27)=234",
                                                 "Enum(h1,1,1021)=0 '" + wide + "'",
                                                 // The next names are asked for as designed again.
                                                 "Enum(h1,2,27)=0 'c-short'"));
}

TEST_F(MultiByteNamesTest, TreeWithSuchANameIsDeletedWhole) {
  store.SeedKey(kHkeyCurrentUser, "t\\\xE6\x97\xA5\xE6\x9C\xAC\\inner");
  store.SeedKey(kHkeyCurrentUser, "t\\ab");
  TRegistry registry(recorder);
  EXPECT_TRUE(registry.DeleteTree("\\t"));
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, "t"));
}

TEST_F(MultiByteNamesTest, EnumerationFailingOtherwiseIsNotAskedAgain) {
  store.SeedKey(kHkeyCurrentUser, "list\\one");
  store.FailCall(MemoryRegistry::Call::Enum, kHkeyCurrentUser, "list", kErrorAccessDenied, 0);
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.OpenPath("\\list"));
  TStringList names;
  registry.ListSubkeyNames(names);
  EXPECT_EQ(names.Count(), 0u);
  EXPECT_THAT(recorder.Only("Enum"), ElementsAre("Enum(h1,0,4)=5"));
}

}  // namespace
