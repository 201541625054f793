// Restore over the store: which backups are refused before anything is written (names a user
// may have planted or edited), and that what is written comes back byte for byte, links as
// links, and never outside the hive its name starts in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "CleanFixture.h"
#include "MemoryFiles.h"
#include "backup/RestoreProcedure.h"
#include "clean/CleanTargets.h"
#include "registry/AsciiCase.h"
#include "registry/KeyTree.h"
#include "registry/TRegistry.h"
#include "registry/Utf16.h"

namespace {

const std::string kGuid = "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
const std::string kStats = "HKEY_CURRENT_USER\\" + std::string(traces::kStats);
const std::string kUsage = "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage);
const std::string kUnit = "HKEY_LOCAL_MACHINE\\" + std::string(traces::kDistributionUnit);

// The keys restore wrote whole, each as "ROOT\path".
std::vector<std::string> Restored(const RestoreResult& result) {
  std::vector<std::string> names;
  for (const ShownKey& key : result.restored) {
    names.push_back(key.root + key.path);
  }
  return names;
}

// Why restore refuses a file of empty sections of these keys, the last one cut short where told.
std::string Refusal(const std::vector<std::string>& keyNames, const std::string* cut = nullptr) {
  std::vector<BackupSection> sections;
  for (const std::string& name : keyNames) {
    sections.push_back({name, false, "", {}});
  }
  std::string file = BackupFileOf(sections);
  if (cut) {
    file += Utf16LeBytes(u"[" + Utf8ToUtf16(*cut) + u"]\r\n");
  }
  MemoryRegistry store;
  MemorySource source(file);
  const RestoreResult result = RunRestore(store, source);
  EXPECT_TRUE(result.refusal.empty() || store.AllKeys().empty());
  return result.refusal;
}

TEST(RestoreRefusal, TakesTheControlsKeysAndWhatLiesBelowThem) {
  for (const std::string& name : std::vector<std::string>{
           "HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX",
           "hkey_classes_root\\activeformproj1.activeformx\\Clsid",
           "HKEY_CLASSES_ROOT\\CLSID\\" + kGuid + "\\InprocServer32", kStats, kStats + "\\iexplore",
           "HKEY_USERS\\S-1-5-21-1-2-3-1001\\" + std::string(traces::kStats),
           "HKEY_USERS\\.DEFAULT\\" + std::string(traces::kStats) + "\\x", kUnit,
           kUnit + "\\Contains\\Files", kUsage + "\\C:/WINDOWS/system32/TESSALINEWEB_EN.OCX",
           kUsage + "\\d:/old/tessalineweb_en.ocx.bak\\sub"}) {
    EXPECT_EQ(Refusal({name}), "") << name;
  }
}

// Names as a standard user would plant or edit them, each refused on its own and in a file
// whose other sections are all the control's.
TEST(RestoreRefusal, RefusesEveryOtherKeyHoweverItIsSpelled) {
  const std::vector<std::string> planted = {
      "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PlantedSvc",
      kUsage,                                   // the list itself
      kUsage + "\\Other\\TessalineWeb_EN.ocx",  // the file name only below an entry
      "HKEY_LOCAL_MACHINE\\software\\TessalineWeb_EN.ocx",
      "HKEY_LOCAL_MACHINE\\software\\Microsoft\\Windows\\CurrentVersion\\TessalineWeb_EN.ocx",
      "HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\",  // an empty name at the end
      "HKEY_CLASSES_ROOT\\\\ActiveFormProj1.ActiveFormX",  // and in the middle
      "HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormXY",   // a longer name
      "HKEY_CLASSES_ROOT\\CLSID",                          // above a target
      "HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID\\" + kGuid,
      "HKEY_LOCAL_MACHINE\\software\\Wow6432Node\\Microsoft\\Code Store Database\\"
      "Distribution Units\\" +
          kGuid,
      "HKEY_USERS\\S-1-5-21-1_Classes\\" + std::string(traces::kStats),
      "HKEY_USERS\\S-1-5-21-1",
      // A run's private name for a user's hive, which another run may unload meanwhile.
      "HKEY_USERS\\TessalineClean-S-1-5-21-1-user\\" + std::string(traces::kStats),
      "HKEY_USERS\\TessalineClean-S-1-5-21-1-user-0123456789abcdef0123456789abcdef\\" +
          std::string(traces::kStats),
      "HKEY_USERS\\tessalineclean-S-1-5-21-1-classes_Classes\\" + std::string(traces::kProgId),
      "HKEY_USERS\\" + std::string(traces::kStats),
      "HKEY_LOCAL_MACHINE\\" + std::string(traces::kStats),
      "HKLM\\" + std::string(traces::kDistributionUnit),
      "HKEY_CURRENT_CONFIG\\" + std::string(traces::kStats),
      "HKEY_CLASSES_ROOT",
      "",
      kUsage + "\\x" + std::string(1, '\0') + "TessalineWeb_EN.ocx",
  };
  for (const std::string& name : planted) {
    // A zero in a name is no line the writer writes: the file is malformed before its keys are
    // asked about.
    const bool writable = name.find('\0') == std::string::npos;
    EXPECT_THAT(Refusal({name}),
                ::testing::HasSubstr(writable ? "not one of the control's" : "malformed"))
        << name;
    EXPECT_NE(Refusal({kStats, kUnit, name}), "") << name;
    // A cut section's key is only named: its name may be cut anywhere.
    EXPECT_EQ(Refusal({kStats}, &name), "") << name;
  }
}

RegValue Value(const std::u16string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
  return {name, type, std::move(data)};
}

// Every key below the roots, with its values, or its target for a link, as the store holds them.
std::map<std::string, std::vector<std::string>> Snapshot(MemoryRegistry& store) {
  std::map<std::string, std::vector<std::string>> keys;
  const std::map<RegHandle, std::string> roots = {{kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
                                                  {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
                                                  {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
                                                  {kHkeyUsers, "HKEY_USERS"}};
  for (const auto& [root, rootName] : roots) {
    ReadTree(store, root, "", [&](const TreeKey& key) {
      std::vector<std::string>& lines = keys[rootName + "\\" + key.path];
      if (key.link) {
        lines.push_back("-> " + key.linkTarget.value_or("nowhere"));
      }
      for (const RegValue& value : key.values) {
        lines.push_back(Utf16ToUtf8(value.name) + " " + std::to_string(value.type) + " " +
                        std::string(value.data.begin(), value.data.end()));
      }
      return true;
    });
  }
  return keys;
}

class Restore : public CleanFixture {
 protected:
  // The backup a clean would take of the key and everything below it, as the reader gives it.
  void BackUp(RegHandle root, const std::string& rootName, const std::string& path) {
    ReadTree(store, root, "\\" + path, [&](const TreeKey& key) {
      const std::string name = rootName + "\\" + path + (key.path.empty() ? "" : "\\" + key.path);
      backup.sections.push_back({name, key.link, key.linkTarget, key.values});
      return true;
    });
  }
  void Delete(RegHandle root, const std::string& path) {
    TRegistry registry(store);
    registry.SelectRoot(root);
    ASSERT_TRUE(registry.DeleteTree("\\" + path));
  }
  // The platform's name of a root, as link targets name keys below it.
  std::string Named(RegHandle root) {
    std::string name;
    EXPECT_EQ(store.QueryKeyName(root, &name), kErrorSuccess);
    return name;
  }
  // Restores the file of the backup's sections, and of a last one cut short where told.
  RestoreResult Run() {
    std::string file = BackupFileOf(backup.sections);
    if (!backup.cut.empty()) {
      file += Utf16LeBytes(u"[" + Utf8ToUtf16(backup.cut) + u"]\r\n\"v\"=\"");
    }
    MemorySource source(file);
    const RestoreResult result = RunRestore(store, source);
    EXPECT_EQ(result.refusal, "");
    return result;
  }

  struct {
    std::vector<BackupSection> sections;
    std::string cut;
  } backup;
};

TEST_F(Restore, PutsBackEveryKeyValueAndLinkExactly) {
  const std::string stats = traces::kStats;
  const std::string entry = std::string(traces::kModuleUsage) + "\\C:/x/TessalineWeb_EN.ocx";
  const std::string hiveStats = "S-1-5-21-9\\" + stats;
  store.SeedValue(kHkeyCurrentUser, stats, Value(u"", kRegSz, {'a', 0}));          // no terminator
  store.SeedValue(kHkeyCurrentUser, stats, Value(u"odd", kRegSz, {'a', 0, 'b'}));  // odd length
  store.SeedValue(kHkeyCurrentUser, stats, Value(u"empty", kRegBinary, {}));
  store.SeedValue(kHkeyCurrentUser, stats + "\\iexplore",
                  Value(u"名前 \U0001F600", 0x20, {0, 1, 2}));
  store.SeedKey(kHkeyCurrentUser, stats + "\\empty key");
  store.SeedKey(kHkeyCurrentUser, "Software\\Elsewhere");
  store.SeedLink(kHkeyCurrentUser, stats + "\\link", kHkeyCurrentUser, "Software\\Elsewhere");
  RegHandle targetless = kNoHandle;
  store.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(stats + "\\targetless"), kRegOptionCreateLink,
                  kKeyAllAccess, &targetless, nullptr);
  store.CloseKey(targetless);
  store.SeedValue(kHkeyUsers, hiveStats, Value(u"Type", kRegDword, {1, 0, 0, 0}));
  store.SeedValue(kHkeyLocalMachine, entry, Value(u"Owner", kRegMultiSz, {'o', 0, 0, 0}));
  store.SeedKey(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\other.dll");
  const auto before = Snapshot(store);
  BackUp(kHkeyCurrentUser, "HKEY_CURRENT_USER", stats);
  BackUp(kHkeyUsers, "HKEY_USERS", hiveStats);
  BackUp(kHkeyLocalMachine, "HKEY_LOCAL_MACHINE", entry);
  Delete(kHkeyCurrentUser, stats);
  Delete(kHkeyUsers, hiveStats);
  Delete(kHkeyLocalMachine, entry);
  ASSERT_NE(Snapshot(store), before);

  const RestoreResult result = Run();
  EXPECT_THAT(result.failures, ::testing::IsEmpty());
  EXPECT_EQ(result.restored.size(), backup.sections.size());
  EXPECT_EQ(Snapshot(store), before);
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, stats + "\\link"));
  EXPECT_EQ(result.cutShortNotice, "");
  // Again, as a retry would: each key and link counts as put back as it stands.
  EXPECT_THAT(Run().failures, ::testing::IsEmpty());
  EXPECT_EQ(Snapshot(store), before);
}

// The user's copies went first, so a classes section is the machine's and goes there.
TEST_F(Restore, ClassesGoToTheMachinesClassesAndExistingValuesAreReplaced) {
  store.SeedValue(kHkeyLocalMachine, "Software\\Classes\\" + std::string(traces::kProgId),
                  Value(u"kept", kRegSz, {'k', 0}));
  store.SeedValue(kHkeyLocalMachine, "Software\\Classes\\" + std::string(traces::kProgId),
                  Value(u"REPLACED", kRegSz, {'o', 0}));
  backup.sections.push_back({"HKEY_CLASSES_ROOT\\" + std::string(traces::kProgId) + "\\Clsid",
                             false,
                             "",
                             {Value(u"", kRegSz, {'{', 0})}});
  backup.sections.insert(backup.sections.begin(),
                         {"HKEY_CLASSES_ROOT\\" + std::string(traces::kProgId),
                          false,
                          "",
                          {Value(u"replaced", kRegSz, {'n', 0})}});
  const RestoreResult result = Run();
  EXPECT_THAT(result.failures, ::testing::IsEmpty());
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kProgId));
  std::vector<TreeKey> read;
  ReadTree(store, kHkeyLocalMachine, "\\Software\\Classes\\" + std::string(traces::kProgId),
           [&](const TreeKey& key) {
             read.push_back(key);
             return true;
           });
  ASSERT_EQ(read.size(), 2u);
  ASSERT_EQ(read[0].values.size(), 2u);
  EXPECT_EQ(read[0].values[0].name, u"kept");
  EXPECT_EQ(read[0].values[1].data, std::vector<std::uint8_t>({'n', 0}));
  EXPECT_EQ(read[1].path, "Clsid");
}

