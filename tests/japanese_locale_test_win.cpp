// Under a Japanese locale (code page 932) on the real registry: name buffers are sized for
// double-byte names, and the longest names there can be are enumerated and deleted.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "RecordingRegistry.h"
#include "WindowsWorld_win.h"
#include "registry/LocaleSource_win.h"
#include "registry/RestoreOnExit.h"
#include "registry/TRegistry.h"

using ::testing::ElementsAre;

namespace {

class JapaneseLocaleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Run with LANG and LC_ALL set to ja_JP.UTF-8; anything else would prove nothing here.
    ASSERT_EQ(GetACP(), 932u);
    InitPlatformLocale(WindowsLocaleSource());
  }

  RestoreOnExit<PlatformLocale> restoreLocale{gPlatformLocale};
  WindowsWorld world;
};

std::string At(const std::string& path) {
  return "\\" + std::string(RegistryWorld::kScratch) + "\\" + path;
}

TEST_F(JapaneseLocaleTest, DoubleByteLocaleDoublesTheReportedMaximum) {
  EXPECT_EQ(gPlatformLocale.platformId, kPlatformWin32Nt);
  EXPECT_TRUE(gPlatformLocale.farEastLocale);
  world.Create("list\\abcdefghij");
  RecordingRegistry recorder(world.Api());
  TRegistry registry(recorder);
  ASSERT_TRUE(registry.OpenPath(At("list")));
  TStringList names;
  registry.ListSubkeyNames(names);
  EXPECT_THAT(recorder.Only("Enum"), ElementsAre("Enum(h1,0,21)=0 'abcdefghij'"));
}

TEST_F(JapaneseLocaleTest, LongestDoubleByteNameIsDeleted) {
  std::string name;
  for (int i = 0; i < 255; ++i) {
    name += "\x82\xA0";  // "あ" in code page 932
  }
  world.Create("tree\\short");
  // Created step by step: Wine converts a whole ANSI path in a buffer of 261 characters.
  HKEY tree = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_CURRENT_USER, (std::string(RegistryWorld::kScratch) + "\\tree").c_str(), 0,
                    KEY_ALL_ACCESS, &tree),
      ERROR_SUCCESS);
  HKEY longest = nullptr;
  ASSERT_EQ(RegCreateKeyExA(tree, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &longest,
                            nullptr),
            ERROR_SUCCESS);
  HKEY below = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(longest, "below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &below, nullptr),
      ERROR_SUCCESS);
  for (HKEY key : {below, longest, tree}) {
    RegCloseKey(key);
  }
  TRegistry registry(world.Api());
  EXPECT_TRUE(registry.DeleteTree(At("tree")));
  EXPECT_FALSE(world.Exists("tree"));
}

}  // namespace
