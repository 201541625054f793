#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "RegistryWorld.h"
#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyTree.h"
#include "registry/KeyWatch.h"
#include "registry/TRegistry.h"
#include "registry/Utf16.h"

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

TYPED_TEST_P(RegistryContract, LinksAreDeletedAsThemselvesAndWhatTheyPointAtStays) {
  for (const char* path : {"t\\a\\b", "precious\\inner\\deep", "other\\x"}) {
    this->world().Create(path);
  }
  this->world().CreateLink("t\\a\\to-precious", "precious");
  this->world().CreateLink("t\\to-other", "other\\x");
  this->world().CreateLink("named", "other");
  TRegistry registry(this->world().Api());
  EXPECT_TRUE(registry.DeleteTree(this->At("t")));
  EXPECT_FALSE(this->world().Exists("t"));
  EXPECT_TRUE(this->world().Exists("precious\\inner\\deep"));
  EXPECT_TRUE(this->world().Exists("other\\x"));
  // A path that is itself a link: the link goes, as the key of that name.
  EXPECT_TRUE(registry.KeyPresent(this->At("named\\x")));
  EXPECT_TRUE(registry.DeleteTree(this->At("named")));
  EXPECT_FALSE(this->world().Exists("named"));
  EXPECT_TRUE(this->world().Exists("other\\x"));
}

TYPED_TEST_P(RegistryContract, LinkLoopsAndDanglingLinksEndWithoutHarm) {
  this->world().Create("t\\sub");
  this->world().Create("keep");
  this->world().CreateLink("t\\sub\\up", "t");
  this->world().CreateLink("t\\self", "t\\self");
  this->world().CreateLink("t\\dangling", "nowhere");
  TRegistry registry(this->world().Api());
  // A plain open follows links, also in the middle of a path; a loop or a missing destination
  // is no key.
  EXPECT_TRUE(registry.KeyPresent(this->At("t\\sub\\up")));
  EXPECT_FALSE(registry.KeyPresent(this->At("t\\self")));
  EXPECT_FALSE(registry.KeyPresent(this->At("t\\dangling")));
  ASSERT_TRUE(registry.OpenPath(this->At("t\\sub\\up\\sub")));
  EXPECT_THAT(Names(registry), ::testing::ElementsAre("up"));
  registry.CloseCurrent();
  EXPECT_TRUE(registry.DeleteTree(this->At("t")));
  EXPECT_FALSE(this->world().Exists("t"));
  EXPECT_TRUE(this->world().Exists("keep"));
}

inline bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

inline std::string KeyName(RegistryApi& api, const std::string& path, std::uint32_t options) {
  RegHandle opened = kNoHandle;
  EXPECT_EQ(api.OpenKey(kHkeyCurrentUser, path.c_str(), options, kProbeAccess, &opened),
            kErrorSuccess)
      << path;
  const KeyHandle key(api, opened);
  std::string name;
  EXPECT_EQ(api.QueryKeyName(key.get(), &name), kErrorSuccess) << path;
  return name;
}