// Links a user may plant in their own hive where the restore will write, or record in a backup:
// nothing is written outside the hive, the rest is restored, and each is named.
TEST_F(Restore, NeverWritesOutsideTheHiveItsNameStartsIn) {
  const std::string stats = traces::kStats;
  store.SeedValue(kHkeyLocalMachine, "Software\\Victim", Value(u"v", kRegDword, {1, 0, 0, 0}));
  // The user's statistics key made a link into the machine's keys.
  store.SeedKey(kHkeyCurrentUser, stats.substr(0, stats.rfind('\\')));
  store.SeedLink(kHkeyCurrentUser, stats, kHkeyLocalMachine, "Software\\Victim");
  // Another hive's statistics reached through a dangling link in the path.
  const std::string hive = "S-1-5-21-9\\software\\Microsoft\\Windows\\CurrentVersion\\Ext";
  store.SeedKey(kHkeyUsers, hive);
  store.SeedLink(kHkeyUsers, hive + "\\Stats", kHkeyLocalMachine, "Software\\Made");
  // One user's hive linked to another's.
  store.SeedKey(kHkeyUsers, "S-1-5-21-8\\software\\Microsoft\\Windows\\CurrentVersion");
  store.SeedKey(kHkeyUsers, "S-1-5-21-7\\software\\Microsoft\\Windows\\CurrentVersion\\Ext");
  store.SeedLink(kHkeyUsers, "S-1-5-21-8\\software\\Microsoft\\Windows\\CurrentVersion\\Ext",
                 kHkeyUsers, "S-1-5-21-7\\software\\Microsoft\\Windows\\CurrentVersion\\Ext");
  const auto before = Snapshot(store);

  backup.sections = {
      {kStats, false, "", {Value(u"planted", kRegSz, {'x', 0})}},
      {"HKEY_USERS\\S-1-5-21-9\\" + stats, false, "", {}},
      {"HKEY_USERS\\S-1-5-21-8\\" + stats, false, "", {}},
      {kUnit, false, "", {Value(u"kept", kRegDword, {2, 0, 0, 0})}},
      {kUnit + "\\out", true, Named(kHkeyCurrentUser) + "\\Software", {}},
      {kUnit + "\\in", true, Named(kHkeyLocalMachine) + "\\software\\Other", {}},
      {kUnit + "\\prefix", true, Named(kHkeyLocalMachine) + "\\softwareX", {}},
  };
  const RestoreResult result = Run();
  EXPECT_THAT(Restored(result), ::testing::ElementsAre(kUnit, kUnit + "\\in"));
  ASSERT_EQ(result.failures.size(), 5u);
  EXPECT_THAT(result.failures[0], ::testing::StartsWith(kStats + ": not restored: a link"));
  EXPECT_THAT(result.failures[1], ::testing::HasSubstr("a link to a missing key, Stats"));
  EXPECT_THAT(result.failures[2], ::testing::HasSubstr("leads out of"));
  EXPECT_THAT(result.failures[3],
              ::testing::HasSubstr("a link to " + Named(kHkeyCurrentUser) + "\\Software, outside"));
  EXPECT_THAT(result.failures[4], ::testing::HasSubstr("softwareX, outside"));
  // Every key there was is as it was: no value planted, no link changed; the only keys made are
  // the distribution unit's and those above it.
  const auto after = Snapshot(store);
  for (const auto& [key, lines] : before) {
    EXPECT_EQ(after.at(key), lines) << key;
  }
  for (const auto& [key, lines] : after) {
    if (before.count(key) == 0) {
      EXPECT_EQ(AsciiUpper(kUnit).rfind(AsciiUpper(key), 0) == 0 ||
                    AsciiUpper(key) == AsciiUpper(kUnit + "\\in"),
                true)
          << key;
    }
  }
}

