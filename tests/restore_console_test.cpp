// The restore verb over the store, from the bytes of a backup file as the program's writer makes
// them: what it prints, its exit statuses and JSON, and that a file it refuses writes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "CleanFixture.h"
#include "MemoryFiles.h"
#include "backup/RegFile.h"
#include "console/ConsoleProgram.h"
#include "registry/KeyTree.h"
#include "registry/TRegistry.h"

namespace {

const std::string kStats = "HKEY_CURRENT_USER\\" + std::string(traces::kStats);
const std::string kEntry =
    "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) + "\\C:/x/TessalineWeb_EN.ocx";
const std::string kPlanted = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PlantedSvc";

class RestoreConsole : public CleanFixture {
 protected:
  int Run(const std::vector<std::string>& arguments) {
    out.str("");
    err.str("");
    const ConsoleContext context{
        store,
        nullptr,
        [] { return UtcTime(); },
        out,
        err,
        [this](const std::string& path, std::string* failure) { return disk.Open(path, failure); }};
    return RunConsole(arguments, context);
  }

  // Every key with its values, as the store holds them.
  std::vector<std::string> State() {
    std::vector<std::string> lines;
    for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
      ReadTree(store, root, "", [&](const TreeKey& key) {
        lines.push_back(std::to_string(root) + " " + key.path + (key.link ? " -> " : "") +
                        key.linkTarget.value_or(""));
        for (const RegValue& value : key.values) {
          lines.push_back(std::to_string(value.type) + " " +
                          std::string(value.data.begin(), value.data.end()));
        }
        return true;
      });
    }
    return lines;
  }

  // The sections a clean would write for the key and what lies below it, and the key deleted.
  std::vector<BackupSection> TakeAway(RegHandle root, const std::string& rootName,
                                      const std::string& path) {
    std::vector<BackupSection> sections;
    ReadTree(store, root, "\\" + path, [&](const TreeKey& key) {
      sections.push_back({rootName + "\\" + path + (key.path.empty() ? "" : "\\" + key.path),
                          key.link, key.linkTarget, key.values});
      return true;
    });
    TRegistry registry(store);
    registry.SelectRoot(root);
    EXPECT_TRUE(registry.DeleteTree("\\" + path));
    return sections;
  }

  nlohmann::json Json() { return nlohmann::json::parse(out.str()); }

