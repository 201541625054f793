#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "RegistryWorld.h"
#include "registry/TRegistry.h"

// What the registry object claims, the same against the in-memory store and the real registry.
// Each world instantiates the suite once.
template <typename World>
class RegistryContract : public ::testing::Test {
 protected:
  RegistryWorld& world() { return world_; }
  // The absolute path of a scratch key, for a registry object whose root is HKEY_CURRENT_USER.
  static std::string At(const std::string& path) {
    return "\\" + std::string(RegistryWorld::kScratch) + (path.empty() ? "" : "\\" + path);
  }
  static std::string Scratch(const std::string& path) {
    return std::string(RegistryWorld::kScratch) + "\\" + path;
  }

 private:
  World world_;
};

TYPED_TEST_SUITE_P(RegistryContract);

inline std::vector<std::string> Names(TRegistry& registry) {
  TStringList list;
  list.Add("left over from before");
  registry.ListSubkeyNames(list);
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.Count(); ++i) {
    names.push_back(list[i]);
  }
  return names;
}

TYPED_TEST_P(RegistryContract, NewObjectHasNoCurrentKey) {
  TRegistry registry(this->world().Api());
  EXPECT_EQ(registry.Root(), kHkeyCurrentUser);
  EXPECT_EQ(registry.CurrentKey(), kNoHandle);
  EXPECT_EQ(registry.CurrentPath(), "");
  EXPECT_EQ(registry.Access(), kKeyAllAccess);
  KeyInfo info;
  EXPECT_FALSE(registry.QueryKeyInfo(info));
  EXPECT_THAT(Names(registry), ::testing::IsEmpty());
}

TYPED_TEST_P(RegistryContract, OpenPathFollowsTheRootOrTheCurrentKey) {
  this->world().Create("Windows\\CurrentVersion\\ModuleUsage\\entry");
  this->world().Create("Other");
  TRegistry registry(this->world().Api());
  ASSERT_TRUE(registry.OpenPath(this->At("Other")));
  ASSERT_TRUE(registry.OpenPath(this->At("windows\\CurrentVersion")));
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("windows\\CurrentVersion"));
  ASSERT_TRUE(registry.OpenPath("ModuleUsage"));
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("windows\\CurrentVersion\\ModuleUsage"));
  EXPECT_THAT(Names(registry), ::testing::ElementsAre("entry"));

  // A failed open keeps the current key open, current and with its path.
  EXPECT_FALSE(registry.OpenPath("missing"));
  EXPECT_FALSE(registry.OpenPath(this->At("missing")));
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("windows\\CurrentVersion\\ModuleUsage"));
  EXPECT_THAT(Names(registry), ::testing::ElementsAre("entry"));

  registry.CloseCurrent();
  EXPECT_EQ(registry.CurrentPath(), "");
  // With no key current a relative path is taken from the root.
  ASSERT_TRUE(registry.OpenPath(this->Scratch("Windows")));
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("Windows"));
}

TYPED_TEST_P(RegistryContract, SelectingAnotherRootReleasesTheCurrentKey) {
  this->world().Create("k\\child");
  TRegistry registry(this->world().Api());
  ASSERT_TRUE(registry.OpenPath(this->At("k")));
  registry.SelectRoot(kHkeyCurrentUser);
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("k"));
  EXPECT_THAT(Names(registry), ::testing::ElementsAre("child"));
  registry.SelectRoot(kHkeyLocalMachine);
  EXPECT_EQ(registry.CurrentKey(), kNoHandle);
  EXPECT_EQ(registry.CurrentPath(), "");
  EXPECT_FALSE(registry.KeyPresent(this->At("k")));
}

TYPED_TEST_P(RegistryContract, ProbeReportsOnlyKeysThatCanBeRead) {
  this->world().Create("readable");
  this->world().Create("readonly");
  this->world().Create("denied");
  this->world().MakeReadOnly("readonly");
  this->world().DenyAll("denied");
  TRegistry registry(this->world().Api());
  EXPECT_TRUE(registry.KeyPresent(this->At("READABLE")));
  EXPECT_TRUE(registry.KeyPresent(this->At("readonly")));
  EXPECT_FALSE(registry.KeyPresent(this->At("denied")));
  EXPECT_FALSE(registry.KeyPresent(this->At("missing")));
  EXPECT_EQ(registry.Access(), kKeyAllAccess);
  EXPECT_EQ(registry.CurrentKey(), kNoHandle);
  // Readable is not enough to become the current key: that takes full access.
  EXPECT_FALSE(registry.OpenPath(this->At("readonly")));
}