// A file may make a link inside the control's keys to any key of the same hive, then name a key
// through it: the link is made, but nothing goes through it, nor through one a user planted.
TEST_F(Restore, NeverGoesThroughALinkInsideTheControlsKeys) {
  const std::string run = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  store.SeedKey(kHkeyLocalMachine, run);
  store.SeedKey(kHkeyCurrentUser, run);
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kStats));
  store.SeedLink(kHkeyCurrentUser, std::string(traces::kStats) + "\\planted", kHkeyCurrentUser,
                 run);
  const auto before = Snapshot(store);
  const std::string evil = "HKEY_CLASSES_ROOT\\CLSID\\" + kGuid + "\\Evil";
  backup.sections = {
      {evil, true, Named(kHkeyLocalMachine) + "\\" + run, {}},
      {evil, false, "", {Value(u"Pwned", kRegSz, {'x', 0})}},
      {evil + "\\below", false, "", {}},
      {kStats + "\\planted", false, "", {Value(u"Pwned", kRegSz, {'x', 0})}},
  };
  const RestoreResult result = Run();
  EXPECT_THAT(Restored(result), ::testing::ElementsAre(evil));
  ASSERT_EQ(result.failures.size(), 3u);
  for (const std::string& failure : result.failures) {
    EXPECT_THAT(failure, ::testing::HasSubstr("stands in its path and is not followed"));
  }
  const auto after = Snapshot(store);
  EXPECT_EQ(after.at("HKEY_LOCAL_MACHINE\\" + run), before.at("HKEY_LOCAL_MACHINE\\" + run));
  EXPECT_EQ(after.at("HKEY_CURRENT_USER\\" + run), before.at("HKEY_CURRENT_USER\\" + run));
  EXPECT_EQ(after.count("HKEY_LOCAL_MACHINE\\" + run + "\\below"), 0u);
}