  MemoryFiles disk;  // what restore may read, by path
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(RestoreConsole, PutsBackWhatTheFileHoldsAndSaysSo) {
  store.SeedValue(kHkeyCurrentUser, traces::kStats, {u"", kRegSz, {'a', 0}});
  store.SeedValue(kHkeyCurrentUser, std::string(traces::kStats) + "\\iexplore",
                  {u"odd", kRegSz, {'a', 0, 'b'}});
  store.SeedKey(kHkeyCurrentUser, "Software\\There");
  store.SeedLink(kHkeyCurrentUser, std::string(traces::kStats) + "\\link", kHkeyCurrentUser,
                 "Software\\There");
  AddModuleUsage("C:/x/TessalineWeb_EN.ocx");
  const std::vector<std::string> before = State();
  std::vector<BackupSection> sections =
      TakeAway(kHkeyCurrentUser, "HKEY_CURRENT_USER", traces::kStats);
  for (BackupSection& section :
       TakeAway(kHkeyLocalMachine, "HKEY_LOCAL_MACHINE",
                std::string(traces::kModuleUsage) + "\\C:/x/TessalineWeb_EN.ocx")) {
    sections.push_back(section);
  }
  disk.files["b.reg"] = BackupFileOf(sections);

  EXPECT_EQ(Run({"restore", "b.reg"}), 0);
  EXPECT_EQ(State(), before);
  const std::string stats = "\\" + std::string(traces::kStats);
  EXPECT_EQ(out.str(), "HKEY_CURRENT_USER" + stats + "\nHKEY_CURRENT_USER" + stats +
                           "\\iexplore\nHKEY_CURRENT_USER" + stats + "\\link\n" + kEntry +
                           "\nRestored 4 keys from b.reg\n");
  EXPECT_EQ(err.str(), "");

  // Again, as JSON, as a deployment's retry would: everything is as the file holds it, the link
  // with its target too, so every key counts as put back and nothing changes.
  EXPECT_EQ(Run({"RESTORE", "--json", "b.reg"}), 0);
  nlohmann::json report = Json();
  EXPECT_EQ(report["action"], "restore");
  EXPECT_EQ(report["outcome"], "restored");
  EXPECT_EQ(report["keys"].size(), 4u);
  EXPECT_EQ(report["backup"], "b.reg");
  EXPECT_EQ(report["message"], nullptr);
  EXPECT_EQ(State(), before);

  // A link whose name another key has taken, or a link to another target, stays an error.
  for (const bool otherTarget : {false, true}) {
    TRegistry registry(store);
    registry.SelectRoot(kHkeyCurrentUser);
    ASSERT_TRUE(registry.DeleteTree(stats + "\\link"));
    if (otherTarget) {
      store.SeedLink(kHkeyCurrentUser, std::string(traces::kStats) + "\\link", kHkeyCurrentUser,
                     "Software\\Elsewhere");
    } else {
      store.SeedKey(kHkeyCurrentUser, std::string(traces::kStats) + "\\link");
    }
    EXPECT_EQ(Run({"restore", "--json", "b.reg"}), 1) << otherTarget;
    report = Json();
    EXPECT_EQ(report["outcome"], "stopped");
    EXPECT_EQ(report["keys"].size(), 3u);
    EXPECT_EQ(report["message"], kStats +
                                     "\\link: not restored: a key of that name exists, so "
                                     "the link was not made.");
  }
}

TEST_F(RestoreConsole, AFileItRefusesWritesNothing) {
  const std::vector<BackupSection> good = {{kStats, false, "", {{u"v", kRegDword, {1, 0, 0, 0}}}},
                                           {kEntry, false, "", {}}};
  const std::string whole = BackupFileOf(good);
  // The planted service, alone and after keys that are the control's.
  disk.files["planted.reg"] =
      BackupFileOf({{kPlanted, false, "", {{u"ImagePath", kRegSz, {'x', 0}}}}});
  disk.files["behind.reg"] = BackupFileOf({good[0], good[1], {kPlanted, false, "", {}}});
  disk.files["not-a-backup.reg"] = "Windows Registry Editor Version 5.00\r\n";
  // The first section cut short, the second whole after it.
  const std::string middle = BackupFileOf({good[0]});
  disk.files["cut-middle.reg"] = middle.substr(0, middle.size() - 30) + whole.substr(middle.size());
  const std::vector<std::string> before = State();
  for (const char* name :
       {"planted.reg", "behind.reg", "not-a-backup.reg", "cut-middle.reg", "missing.reg"}) {
    EXPECT_EQ(Run({"restore", name}), 3) << name;
    EXPECT_EQ(out.str(), std::string("Nothing was restored from ") + name + "\n") << name;
    EXPECT_THAT(err.str(), ::testing::StartsWith("Nothing was restored")) << name;
    EXPECT_EQ(State(), before) << name;
  }
  EXPECT_THAT(err.str(), ::testing::HasSubstr("missing.reg cannot be opened"));
  Run({"restore", "behind.reg"});
  EXPECT_THAT(err.str(), ::testing::HasSubstr("not one of the control's: " + kPlanted));
  EXPECT_EQ(Run({"restore", "planted.reg", "--json"}), 3);
  EXPECT_EQ(Json()["outcome"], "refused");
  EXPECT_EQ(Json()["keys"].size(), 0u);
  EXPECT_EQ(State(), before);
}

TEST_F(RestoreConsole, ALastSectionCutShortIsSkippedAndNamed) {
  const std::string whole = BackupFileOf({{kStats, false, "", {}}, {kEntry, false, "", {}}});
  // Cut in the last section's end mark, its key's line whole.
  disk.files["cut.reg"] = whole.substr(0, whole.size() - 12);
  EXPECT_EQ(Run({"restore", "cut.reg"}), 0);
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage)));
  EXPECT_EQ(err.str(), kEntry +
                           ": its part of the backup was cut short, so it was never deleted; "
                           "nothing of it was written.\n");
}