TYPED_TEST_P(RegistryContract, TreesAreReadWithEveryValuesExactBytes) {
  this->world().Create("t\\sub\\deep");
  this->world().Create("t\\empty");
  this->world().Create("elsewhere");
  this->world().CreateLink("t\\link", "elsewhere");
  const std::vector<RegValue> topValues = {
      {u"", kRegSz, {0x61, 0, 0, 0}},
      {u"Zeta \"quoted\"", kRegBinary, {1, 2, 3}},
      {u"名前 \U0001F600", kRegSz, {0x61, 0, 0x62}},  // odd length, no terminator
      {u"none", kRegNone, {}},
  };
  for (const RegValue& value : topValues) {
    this->world().SetValue("t", value);
  }
  // Larger than a first read takes.
  const RegValue big{u"big", kRegBinary, std::vector<std::uint8_t>(5000, 0xAB)};
  this->world().SetValue("t\\sub", big);

  std::vector<TreeKey> read;
  EXPECT_TRUE(
      ReadTree(this->world().Api(), kHkeyCurrentUser, this->At("t"), [&](const TreeKey& key) {
        read.push_back(key);
        return true;
      }));
  std::vector<std::string> paths;
  for (const TreeKey& key : read) {
    paths.push_back(key.path);
  }
  ASSERT_THAT(paths, ::testing::ElementsAre("", "empty", "link", "sub", "sub\\deep"));
  // Value order is the platform's own; what matters is that each comes back byte for byte.
  const auto same = [](const RegValue& a, const RegValue& b) {
    return a.name == b.name && a.type == b.type && a.data == b.data;
  };
  ASSERT_EQ(read[0].values.size(), topValues.size());
  for (const RegValue& value : topValues) {
    EXPECT_TRUE(std::any_of(read[0].values.begin(), read[0].values.end(),
                            [&](const RegValue& got) { return same(got, value); }));
  }
  EXPECT_TRUE(read[1].values.empty());
  EXPECT_TRUE(read[2].link);
  EXPECT_TRUE(read[2].values.empty());
  EXPECT_TRUE(EndsWith(read[2].linkTarget.value_or(""), "TessalineCleanerContract\\elsewhere"))
      << read[2].linkTarget.value_or("none");
  ASSERT_EQ(read[3].values.size(), 1u);
  EXPECT_TRUE(same(read[3].values[0], big));

  // A key has one name, however it is reached; a link opened as itself has its own.
  RegistryApi& api = this->world().Api();
  const std::string target = KeyName(api, this->Scratch("elsewhere"), 0);
  EXPECT_TRUE(EndsWith(target, "TessalineCleanerContract\\elsewhere")) << target;
  EXPECT_EQ(KeyName(api, this->Scratch("t\\link"), 0), target);
  EXPECT_TRUE(EndsWith(KeyName(api, this->Scratch("t\\link"), kRegOptionOpenLink),
                       "TessalineCleanerContract\\t\\link"));

  // A key below that cannot be read makes the read fail.
  this->world().DenyAll("t\\sub\\deep");
  EXPECT_FALSE(ReadTree(api, kHkeyCurrentUser, this->At("t"), [](const TreeKey&) { return true; }));
}

// Listing subkeys and reading values each need their own right on the handle.
TYPED_TEST_P(RegistryContract, EnumerationsNeedTheirRightsOnTheHandle) {
  this->world().SetValue("k\\sub", {u"v", kRegDword, {1, 0, 0, 0}});
  RegistryApi& api = this->world().Api();
  const std::string path = this->Scratch("k");
  for (const std::uint32_t access : {kKeyEnumerateSubKeys, kKeyQueryValue}) {
    RegHandle opened = kNoHandle;
    ASSERT_EQ(api.OpenKey(kHkeyCurrentUser, path.c_str(), 0, access, &opened), kErrorSuccess);
    const KeyHandle key(api, opened);
    char name[16];
    std::uint32_t length = sizeof(name);
    RegValue value;
    const RegStatus listed = api.EnumKey(key.get(), 0, name, &length);
    RegHandle sub = kNoHandle;
    ASSERT_EQ(api.OpenKey(key.get(), "sub", 0, access, &sub), kErrorSuccess);
    const KeyHandle subKey(api, sub);
    const RegStatus read = api.EnumValue(subKey.get(), 0, &value);
    if (access == kKeyEnumerateSubKeys) {
      EXPECT_EQ(listed, kErrorSuccess);
      EXPECT_EQ(read, kErrorAccessDenied);
    } else {
      EXPECT_EQ(listed, kErrorAccessDenied);
      EXPECT_EQ(read, kErrorSuccess);
    }
  }
}