// A name under HKEY_USERS may be of a hive's form and still name no loaded hive: none is made.
TEST_F(Restore, MakesNoHiveUnderTheUsers) {
  store.SeedKey(kHkeyUsers, ".DEFAULT");
  const auto before = Snapshot(store);
  backup.sections = {
      {"HKEY_USERS\\.DEFAULT_Classes\\CLSID\\" + kGuid, false, "", {Value(u"v", kRegSz, {'x', 0})}},
      {"HKEY_USERS\\S-1-5-21-9-9-9-1001\\" + std::string(traces::kStats), false, "", {}},
      {"HKEY_USERS\\.DEFAULT\\" + std::string(traces::kStats), false, "", {}},
  };
  const RestoreResult result = Run();
  EXPECT_THAT(Restored(result),
              ::testing::ElementsAre("HKEY_USERS\\.DEFAULT\\" + std::string(traces::kStats)));
  ASSERT_EQ(result.failures.size(), 2u);
  EXPECT_THAT(result.failures[0], ::testing::HasSubstr("no hive .DEFAULT_Classes is loaded"));
  EXPECT_THAT(result.failures[1], ::testing::HasSubstr("no hive S-1-5-21-9-9-9-1001 is loaded"));
  const auto after = Snapshot(store);
  for (const auto& [key, lines] : after) {
    EXPECT_TRUE(before.count(key) != 0 || AsciiUpper(key).rfind("HKEY_USERS\\.DEFAULT\\", 0) == 0)
        << key;
  }
}