TYPED_TEST_P(RegistryContract, SubkeysAreListedInThePlatformOrderWithTheirOwnCase) {
  for (const char* name : {"beta", "Alpha", "gamma.ocx", "ALPHA2", "1st", "Delta Key"}) {
    this->world().Create(std::string("list\\") + name);
  }
  TRegistry registry(this->world().Api());
  ASSERT_TRUE(registry.OpenPath(this->At("list")));
  EXPECT_THAT(Names(registry),
              ::testing::ElementsAre("1st", "Alpha", "ALPHA2", "beta", "Delta Key", "gamma.ocx"));
  KeyInfo info;
  ASSERT_TRUE(registry.QueryKeyInfo(info));
  EXPECT_EQ(info.SubkeyCount, 6);
  EXPECT_EQ(info.MaxSubkeyNameLength, 9);
}

TYPED_TEST_P(RegistryContract, DeleteTreeRemovesAWholeTreeAndNothingBeside) {
  for (const char* path : {"t\\a\\b\\c", "t\\a\\b2", "t\\d", "t2\\keep", "t-sibling"}) {
    this->world().Create(path);
  }
  TRegistry registry(this->world().Api());
  EXPECT_TRUE(registry.DeleteTree(this->At("T")));
  EXPECT_FALSE(this->world().Exists("t"));
  EXPECT_TRUE(this->world().Exists("t2\\keep"));
  EXPECT_TRUE(this->world().Exists("t-sibling"));
  // Gone keys cannot be deleted again; the platform says so.
  EXPECT_FALSE(registry.DeleteTree(this->At("t")));
}

TYPED_TEST_P(RegistryContract, DeletingTheCurrentKeyLeavesItsHandleCurrent) {
  this->world().Create("cur\\sub\\deeper");
  this->world().Create("next");
  TRegistry registry(this->world().Api());
  ASSERT_TRUE(registry.OpenPath(this->At("cur")));
  const RegHandle before = registry.CurrentKey();
  EXPECT_TRUE(registry.DeleteTree(this->At("cur")));
  EXPECT_FALSE(this->world().Exists("cur"));
  EXPECT_EQ(registry.CurrentKey(), before);
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("cur"));
  // The handle outlives its key: nothing can be read through it, and it still closes.
  EXPECT_THAT(Names(registry), ::testing::IsEmpty());
  EXPECT_FALSE(registry.OpenPath("sub"));
  ASSERT_TRUE(registry.OpenPath(this->At("next")));
  EXPECT_EQ(registry.CurrentPath(), this->Scratch("next"));
}

TYPED_TEST_P(RegistryContract, UndeletableSubkeyFailsOnlyTheNamedKey) {
  for (const char* path : {"t\\a", "t\\locked\\inner", "t\\z"}) {
    this->world().Create(path);
  }
  this->world().MakeReadOnly("t\\locked");
  TRegistry registry(this->world().Api());
  EXPECT_FALSE(registry.DeleteTree(this->At("t")));
  // What could go is gone; the locked key and what is below it stay.
  EXPECT_FALSE(this->world().Exists("t\\a"));
  EXPECT_FALSE(this->world().Exists("t\\z"));
  EXPECT_TRUE(this->world().Exists("t\\locked\\inner"));
}

REGISTER_TYPED_TEST_SUITE_P(
    RegistryContract, NewObjectHasNoCurrentKey, OpenPathFollowsTheRootOrTheCurrentKey,
    SelectingAnotherRootReleasesTheCurrentKey, ProbeReportsOnlyKeysThatCanBeRead,
    SubkeysAreListedInThePlatformOrderWithTheirOwnCase, DeleteTreeRemovesAWholeTreeAndNothingBeside,
    DeletingTheCurrentKeyLeavesItsHandleCurrent, UndeletableSubkeyFailsOnlyTheNamedKey);