// The wide calls give and take names exactly as the platform keeps them, whatever the ANSI code
// page, and follow the same rules of links and rights as the ANSI ones.
TYPED_TEST_P(RegistryContract, WideCallsNameKeysExactly) {
  const std::string name = u8"日本語 \U0001F600 é";
  this->world().Create("w\\" + name);
  this->world().Create("w\\plain");
  this->world().Create("elsewhere");
  this->world().CreateLink("w\\link", "elsewhere");
  RegistryApi& api = this->world().Api();
  RegHandle opened = kNoHandle;
  ASSERT_EQ(api.OpenKeyW(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w")), 0, kKeyRead, &opened),
            kErrorSuccess);
  const KeyHandle key(api, opened);
  std::vector<std::u16string> names;
  std::u16string listed;
  std::uint32_t index = 0;
  for (; api.EnumKeyW(key.get(), index, &listed) == kErrorSuccess; ++index) {
    names.push_back(listed);
  }
  EXPECT_EQ(api.EnumKeyW(key.get(), index, &listed), kErrorNoMoreItems);
  EXPECT_EQ(listed, names.back());
  EXPECT_THAT(names, ::testing::UnorderedElementsAre(Utf8ToUtf16(name), u"plain", u"link"));

  const auto nameOf = [&](const std::u16string& subKey, std::uint32_t options) {
    RegHandle sub = kNoHandle;
    std::string full;
    EXPECT_EQ(api.OpenKeyW(key.get(), subKey, options, kKeyRead, &sub), kErrorSuccess);
    const KeyHandle subHandle(api, sub);
    EXPECT_EQ(api.QueryKeyName(subHandle.get(), &full), kErrorSuccess);
    return full;
  };
  EXPECT_TRUE(EndsWith(nameOf(Utf8ToUtf16(name), 0), "TessalineCleanerContract\\w\\" + name));
  EXPECT_TRUE(EndsWith(nameOf(u"link", kRegOptionOpenLink), "TessalineCleanerContract\\w\\link"));
  EXPECT_TRUE(EndsWith(nameOf(u"link", 0), "TessalineCleanerContract\\elsewhere"));
  RegHandle missing = kNoHandle;
  EXPECT_EQ(api.OpenKeyW(key.get(), u"missing", 0, kKeyRead, &missing), kErrorFileNotFound);
  EXPECT_EQ(missing, kNoHandle);

  RegHandle valuesOnly = kNoHandle;
  ASSERT_EQ(api.OpenKeyW(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w")), 0, kKeyQueryValue,
                         &valuesOnly),
            kErrorSuccess);
  const KeyHandle valuesKey(api, valuesOnly);
  EXPECT_EQ(api.EnumKeyW(valuesKey.get(), 0, &listed), kErrorAccessDenied);
}

// Only the platform makes a key a link: an ordinary key that holds a link's value is read as it
// is, that value and all.
TYPED_TEST_P(RegistryContract, AKeyHoldingALinkValueIsNoLink) {
  const std::u16string target = u"\\REGISTRY\\MACHINE\\SOFTWARE\\x\r[HKEY_LOCAL_MACHINE\\y]";
  const RegValue linkValue{
      u"SymbolicLinkValue", kRegLink,
      std::vector<std::uint8_t>(
          reinterpret_cast<const std::uint8_t*>(target.data()),
          reinterpret_cast<const std::uint8_t*>(target.data() + target.size()))};
  this->world().SetValue("fake", linkValue);
  this->world().Create("elsewhere");
  this->world().CreateLink("real", "elsewhere");
  // An empty key, and a link never given a target: only the second is a link.
  this->world().Create("empty");
  RegHandle made = kNoHandle;
  ASSERT_EQ(
      this->world().Api().CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("targetless")),
                                    kRegOptionCreateLink, kKeyAllAccess, &made, nullptr),
      kErrorSuccess);
  // Kept open to be deleted as itself at the end: a tree deletion cannot open it.
  const KeyHandle targetless(this->world().Api(), made);
  std::vector<TreeKey> read;
  for (const char* name : {"fake", "real", "empty", "targetless"}) {
    EXPECT_TRUE(
        ReadTree(this->world().Api(), kHkeyCurrentUser, this->At(name), [&](const TreeKey& key) {
          read.push_back(key);
          return true;
        }));
  }
  ASSERT_EQ(read.size(), 4u);
  EXPECT_FALSE(read[0].link);
  ASSERT_EQ(read[0].values.size(), 1u);
  EXPECT_EQ(read[0].values[0].data, linkValue.data);
  EXPECT_TRUE(read[1].link);
  EXPECT_FALSE(read[2].link);
  EXPECT_TRUE(read[3].link);
  EXPECT_EQ(read[3].linkTarget, std::nullopt);
  EXPECT_EQ(this->world().Api().DeleteOpenKey(targetless.get()), kErrorSuccess);
}