TEST_F(Restore, AKeyThatCannotBeWrittenIsNamedAndTheRestStays) {
  const std::string entries = traces::kModuleUsage;
  store.SeedKey(kHkeyLocalMachine, entries);
  store.SeedKey(kHkeyCurrentUser, traces::kStats);
  store.SeedAccess(kHkeyCurrentUser, traces::kStats, kKeyRead);
  store.FailCall(MemoryRegistry::Call::Set, kHkeyLocalMachine, entries + "\\b.TessalineWeb_EN.ocx",
                 kErrorAccessDenied);
  backup.sections = {
      {kUsage + "\\a.TessalineWeb_EN.ocx", false, "", {Value(u"v", kRegSz, {})}},
      {kStats, false, "", {Value(u"v", kRegSz, {})}},
      {kUsage + "\\b.TessalineWeb_EN.ocx", false, "", {Value(u"v", kRegSz, {})}},
      {kUsage + "\\c.TessalineWeb_EN.ocx", true, Named(kHkeyLocalMachine) + "\\software", {}},
  };
  store.SeedKey(kHkeyLocalMachine, entries + "\\c.TessalineWeb_EN.ocx");
  backup.cut = kUsage + "\\d.TessalineWeb_EN.ocx";
  const RestoreResult result = Run();
  EXPECT_THAT(Restored(result), ::testing::ElementsAre(kUsage + "\\a.TessalineWeb_EN.ocx"));
  ASSERT_EQ(result.failures.size(), 3u);
  EXPECT_THAT(result.failures[0], ::testing::HasSubstr("cannot be opened or made for writing"));
  EXPECT_THAT(result.failures[1], ::testing::HasSubstr("a value cannot be set (error 5)"));
  EXPECT_THAT(result.failures[2], ::testing::HasSubstr("exists, so the link was not made"));
  // The key whose value failed was made, and stays.
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, entries + "\\b.TessalineWeb_EN.ocx"));
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, entries + "\\d.TessalineWeb_EN.ocx"));
  EXPECT_EQ(result.cutShortNotice,
            kUsage +
                "\\d.TessalineWeb_EN.ocx: its part of the backup was cut short, "
                "so it was never deleted; nothing of it was written.");
}

}  // namespace