TEST_F(RestoreConsole, WrongUsageExitsTwo) {
  disk.files["b.reg"] = BackupFileOf({{kStats, false, "", {}}});
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{"restore"},
                                             {"restore", "--json"},
                                             {"restore", "b.reg", "c.reg"},
                                             {"restore", "b.reg", "--all-users"},
                                             {"restore", "b.reg", "--backup", "x.reg"},
                                             {"restore", ""}}) {
    EXPECT_EQ(Run(arguments), 2) << arguments.size();
    EXPECT_THAT(err.str(), ::testing::HasSubstr("tessaline-clean restore FILE [--json]"));
  }
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
}

}  // namespace

// Restore tells of each key as it goes, so no list of keys is held whole: standard error has a
// line for every key not put back, the JSON report's message the first hundred and how many more.
TEST_F(RestoreConsole, EveryKeyNotPutBackIsNamedAndTheReportStaysBounded) {
  store.SeedKey(kHkeyCurrentUser, std::string(traces::kStats) + "\\iexplore");
  std::vector<BackupSection> sections =
      TakeAway(kHkeyCurrentUser, "HKEY_CURRENT_USER", traces::kStats);
  for (int index = 0; index < 150; ++index) {
    sections.push_back(
        {"HKEY_USERS\\S-1-5-21-9-9-9-" + std::to_string(index) + "\\" + traces::kStats,
         false,
         "",
         {}});
  }
  disk.files["b.reg"] = BackupFileOf(sections);
  EXPECT_EQ(Run({"restore", "b.reg", "--json"}), 1);
  const nlohmann::json report = Json();
  EXPECT_EQ(report["outcome"], "stopped");
  EXPECT_EQ(report["keys"].size(), sections.size() - 150);
  const std::string message = report["message"];
  EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 100);
  EXPECT_NE(message.find("\n... and 50 more lines"), std::string::npos);
  const std::string errors = err.str();
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 150);
  EXPECT_NE(errors.find("S-1-5-21-9-9-9-149\\"), std::string::npos);
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
}

// On Windows the current user's Software\Classes is a link to the user's classes hive: the
// user's own copies of the control's keys go back there, and a link within that hive is made.
TEST_F(RestoreConsole, TheUsersOwnClassesGoBackIntoTheirClassesHive) {
  const std::string user = "S-1-5-21-1-2-3-1001";
  store.SetCurrentUser(user);
  store.SeedLink(kHkeyCurrentUser, "Software\\Classes", kHkeyUsers, user + "_Classes");
  store.SeedValue(kHkeyUsers, user + "_Classes\\" + traces::kProgId + "\\Clsid",
                  {u"", kRegSz, {'{', 0, 0, 0}});
  store.SeedKey(kHkeyUsers, user + "_Classes\\Elsewhere");
  store.SeedLink(kHkeyUsers, user + "_Classes\\" + traces::kProgId + "\\CurVer", kHkeyUsers,
                 user + "_Classes\\Elsewhere");
  const std::vector<std::string> before = State();
  disk.files["b.reg"] =
      BackupFileOf(TakeAway(kHkeyCurrentUser, "HKEY_CURRENT_USER", traces::kUserProgId));
  ASSERT_FALSE(store.KeyExists(kHkeyUsers, user + "_Classes\\" + traces::kProgId));

  EXPECT_EQ(Run({"restore", "b.reg"}), 0) << err.str();
  EXPECT_EQ(State(), before);
}