// Writing, as restore does: keys made with any missing above, values set to exact bytes.
TYPED_TEST_P(RegistryContract, KeysAreMadeAndValuesSetWithExactBytes) {
  this->world().Create("readonly");
  this->world().MakeReadOnly("readonly");
  RegistryApi& api = this->world().Api();
  RegHandle made = kNoHandle;
  // Names of any script are made as they are.
  ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\a\\名前 \U0001F600")), 0,
                          kKeyQueryValue, &made, nullptr),
            kErrorSuccess);
  {
    const KeyHandle key(api, made);
    std::string name;
    EXPECT_EQ(api.QueryKeyName(key.get(), &name), kErrorSuccess);
    EXPECT_TRUE(EndsWith(name, "TessalineCleanerContract\\w\\a\\名前 \U0001F600")) << name;
  }
  ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\v")), 0,
                          kKeyWrite | kKeyQueryValue, &made, nullptr),
            kErrorSuccess);
  const std::vector<RegValue> values = {
      {u"", kRegSz, {0x61, 0}},                      // no terminator
      {u"odd \U0001F600", kRegSz, {0x61, 0, 0x62}},  // odd length
      {u"empty", kRegBinary, {}},
      {u"none", kRegNone, {}},
      {u"own type", 0x20, {1, 2}},
      {u"multi", kRegMultiSz, {0x61, 0, 0, 0}},
  };
  {
    const KeyHandle key(api, made);
    for (const RegValue& value : values) {
      // A zero right after the data, where the platform's RegSetValueExW would take it for a
      // forgotten terminator and store it too.
      RegValue followedByZero = value;
      followedByZero.data.resize(value.data.size() + 4, 0);
      followedByZero.data.resize(value.data.size());
      EXPECT_EQ(api.SetValue(key.get(), followedByZero), kErrorSuccess);
    }
    // A value of the same name is replaced, not added.
    EXPECT_EQ(api.SetValue(key.get(), {u"EMPTY", kRegDword, {1, 0, 0, 0}}), kErrorSuccess);
  }
  EXPECT_TRUE(this->world().Exists("w\\a"));
  // An existing key is opened as it is.
  ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\v")), 0, kKeyQueryValue,
                          &made, nullptr),
            kErrorSuccess);
  {
    const KeyHandle key(api, made);
    // The handle was not opened to set values.
    EXPECT_EQ(api.SetValue(key.get(), {u"x", kRegSz, {}}), kErrorAccessDenied);
  }
  std::vector<TreeKey> read;
  ASSERT_TRUE(ReadTree(api, kHkeyCurrentUser, this->At("w\\v"), [&](const TreeKey& key) {
    read.push_back(key);
    return true;
  }));
  ASSERT_EQ(read.size(), 1u);
  ASSERT_EQ(read[0].values.size(), values.size());
  for (const RegValue& value : values) {
    const bool replaced = value.name == u"empty";
    const RegValue expected = replaced ? RegValue{u"empty", kRegDword, {1, 0, 0, 0}} : value;
    EXPECT_TRUE(std::any_of(read[0].values.begin(), read[0].values.end(), [&](const RegValue& got) {
      return SameIgnoringAsciiCase(got.name, expected.name) && got.type == expected.type &&
             got.data == expected.data;
    })) << Utf16ToUtf8(value.name);
  }
  // A key that may only be read is not opened for writing. (Windows also refuses to make a key
  // below it, which Wine does not check; the store's own test covers that.)
  RegHandle refused = kNoHandle;
  EXPECT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("readonly")), 0, kKeyWrite,
                          &refused, nullptr),
            kErrorAccessDenied);
  EXPECT_EQ(refused, kNoHandle);
}

// A link is made as the link, then given its target; what is made through a link lands at its
// target, a missing target included.
TYPED_TEST_P(RegistryContract, LinksAreMadeAsLinksToTheirTarget) {
  this->world().SetValue("target", {u"v", kRegDword, {7, 0, 0, 0}});
  RegistryApi& api = this->world().Api();
  const std::string target = KeyName(api, this->Scratch("target"), 0);
  const std::string gone = target.substr(0, target.size() - 6) + "gone";
  const auto makeLink = [&](const std::string& path, const std::string& to) {
    RegHandle made = kNoHandle;
    const RegStatus status = api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch(path)),
                                           kRegOptionCreateLink, kKeyAllAccess, &made, nullptr);
    if (status != kErrorSuccess) {
      return status;
    }
    const KeyHandle link(api, made);
    // A link holds its target and no other value.
    EXPECT_EQ(api.SetValue(link.get(), {u"other", kRegSz, {0x61, 0}}), kErrorAccessDenied);
    return api.SetValue(link.get(),
                        {u"SymbolicLinkValue", kRegLink, LeBytesFromUtf16(Utf8ToUtf16(to))});
  };
  ASSERT_EQ(makeLink("w\\link", target), kErrorSuccess);
  ASSERT_EQ(makeLink("w\\dangling", gone), kErrorSuccess);
  EXPECT_EQ(makeLink("w\\link", target), kErrorAlreadyExists);

  std::vector<TreeKey> read;
  EXPECT_TRUE(ReadTree(api, kHkeyCurrentUser, this->At("w"), [&](const TreeKey& key) {
    read.push_back(key);
    return true;
  }));
  ASSERT_EQ(read.size(), 3u);
  EXPECT_TRUE(read[2].link);
  EXPECT_EQ(read[2].linkTarget, target);
  EXPECT_EQ(KeyName(api, this->Scratch("w\\link"), 0), target);

  // With the open-link option a link named last is opened as itself, dangling or not, and nothing
  // is made at its target; a name that is missing is made, and said to be new.
  {
    bool created = true;
    RegHandle self = kNoHandle;
    ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\dangling")),
                            kRegOptionOpenLink, kKeyQueryValue, &self, &created),
              kErrorSuccess);
    const KeyHandle link(api, self);
    EXPECT_FALSE(created);
    EXPECT_FALSE(this->world().Exists("gone"));
    RegValue value;
    ASSERT_EQ(api.EnumValue(link.get(), 0, &value), kErrorSuccess);
    EXPECT_TRUE(IsLinkValue(value));
    for (const bool isNew : {true, false}) {
      RegHandle fresh = kNoHandle;
      created = !isNew;
      ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\fresh")),
                              kRegOptionOpenLink, kKeyQueryValue, &fresh, &created),
                kErrorSuccess);
      api.CloseKey(fresh);
      EXPECT_EQ(created, isNew);
    }
  }
  RegHandle made = kNoHandle;
  ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\link\\sub")), 0,
                          kKeyWrite, &made, nullptr),
            kErrorSuccess);
  api.CloseKey(made);
  EXPECT_TRUE(this->world().Exists("target\\sub"));
  ASSERT_EQ(api.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch("w\\dangling")), 0, kKeyWrite,
                          &made, nullptr),
            kErrorSuccess);
  api.CloseKey(made);
  EXPECT_TRUE(this->world().Exists("gone"));

  // A root is named as the hive every key below it lies in.
  std::string hive;
  ASSERT_EQ(api.QueryKeyName(kHkeyCurrentUser, &hive), kErrorSuccess);
  EXPECT_EQ(AsciiUpper(target).rfind(AsciiUpper(hive) + "\\", 0), 0u) << hive << " " << target;
  ASSERT_EQ(api.QueryKeyName(kHkeyLocalMachine, &hive), kErrorSuccess);
  EXPECT_EQ(AsciiUpper(hive).rfind("\\REGISTRY\\", 0), 0u) << hive;

  // Links made here go as themselves, before the world's tree deletion could follow them.
  for (const char* path : {"w\\link", "w\\dangling"}) {
    RegHandle link = kNoHandle;
    ASSERT_EQ(api.OpenKey(kHkeyCurrentUser, this->Scratch(path).c_str(), kRegOptionOpenLink,
                          kKeyAllAccess, &link),
              kErrorSuccess);
    EXPECT_EQ(api.DeleteOpenKey(link), kErrorSuccess);
    api.CloseKey(link);
  }
}

// A watch is marked by each change to its key and the close of its handle, and by nothing done
// beside it or by reading it; one set again after its key was closed starts clear. The key's
// deletion by another handle need not mark it (under Wine it does not), but the watched handle
// then has no name and deletes nothing, not even a key made again by that name: the platform may
// answer that deletion either way.
TYPED_TEST_P(RegistryContract, AWatchIsMarkedByEveryChangeToItsKeyAndNothingElse) {
  RegistryWorld& world = this->world();
  RegistryApi& api = world.Api();
  world.SetValue("watched", {u"v", kRegDword, {1, 0, 0, 0}});
  world.Create("beside");
  const auto open = [&](const std::string& path, std::uint32_t access) {
    RegHandle opened = kNoHandle;
    EXPECT_EQ(api.OpenKeyW(kHkeyCurrentUser, Utf8ToUtf16(this->Scratch(path)), kRegOptionOpenLink,
                           access, &opened),
              kErrorSuccess)
        << path;
    return KeyHandle(api, opened);
  };
  const auto deleteKey = [&](const std::string& path) {
    const KeyHandle key = open(path, kDelete);
    EXPECT_EQ(api.DeleteOpenKey(key.get()), kErrorSuccess) << path;
  };
  const std::pair<const char*, std::function<void()>> changes[] = {
      {"a value set",
       [&] {
         world.SetValue("watched", {u"v", kRegDword, {2, 0, 0, 0}});
       }},
      {"a value added",
       [&] {
         world.SetValue("watched", {u"w", kRegSz, {}});
       }},
      {"a subkey made", [&] { world.Create("watched\\sub"); }},
      {"a subkey deleted", [&] { deleteKey("watched\\sub"); }},
  };
  for (const auto& [what, change] : changes) {
    KeyWatch watch;
    const KeyHandle key = open("watched", kKeyRead);
    watch = KeyWatch(world.Watches(), world.Watches().Watch(key.get()));
    ASSERT_TRUE(watch) << what;
    RegValue value;
    EXPECT_EQ(api.EnumValue(key.get(), 0, &value), kErrorSuccess) << what;
    world.SetValue("beside", {u"v", kRegDword, {3, 0, 0, 0}});
    world.Create("beside\\sub");
    EXPECT_FALSE(watch.Changed()) << what;
    change();
    EXPECT_TRUE(watch.Changed()) << what;
  }

  KeyWatch watch;
  KeyHandle key = open("watched", kKeyRead | kDelete);
  watch = KeyWatch(world.Watches(), world.Watches().Watch(key.get()));
  ASSERT_TRUE(watch);
  deleteKey("watched");
  world.Create("watched");
  // The handle names no key any more.
  std::string name;
  EXPECT_NE(api.QueryKeyName(key.get(), &name), kErrorSuccess) << name;
  // Wine answers success, having nothing to delete.
  api.DeleteOpenKey(key.get());
  EXPECT_TRUE(world.Exists("watched"));
  key.reset();
  EXPECT_TRUE(watch.Changed());
  watch.reset();
  // Without the right to be told of changes, a key cannot be watched.
  const KeyHandle unwatchable = open("watched", kKeyQueryValue);
  EXPECT_EQ(world.Watches().Watch(unwatchable.get()), kNoWatch);
}

REGISTER_TYPED_TEST_SUITE_P(
    RegistryContract, NewObjectHasNoCurrentKey, OpenPathFollowsTheRootOrTheCurrentKey,
    SelectingAnotherRootReleasesTheCurrentKey, ProbeReportsOnlyKeysThatCanBeRead,
    SubkeysAreListedInThePlatformOrderWithTheirOwnCase, DeleteTreeRemovesAWholeTreeAndNothingBeside,
    DeletingTheCurrentKeyLeavesItsHandleCurrent, UndeletableSubkeyFailsOnlyTheNamedKey,
    LinksAreDeletedAsThemselvesAndWhatTheyPointAtStays, LinkLoopsAndDanglingLinksEndWithoutHarm,
    TreesAreReadWithEveryValuesExactBytes, EnumerationsNeedTheirRightsOnTheHandle,
    WideCallsNameKeysExactly, AKeyHoldingALinkValueIsNoLink, KeysAreMadeAndValuesSetWithExactBytes,
    LinksAreMadeAsLinksToTheirTarget, AWatchIsMarkedByEveryChangeToItsKeyAndNothingElse);
