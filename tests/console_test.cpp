// The console program over the store: what it prints where, its exit statuses, its JSON, the
// backup written before each deletion, and every loaded user's hive.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "CleanFixture.h"
#include "MemoryFiles.h"
#include "MemoryHives.h"
#include "RecordingRegistry.h"
#include "backup/BackupName.h"
#include "backup/KeyBackup.h"
#include "backup/RegFile.h"
#include "common/VolumeReserve.h"
#include "console/CommandLine.h"
#include "console/ConsoleProgram.h"
#include "console/RunLog.h"
#include "registry/Utf16.h"

namespace {

// One run's file object over a file that outlives it, as each run makes its own: it names the
// file only once this run made it.
class SharedFile : public BackupFile {
 public:
  explicit SharedFile(BackupFile& file) : file_(file) {}
  std::string Name() const override { return made_ ? file_.Name() : std::string(); }
  bool Create(std::string* why) override { return made_ = file_.Create(why); }
  bool Write(const std::string& bytes, std::string* why) override {
    return file_.Write(bytes, why);
  }
  bool CutTo(std::uint64_t size, std::string* why) override { return file_.CutTo(size, why); }
  bool Flush(std::string* why) override { return file_.Flush(why); }
  bool FreeSpace(std::uint64_t* bytes, std::string* why) override {
    return file_.FreeSpace(bytes, why);
  }
  bool Discard(std::string* why) override { return file_.Discard(why); }

 private:
  BackupFile& file_;
  bool made_ = false;
};

constexpr UtcTime kTime = {2026, 12, 8, 10, 0, 0, 0};

// Run logs by name, as the platform would hold them once it opened them; a name it refuses, and
// a disk that takes only so many more records.
class MemoryLogs : public LogPlatform {
 public:
  std::unique_ptr<LogFile> Open(const std::string& path, std::string* why) override {
    *why = refusal;
    return refusal.empty() ? std::make_unique<File>(*this, path.empty() ? kDefault : path)
                           : nullptr;
  }
  UtcTime Now() override { return {2026, 12, 8, 9, 5, 7, 42}; }
  Runner Who() override { return {"PC-1", "SYSTEM (S-1-5-18)", 77}; }

  // Each record's type and text, failing a line that is not one CMTrace record.
  std::vector<std::string> Texts(const std::string& name = kDefault) {
    static const std::regex record(
        R"re(<!\[LOG\[((?:(?!\]LOG\]).)*)\]LOG\]!><time="\d\d:\d\d:\d\d\.\d{3}\+000" )re"
        R"re(date="\d\d-\d\d-\d{4}" component="tessaline-clean" context="" type="([123])" )re"
        R"re(thread="\d+" file="">\r)re");
    std::vector<std::string> texts;
    std::smatch match;
    std::istringstream lines(files[name]);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_TRUE(std::regex_match(line, match, record)) << line;
      texts.push_back(match[2].str() + " " + match[1].str());
    }
    return texts;
  }

  static constexpr const char* kDefault = "C:\\Windows\\Logs\\Tessaline\\tessaline-clean.log";
  std::map<std::string, std::string> files;
  std::string refusal;
  bool full = false;

  struct File : LogFile {
    File(MemoryLogs& logs, std::string name) : logs(logs), name(std::move(name)) {}
    std::string Name() const override { return name; }
    std::uint64_t Size() const override { return logs.files[name].size(); }
    bool Append(const std::string& bytes, std::string* why) override {
      logs.files[name] += logs.full ? "" : bytes;
      return !logs.full || FailWith(why, "the disk is full");
    }
    bool RollOver(std::string*) override {
      logs.files[RolledOverName(name)] = std::exchange(logs.files[name], "");
      return true;
    }
    MemoryLogs& logs;
    std::string name;
  };
};

// Each key's line, given as pairs of its root and its path; then the summary, when given.
std::string Pairs(const std::vector<std::string>& halves, const std::string& summary = "") {
  std::string text;
  for (std::size_t at = 0; at + 1 < halves.size(); at += 2) {
    text += halves[at] + halves[at + 1] + "\n";
  }
  return text + (summary.empty() ? "" : summary + "\n");
}

std::string Bytes(const std::u16string& text) {
  return Utf16LeBytes(text);
}

class ConsoleTest : public CleanFixture {
 protected:
  int Run(const std::vector<std::string>& arguments) {
    out.str("");
    err.str("");
    const ConsoleContext context{
        through ? *through : store,
        [this](const std::string& path, bool inFolder) {
          backupPaths.push_back((inFolder ? "folder " : "") + path);
          file.path = path;
          return std::make_unique<SharedFile>(file);
        },
        [] { return kTime; },
        out,
        err,
        [this](const std::string& path, std::string* failure) { return disk.Open(path, failure); },
        &hives,
        &store,
        &logs,
        [] { return std::string("PC-1"); },
        fileExists};
    return RunConsole(arguments, context);
  }

  nlohmann::json Json() { return nlohmann::json::parse(out.str()); }

  // The registry the program goes through, when not the store itself.
  RegistryApi* through = nullptr;

  // The installation's pairs of lines, in the clean's order.
  static std::vector<std::string> InstallationPairs() {
    return {"HKEY_CLASSES_ROOT",  Logged(traces::kProgId),
            "HKEY_CLASSES_ROOT",  Logged(traces::kClsid),
            "HKEY_CURRENT_USER",  Logged(traces::kStats),
            "HKEY_LOCAL_MACHINE", Logged(traces::kDistributionUnit),
            "HKEY_LOCAL_MACHINE", Logged(traces::kModuleUsage) + "\\C:/x/TessalineWeb_EN.ocx"};
  }
  void SeedAll() {
    SeedInstallation();
    AddModuleUsage("C:/x/TessalineWeb_EN.ocx");
    AddModuleUsage("C:/x/other.ocx");
  }

  MemoryBackupFile file;
  std::vector<std::string> backupPaths;
  MemoryFiles disk;  // what restore may read, by path
  MemoryHives hives{store};
  MemoryLogs logs;
  std::function<bool(const std::string&)> fileExists;  // none: no file is named
  std::ostringstream out;
  std::ostringstream err;
};

TEST_F(ConsoleTest, CheckListsWhatCleanDeletesThenBothFindNothing) {
  SeedAll();
  const std::vector<std::string> before = store.AllKeys();
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(out.str(), Pairs(InstallationPairs(), "5 keys of TessalineWeb_EN.ocx are present."));
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(store.AllKeys(), before);

  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_EQ(out.str(), Pairs(InstallationPairs(), "Done! 5 keys deleted; no backup"));
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Removed(before).size(), before.size() - store.AllKeys().size());
  EXPECT_TRUE(
      store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\C:/x/other.ocx"));

  EXPECT_EQ(Run({"check"}), 0);
  EXPECT_EQ(out.str(), "Nothing of TessalineWeb_EN.ocx is present.\n");
  EXPECT_EQ(Run({"CLEAN"}), 0);
  EXPECT_EQ(out.str(), "Done! 0 keys deleted; no backup\n");
}

// The control's files the keys found name: only plain paths on a drive letter whose last name is
// the control's, each once, those on disk alone; the platform is asked of no other path.
TEST_F(ConsoleTest, TheFilesTheKeysNameAreNamedWhenLeftOnDisk) {
  store.SetUtf8Names(true);
  SeedInstallation();
  const auto server = [&](RegHandle root, const std::string& key, std::uint32_t type,
                          const std::u16string& path) {
    store.SeedValue(root, key + "\\InprocServer32", {u"", type, LeBytesFromUtf16(path + u'\0')});
  };
  server(kHkeyClassesRoot, traces::kClsid, kRegSz,
         u"C:\\Windows\\Downloaded Program Files\\TessalineWeb_EN.ocx");
  server(kHkeyCurrentUser, traces::kUserClsid, kRegExpandSz, u"D:/Users/u/TESSALINEWEB_EN.OCX");
  for (const char* entry :
       {"c:/windows/downloaded program files/tessalineweb_en.ocx", "E:/gone/TessalineWeb_EN.ocx",
        "C:/a\xE2\x80\xAE/TessalineWeb_EN.ocx", "//attacker/share/TessalineWeb_EN.ocx",
        "//?/C:/x/TessalineWeb_EN.ocx", "//./C:/x/TessalineWeb_EN.ocx",
        "/?\?/C:/x/TessalineWeb_EN.ocx", "C:/x/../TessalineWeb_EN.ocx",
        "C:/x/.. /TessalineWeb_EN.ocx", "C:/x:s/TessalineWeb_EN.ocx", "C:TessalineWeb_EN.ocx",
        "x/TessalineWeb_EN.ocx", "C:/x/TessalineWeb_EN.ocx.bak", "C:/x/MyTessalineWeb_EN.ocx",
        "C:/x\x01/TessalineWeb_EN.ocx", "%SystemRoot%/TessalineWeb_EN.ocx"}) {
    AddModuleUsage(entry);
  }
  std::vector<std::string> asked;
  fileExists = [&](const std::string& path) {
    asked.push_back(path);
    return path[0] != 'E';
  };
  const std::string named =
      "File left on disk: D:\\Users\\u\\TESSALINEWEB_EN.OCX\n"
      "File left on disk: C:\\Windows\\Downloaded Program Files\\TessalineWeb_EN.ocx\n"
      "File left on disk: C:\\a\\u202e\\TessalineWeb_EN.ocx\n";
  const auto endsWith = [&](const std::string& end) {
    return out.str().size() >= end.size() && out.str().substr(out.str().size() - end.size()) == end;
  };
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_TRUE(endsWith(named + "21 keys of TessalineWeb_EN.ocx are present.\n")) << out.str();
  EXPECT_EQ(asked, (std::vector<std::string>{
                       "D:\\Users\\u\\TESSALINEWEB_EN.OCX",
                       "C:\\Windows\\Downloaded Program Files\\TessalineWeb_EN.ocx",
                       "C:\\a\xE2\x80\xAE\\TessalineWeb_EN.ocx", "E:\\gone\\TessalineWeb_EN.ocx"}));
  EXPECT_EQ(Run({"check", "--json"}), 1);
  EXPECT_NE(out.str().find("\"backup\":null,\"files\":[\"D:\\\\Users\\\\u\\\\TESSALINEWEB_EN.OCX\","
                           "\"C:\\\\Windows\\\\Downloaded Program Files\\\\TessalineWeb_EN.ocx\","),
            std::string::npos);
  // The clean reads each class's server before it deletes the class.
  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_TRUE(endsWith(named + "Done! 21 keys deleted; no backup\n")) << out.str();
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, traces::kUserClsid));
  const std::vector<std::string> logged = logs.Texts();
  EXPECT_EQ(logged[logged.size() - 3], "1 File left on disk: C:\\a\\u202e\\TessalineWeb_EN.ocx");
  EXPECT_EQ(Run({"check"}), 0);
  EXPECT_EQ(out.str(), "Nothing of TessalineWeb_EN.ocx is present.\n");
  // A user's hive's class is read through the handle it is deleted through.
  const std::string hiveClass = std::string("S-1-5-21-2_Classes\\") + traces::kClsid;
  store.SeedKey(kHkeyUsers, hiveClass + "\\InprocServer32");
  server(kHkeyUsers, hiveClass, kRegSz, u"F:\\u2\\TessalineWeb_EN.ocx");
  EXPECT_EQ(Run({"clean", "--all-users"}), 0);
  EXPECT_TRUE(
      endsWith("File left on disk: F:\\u2\\TessalineWeb_EN.ocx\nDone! 1 key deleted; no backup\n"))
      << out.str();
  // Past its bound, the rest are counted.
  for (int entry = 0; entry < 103; ++entry) {
    AddModuleUsage("C:/n" + std::to_string(entry) + "/TessalineWeb_EN.ocx");
  }
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_TRUE(
      endsWith("TessalineWeb_EN.ocx\n... and 3 more files left on disk\n103 keys of "
               "TessalineWeb_EN.ocx are present.\n"))
      << out.str();
}

TEST_F(ConsoleTest, AStopPrintsTheNoticeOnStandardErrorAfterTheDeletedPairs) {
  SeedAll();
  store.SeedAccess(kHkeyLocalMachine, traces::kDistributionUnit, kKeyRead);
  EXPECT_EQ(Run({"clean"}), 1);
  const std::vector<std::string> pairs = InstallationPairs();
  EXPECT_EQ(out.str(),
            Pairs({pairs.begin(), pairs.begin() + 6}, "Stopped: 3 keys deleted; no backup"));
  EXPECT_EQ(err.str(), "It failed to Open Distribution Unit in Local Machine\n");
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  const std::vector<std::string> logged = logs.Texts();
  EXPECT_EQ(std::vector<std::string>(logged.end() - 3, logged.end()),
            (std::vector<std::string>{"2 It failed to Open Distribution Unit in Local Machine",
                                      "2 Stopped: 3 keys deleted; no backup",
                                      "2 clean ended: stopped, exit status 1"}));

  EXPECT_EQ(Run({"clean", "--json"}), 1);
  const nlohmann::json report = Json();
  EXPECT_EQ(report["action"], "clean");
  EXPECT_EQ(report["outcome"], "stopped");
  EXPECT_EQ(report["message"], "It failed to Open Distribution Unit in Local Machine");
  EXPECT_EQ(report["keys"], nlohmann::json::array());
  EXPECT_TRUE(report["backup"].is_null());
}

// A name a user chose to draw a false "Done!" into a log, or to hide a line: what could end a line,
// move the cursor or reorder or hide text is escaped on standard output and error, a name that
// spells an escape is shown apart from one, and JSON holds the name exactly.
TEST_F(ConsoleTest, NamesCannotForgeLinesWhereTheyAreShown) {
  const std::string forged =
      "C:/"
      "x\x1b[2K\r\nDone!\xC2\x85\xE2\x80\xA8\xE2\x80\xA9\x7F\xE2\x80\xAE\xE2\x80\x8B\xE2\x81\xA6"
      "\xE2\x81\xA0\xD8\x9C\xF3\xA0\x81\x81\xE1\x9E\xB4\xF0\x9D\x85\xB3/TessalineWeb_EN.ocx";
  AddModuleUsage(forged);
  EXPECT_EQ(Run({"clean"}), 0);
  const std::string shown =
      std::string(traces::kModuleUsage) +
      "\\C:/x\\u001b[2K\\u000d\\u000aDone!\\u0085\\u2028\\u2029\\u007f"
      "\\u202e\\u200b\\u2066\\u2060\\u061c\\udb40\\udc41\\u17b4\\ud834\\udd73/"
      "TessalineWeb_EN.ocx";
  EXPECT_EQ(out.str(),
            Pairs({"HKEY_LOCAL_MACHINE", "\\" + shown}, "Done! 1 key deleted; no backup"));
  AddModuleUsage("u001b/TessalineWeb_EN.ocx");
  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_EQ(out.str(), Pairs({"HKEY_LOCAL_MACHINE", "\\" + std::string(traces::kModuleUsage) +
                                                        "\\u005cu001b/TessalineWeb_EN.ocx"},
                             "Done! 1 key deleted; no backup"));
  // Nor a record of the run log: each line of it stays one record (Texts fails any other).
  AddModuleUsage("C:/x]LOG]!><time=\"\" type=\"1\">]log]/TessalineWeb_EN.ocx");
  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_EQ(logs.Texts()[logs.Texts().size() - 3],
            "1 Deleted HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) +
                "\\C:/x\\u005dLOG]!><time=\"\" type=\"1\">\\u005dlog]/TessalineWeb_EN.ocx");
  EXPECT_NE(logs.files[MemoryLogs::kDefault].find(shown), std::string::npos);
  AddModuleUsage(forged);
  EXPECT_EQ(Run({"clean", "--json"}), 0);
  EXPECT_EQ(Json()["keys"][0]["path"], "\\" + std::string(traces::kModuleUsage) + "\\" + forged);
  // Escaped past ASCII, so no reader takes its U+2028 for the end of the report's one line.
  EXPECT_EQ(out.str().find('\xE2'), std::string::npos);
  // A key kept is named escaped on standard error: here one a link in the middle takes out of
  // its hive.
  store.SeedLink(kHkeyUsers, "S-1-5-21-9\x1b[2J\\software", kHkeyLocalMachine, "Software\\Victim");
  store.SeedKey(kHkeyLocalMachine,
                std::string("Software\\Victim\\") + (traces::kStats + sizeof("software")));
  EXPECT_EQ(Run({"clean", "--all-users"}), 1);
  EXPECT_NE(err.str().find("S-1-5-21-9\\u001b[2J"), std::string::npos) << err.str();
  EXPECT_EQ(err.str().find('\x1b'), std::string::npos) << err.str();
}

TEST_F(ConsoleTest, WrongUsageExitsTwoWithTheUsageAndTouchesNothing) {
  SeedAll();
  const std::vector<std::string> before = store.AllKeys();
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"purge"},
      {"check", "--backup", "b.reg"},
      {"clean", "--backup"},
      {"clean", "--backup", ""},
      {"clean", "--backup="},
      {"clean", "--backup-dir"},
      {"clean", "--backup-dir="},
      {"clean", "--backup-dir", ""},
      {"check", "--backup-dir", "C:\\b"},
      // An option after a backup option is not taken for its value.
      {"clean", "--backup", "--all-users", "--json"},
      {"clean", "--backup", "--json"},
      {"clean", "--backup=--json"},
      {"clean", "--backup-dir", "--all-users"},
      {"clean", "--backup", "-"},
      {"clean", "--backup", "a.reg", "--backup-dir", "C:\\b"},
      {"clean", "--backup", "a.reg", "--backup", "b.reg"},
      {"clean", "--force"},
      {"--all-users"},
      {"check", "clean"},
      {"check", "extra"},
      {"clean", "--log"},
      {"restore", "b.reg", "--log", "--json"},
      {"clean", "--log", "a.log", "--no-log"},
      {"check", "--no-log"},
      // Only the forms the usage shows: Windows' slashes and flags given values are not taken.
      {"clean", "/all-users"},
      {"check", "/json"},
      {"clean", "--json=false"},
      {"clean", "--"},
  };
  for (const std::vector<std::string>& arguments : wrong) {
    const std::string shown = ::testing::PrintToString(arguments);
    EXPECT_EQ(Run(arguments), 2) << shown;
    EXPECT_EQ(out.str(), "") << shown;
    EXPECT_EQ(err.str().rfind("tessaline-clean: ", 0), 0u) << shown;
    EXPECT_NE(err.str().find("Usage:\n  tessaline-clean check"), std::string::npos) << shown;
    // In the program's own words, never the parser's.
    const std::string said = err.str().substr(0, err.str().find('\n'));
    EXPECT_EQ(said.find("subcommand"), std::string::npos) << said;
    EXPECT_EQ(said.find("xpected"), std::string::npos) << said;
  }
  Run({"purge"});
  EXPECT_EQ(err.str().substr(0, err.str().find('\n')),
            "tessaline-clean: \"purge\" is no verb: the verbs are check, clean and restore, and "
            "come first");
  EXPECT_EQ(store.AllKeys(), before);
  EXPECT_TRUE(backupPaths.empty());
  EXPECT_TRUE(logs.files.empty());
}

TEST_F(ConsoleTest, BackupOptionsNameTheirPlaceWhateverTheSpelling) {
  SeedAll();
  EXPECT_EQ(Run({"clean", "--backup-dir", "C:\\Program Files\\Tessaline\\backups", "--json"}), 0);
  EXPECT_EQ(Run({"clean", "--backup=C:\\b.reg", "--all-users"}), 0);
  EXPECT_EQ(Run({"clean", "--json", "--backup-dir=.\\-dash"}), 0);
  EXPECT_EQ(backupPaths, (std::vector<std::string>{"folder C:\\Program Files\\Tessaline\\backups",
                                                   "C:\\b.reg", "folder .\\-dash"}));
}

// Standard output that takes nothing: the run ends as it would, and says so on standard error.
class FailingBuffer : public std::streambuf {
 protected:
  int overflow(int) override { return traits_type::eof(); }
  std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST_F(ConsoleTest, OutputThatCannotBeWrittenIsStatusFourAfterTheRun) {
  SeedAll();
  FailingBuffer failing;
  std::ostream broken(&failing);
  std::ostringstream errors;
  const auto run = [&](const std::vector<std::string>& arguments) {
    errors.str("");
    const ConsoleContext context{store, nullptr, [] { return kTime; }, broken, errors, nullptr};
    const int status = RunConsole(arguments, context);
    broken.clear();
    return status;
  };
  EXPECT_EQ(run({"clean", "--json"}), 4);
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kProgId));
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  EXPECT_EQ(errors.str(), "tessaline-clean: the output could not be written to standard output\n");
  // A stop still tells its notice, then the lost output.
  SeedAll();
  store.SeedAccess(kHkeyLocalMachine, traces::kDistributionUnit, kKeyRead);
  EXPECT_EQ(run({"clean"}), 4);
  EXPECT_EQ(errors.str(),
            "It failed to Open Distribution Unit in Local Machine\n"
            "tessaline-clean: the output could not be written to standard output\n");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"check"}, {"--help"}, {"--version"}}) {
    EXPECT_EQ(run(arguments), 4) << arguments[0];
  }
  // Usage errors go to standard error only, so they keep their status.
  EXPECT_EQ(run({"purge"}), 2);
}

// On Linux, the run log's rules; the platform's file, where it may go and through what, is shown
// under Wine by end_to_end_console, and its folder's owner, which Wine does not keep, by
// folder_trust_test's cases.
TEST(RunLogRules, ARecordIsOneCmTraceLineAndAFullLogIsRenamedAsTheDeploymentToolsDo) {
  EXPECT_EQ(
      CmTraceRecord("Deleted HKEY_USERS\\S-1\\k", LogType::kWarning, {2026, 1, 2, 3, 4, 5, 6}, 7),
      "<![LOG[Deleted HKEY_USERS\\S-1\\k]LOG]!><time=\"03:04:05.006+000\" date=\"01-02-2026\" "
      "component=\"tessaline-clean\" context=\"\" type=\"2\" thread=\"7\" file=\"\">\r\n");
  EXPECT_FALSE(RollsOver(0, kLogRollOverSize + 1));
  EXPECT_EQ(RolledOverName("C:\\Logs\\tessaline-clean.log"), "C:\\Logs\\tessaline-clean.lo_");
}

// Each clean and restore appends its record to the log, a check only to one it is given; a log
// that cannot be written is said once, and the run and its status stay as they would be.
TEST_F(ConsoleTest, TheRunLogRecordsEachRunAndNeverChangesIt) {
  SeedAll();
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_TRUE(logs.files.empty());
  EXPECT_EQ(Run({"check", "--log", "C:\\c.log"}), 1);
  EXPECT_EQ(logs.Texts("C:\\c.log")[2], "1 Found HKEY_CLASSES_ROOT" + Logged(traces::kProgId));
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 0);
  std::vector<std::string> expected = {
      "1 tessaline-clean " + std::string(ConsoleVersion()) +
          " on PC-1 as SYSTEM (S-1-5-18), started 2026-12-08 09:05:07 UTC",
      "1 Command line: clean --backup b.reg"};
  const std::vector<std::string> pairs = InstallationPairs();
  for (std::size_t at = 0; at < pairs.size(); at += 2) {
    expected.push_back("1 Deleted " + pairs[at] + pairs[at + 1]);
  }
  expected.push_back("1 Backup file: C:\\work\\b.reg");
  expected.push_back("1 Done! 5 keys deleted; backup: C:\\work\\b.reg");
  expected.push_back("1 clean ended: done, exit status 0");
  EXPECT_EQ(logs.Texts(), expected);
  // Runs append; --no-log writes nothing.
  const std::string first = logs.files[MemoryLogs::kDefault];
  EXPECT_EQ(Run({"clean", "--no-log"}), 0);
  EXPECT_EQ(Run({"clean", "--json"}), 0);
  EXPECT_EQ(logs.files[MemoryLogs::kDefault].substr(0, first.size()), first);
  EXPECT_EQ(logs.Texts().size(), expected.size() + 4);
  // Past its bound, the log goes on in a new file, the older one renamed.
  logs.files[MemoryLogs::kDefault] = std::string(kLogRollOverSize - 600, 'x');
  SeedAll();
  EXPECT_EQ(Run({"clean"}), 0);
  const std::string rolled = logs.files[RolledOverName(MemoryLogs::kDefault)];
  EXPECT_LE(rolled.size(), kLogRollOverSize);
  EXPECT_EQ(rolled.find_first_not_of('x'), kLogRollOverSize - 600);
  EXPECT_EQ(logs.Texts().back(), "1 clean ended: done, exit status 0");
  // Restore's keys as it puts each back.
  disk.files["b.reg"] = file.bytes;
  EXPECT_EQ(Run({"restore", "b.reg", "--log", "C:\\r.log"}), 0);
  EXPECT_EQ(logs.Texts("C:\\r.log")[2],
            "1 Restored HKEY_CLASSES_ROOT" + Logged(traces::kProgId) + "\\Clsid");
  // A disk that is full, or a log refused: said once on standard error, the run as it would be.
  const std::string said =
      "tessaline-clean: the log cannot be written, the run goes on without it: ";
  SeedAll();
  logs.full = true;
  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_EQ(out.str(), Pairs(InstallationPairs(), "Done! 5 keys deleted; no backup"));
  EXPECT_EQ(err.str(), said + "the disk is full\n");
  logs.refusal = "C:\\t\\open is not safe for a log: S-1-1-0 may change what it holds";
  EXPECT_EQ(Run({"clean", "--log", "C:\\t\\open\\r.log"}), 0);
  EXPECT_EQ(err.str(), said + logs.refusal + "\n");
}

TEST(BackupFileName, HoldsTheUtcTimeAndTheProcess) {
  EXPECT_EQ(BackupFileName({2026, 1, 2, 3, 4, 5}, 4242),
            "tessaline-backup-20260102T030405Z-4242.reg");
  EXPECT_EQ(BackupFileName({2026, 12, 31, 23, 59, 59}, 4294967295ul),
            "tessaline-backup-20261231T235959Z-4294967295.reg");
}

TEST_F(ConsoleTest, HelpShowsTheExitStatusesAndVersionTheVersion) {
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out.str().find("Exit status:\n  0  nothing present"), std::string::npos);
  EXPECT_NE(out.str().find("  4  an unexpected failure\n"), std::string::npos);
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out.str(), std::string("tessaline-clean ") + ConsoleVersion() + "\n");
  EXPECT_EQ(Run({"--version", "check"}), 2);
  for (const std::vector<std::string>& asking :
       {std::vector<std::string>{"clean", "--help"}, {"/?"}, {"check", "-h", "--json"}}) {
    EXPECT_EQ(Run(asking), 0);
    EXPECT_EQ(out.str(), UsageText());
  }
}

TEST_F(ConsoleTest, CheckAsJsonCountsWhatLiesBelowEachKey) {
  SeedAll();
  store.SeedValue(kHkeyClassesRoot, traces::kClsid, {u"", kRegSz, {0x41, 0, 0, 0}});
  store.SeedValue(kHkeyClassesRoot, std::string(traces::kClsid) + "\\InprocServer32",
                  {u"ThreadingModel", kRegSz, {0x41, 0, 0, 0}});
  // A name that is not UTF-8 comes out replaced, so the report stays valid JSON.
  AddModuleUsage("C:/\xFF/TessalineWeb_EN.ocx\"");
  EXPECT_EQ(Run({"check", "--json"}), 1);
  const nlohmann::json report = Json();
  // Where and when, then the action and its keys, then how it ended: one order for every verb.
  std::vector<std::string> fields;
  const nlohmann::ordered_json ordered = nlohmann::ordered_json::parse(out.str());
  for (const auto& field : ordered.items()) {
    fields.push_back(field.key());
  }
  EXPECT_EQ(fields,
            (std::vector<std::string>{"schemaVersion", "program", "version", "computer", "started",
                                      "action", "keys", "outcome", "exitStatus", "durationMs",
                                      "message", "backup", "files", "moreFiles"}));
  EXPECT_EQ(report["computer"], "PC-1");
  EXPECT_EQ(report["started"], "2026-12-08T10:00:00.000Z");
  EXPECT_EQ(report["exitStatus"], 1);
  EXPECT_EQ(report["outcome"], "present");
  EXPECT_TRUE(report["message"].is_null());
  ASSERT_EQ(report["keys"].size(), 6u);
  const nlohmann::json& clsid = report["keys"][1];
  EXPECT_EQ(clsid["root"], "HKEY_CLASSES_ROOT");
  EXPECT_EQ(clsid["path"], Logged(traces::kClsid));
  EXPECT_EQ(clsid["subkeys"], 4);  // InprocServer32, TypeLib, Implemented Categories and its one
  EXPECT_EQ(clsid["values"], 2);
  EXPECT_EQ(report["keys"][5]["path"],
            Logged(traces::kModuleUsage) + "\\C:/\xEF\xBF\xBD/TessalineWeb_EN.ocx\"");

  // A key that cannot be read whole is still listed; how much lies below it is not known.
  store.SeedAccess(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib", 0);
  EXPECT_EQ(Run({"check", "--json"}), 1);
  EXPECT_TRUE(Json()["keys"][1]["subkeys"].is_null());
  EXPECT_TRUE(Json()["keys"][1]["values"].is_null());
}

TEST_F(ConsoleTest, TheBackupHoldsEachKeyBeforeItIsDeleted) {
  // A run that deletes nothing makes no file.
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 0);
  EXPECT_FALSE(file.made);
  EXPECT_TRUE(Json()["backup"].is_null());

  SeedAll();
  store.SeedValue(kHkeyCurrentUser, traces::kStats, {u"Flags", kRegDword, {4, 0, 0, 0}});
  // At each deletion, the key being deleted and what it holds are on disk, its section whole.
  std::vector<std::string> deleted;
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete) {
      const ParsedBackup onDisk = ReadWhole(file.bytes);
      EXPECT_TRUE(onDisk.valid) << onDisk.error;
      EXPECT_FALSE(onDisk.cutKey.has_value());
      EXPECT_TRUE(!onDisk.sections.empty() && onDisk.sections.back().keyName == site.keyPath)
          << site.keyPath;
      deleted.push_back(site.keyPath);
    }
    return std::nullopt;
  });
  // The file is named in full, for a restore from anywhere.
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 0);
  EXPECT_EQ(backupPaths, (std::vector<std::string>{"b.reg", "b.reg"}));
  EXPECT_EQ(Json()["outcome"], "done");
  EXPECT_EQ(Json()["backup"], "C:\\work\\b.reg");
  // Only check tells how much lies below a key.
  EXPECT_EQ(Json()["keys"][0],
            (nlohmann::json{{"root", "HKEY_CLASSES_ROOT"}, {"path", Logged(traces::kProgId)}}));

  const std::string start =
      Bytes(RegFileHeader({ConsoleVersion(), UtcText(kTime)}, "C:\\work\\b.reg"));
  ASSERT_EQ(file.bytes.substr(0, start.size()), start);
  const std::string stats = Bytes(
      u"[HKEY_CURRENT_USER\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
      u"{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}]\r\n\"Flags\"=dword:00000004\r\n"
      u"; end of key, 1 values\r\n\r\n");
  EXPECT_NE(file.bytes.find(stats), std::string::npos);
  // The file reads back as the backup of every key deleted, deepest first.
  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  ASSERT_EQ(parsed.sections.size(), deleted.size());
  for (std::size_t i = 0; i < deleted.size(); ++i) {
    EXPECT_EQ(parsed.sections[i].keyName, deleted[i]);
  }
  EXPECT_EQ(deleted.front(), "HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX\\Clsid");
  EXPECT_EQ(deleted[1], "HKEY_CLASSES_ROOT\\ActiveFormProj1.ActiveFormX");
  EXPECT_NE(deleted.back().find("ModuleUsage\\C:/x/TessalineWeb_EN.ocx"), std::string::npos);
  // A second run never writes to the file the first one made.
  SeedAll();
  const std::vector<std::string> before = store.AllKeys();
  const std::string firstRun = file.bytes;
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_EQ(file.bytes, firstRun);
  EXPECT_EQ(store.AllKeys(), before);
  EXPECT_EQ(Json()["outcome"], "backup-failed");
}

TEST_F(ConsoleTest, AFailedBackupKeepsTheKeyAndStopsWithStatusThree) {
  SeedAll();
  const std::vector<std::string> before = store.AllKeys();
  // A file that was there before is never written to.
  file.exists = true;
  file.bytes = "not a registry file";
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_EQ(store.AllKeys(), before);
  EXPECT_EQ(file.bytes, "not a registry file");
  EXPECT_EQ(Json()["outcome"], "backup-failed");
  EXPECT_TRUE(Json()["backup"].is_null());
  EXPECT_NE(err.str().find("The backup failed: b.reg exists already."), std::string::npos);

  // A key below the class that cannot be read: the ProgID went, the class and all after it stay.
  file = MemoryBackupFile();
  store.FailCall(MemoryRegistry::Call::Value, kHkeyClassesRoot,
                 std::string(traces::kClsid) + "\\TypeLib", kErrorAccessDenied);
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 3);
  EXPECT_EQ(out.str(), Pairs({"HKEY_CLASSES_ROOT", Logged(traces::kProgId)},
                             "Stopped: 1 key deleted; backup: C:\\work\\b.reg"));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kProgId));
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib"));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
  EXPECT_NE(err.str().find("cannot read all of HKEY_CLASSES_ROOT\\CLSID"), std::string::npos);
  store.SetHook(nullptr);
  // One that cannot even be opened for its deletion stops the run as without a backup.
  file = MemoryBackupFile();
  SeedAll();
  store.SeedAccess(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib", 0);
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 1);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib"));
  EXPECT_EQ(err.str(), "It failed to delte CLSID\n");

  // A file that stops taking bytes before any key went holds no deleted key: it is removed, so
  // retries that fail so leave no files behind.
  store.SeedAccess(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib", kKeyAllAccess);
  file = MemoryBackupFile();
  file.failWrite = true;
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_TRUE(file.discarded);
  EXPECT_TRUE(Json()["backup"].is_null());
  EXPECT_NE(Json()["message"].get<std::string>().find("the disk is full"), std::string::npos);

  // One that holds a deleted key stays, and is named.
  file = MemoryBackupFile();
  store.FailCall(MemoryRegistry::Call::Value, kHkeyCurrentUser, traces::kStats, kErrorAccessDenied);
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_FALSE(file.discarded);
  EXPECT_EQ(Json()["backup"], "C:\\work\\b.reg");
  store.SetHook(nullptr);
}

// A volume with little room left keeps it: a section that could take the backup's volume below
// its reserve is not written, and its key stays.
TEST_F(ConsoleTest, TheBackupLeavesItsVolumeItsReserve) {
  SeedAll();
  store.SeedValue(kHkeyCurrentUser, traces::kStats,
                  {u"big", kRegBinary, std::vector<std::uint8_t>(100000, 0xAB)});
  file.freeSpace = kVolumeReserve + 200000;
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats));
  EXPECT_NE(Json()["message"].get<std::string>().find(
                "could leave the backup's volume less than 256 MB free"),
            std::string::npos);
  EXPECT_LE(file.written.size() + kVolumeReserve, file.freeSpace);
  // With the room, it goes.
  file = MemoryBackupFile();
  file.freeSpace = kVolumeReserve + 2000000;
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 0);
  EXPECT_FALSE(store.KeyExists(kHkeyCurrentUser, traces::kStats));

  // Entries written ahead together count what the batch wrote before them against the room
  // the volume had at its start: those that fit go, the rest stay.
  const std::string list = std::string(traces::kModuleUsage) + "\\C:/App ";
  // Entries 10 up to the end, each with one binary value of the size given for its number.
  const auto seedEntries = [&](int end, const std::function<std::size_t(int)>& size) {
    store = MemoryRegistry();
    file = MemoryBackupFile();
    for (int number = 10; number < end; ++number) {
      store.SeedValue(kHkeyLocalMachine, list + std::to_string(number) + "/TessalineWeb_EN.ocx",
                      {u"big", kRegBinary, std::vector<std::uint8_t>(size(number), 0xAB)});
    }
  };
  // Another's file leaves the volume just over the reserve once the entry is being read.
  bool filled = false;
  const auto fillWhileReading = [&](const std::string& number) {
    filled = false;
    store.SetHook([&, number](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (!filled && site.call == MemoryRegistry::Call::Value &&
          site.keyPath == "HKEY_LOCAL_MACHINE\\" + list + number + "/TessalineWeb_EN.ocx") {
        filled = true;
        file.freeSpace = file.written.size() + kVolumeReserve + 1000;
      }
      return std::nullopt;
    });
  };
  seedEntries(40, [](int) { return 10000; });
  file.freeSpace = kVolumeReserve + 500000;
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 3);
  EXPECT_LE(file.written.size() + kVolumeReserve, file.freeSpace);
  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  EXPECT_GE(parsed.sections.size(), 3u);
  EXPECT_LT(parsed.sections.size(), 30u);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, list + "39/TessalineWeb_EN.ocx"));

  // Another's file fills the volume to just over the reserve while a batch is written: the run
  // sees it and stops, the reserve kept.
  seedEntries(40, [](int) { return 10000; });
  fillWhileReading("12");
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 3);
  store.SetHook(nullptr);
  EXPECT_TRUE(filled);
  EXPECT_LE(file.written.size() + kVolumeReserve, file.freeSpace);

  // So does a large entry early in a batch: the room is read again before it is written.
  seedEntries(14, [](int number) { return number == 12 ? 1000000 : 10; });
  file.freeSpace = kVolumeReserve + 100000000;
  fillWhileReading("11");
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 3);
  store.SetHook(nullptr);
  EXPECT_TRUE(filled);
  EXPECT_LE(file.written.size() + kVolumeReserve, file.freeSpace);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, list + "12/TessalineWeb_EN.ocx"));
}

// A value that grows between the first look at its key and its writing cannot take the volume
// below its reserve either: a large key's values are read again as they are written, and its
// section stops at its bound; a small key's are written as first read, and the change shows
// when it is read again. Either way the key stays, and its section is not in the file.
TEST_F(ConsoleTest, AValueThatGrowsWhileItsKeyIsBackedUpLeavesTheReserve) {
  struct Case {
    std::size_t firstSize;
    std::string why;
  };
  for (const Case& growing :
       {Case{300000, "grew while it was backed up"}, Case{1, "changed while it was backed up"}}) {
    store = MemoryRegistry();
    file = MemoryBackupFile();
    SeedAll();
    store.SeedValue(kHkeyCurrentUser, traces::kStats,
                    {u"grows", kRegBinary, std::vector<std::uint8_t>(growing.firstSize, 1)});
    file.freeSpace = kVolumeReserve + 3000000;
    int reads = 0;
    store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (site.call == MemoryRegistry::Call::Value && site.index == 0 &&
          site.keyPath == "HKEY_CURRENT_USER\\" + std::string(traces::kStats) && ++reads == 2) {
        store.SeedValue(kHkeyCurrentUser, traces::kStats,
                        {u"grows", kRegBinary, std::vector<std::uint8_t>(2000000, 0xAB)});
      }
      return std::nullopt;
    });
    EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), kRetryStatus) << growing.why;
    store.SetHook(nullptr);
    EXPECT_EQ(reads, 2) << growing.why;
    EXPECT_LE(file.written.size() + kVolumeReserve, file.freeSpace) << growing.why;
    EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, traces::kStats)) << growing.why;
    EXPECT_NE(Json()["message"].get<std::string>().find(growing.why), std::string::npos)
        << Json()["message"];
    const ParsedBackup parsed = ReadWhole(file.bytes);
    ASSERT_TRUE(parsed.valid) << parsed.error;
    EXPECT_FALSE(parsed.cutKey.has_value()) << growing.why;
  }
}

// A run that stops inside its first target has deleted the keys below it that went first: the
// file that holds them stays.
TEST_F(ConsoleTest, ARunStoppedInsideItsFirstTargetKeepsTheFileOfWhatItDeleted) {
  SeedAll();
  const std::string first = std::string(traces::kProgId) + "\\Clsid";
  const std::string unreadable = std::string(traces::kProgId) + "\\Zz";
  store.SeedKey(kHkeyClassesRoot, unreadable);
  store.FailCall(MemoryRegistry::Call::Value, kHkeyClassesRoot, unreadable, kErrorAccessDenied);
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 3);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, unreadable));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, first));
  EXPECT_FALSE(file.discarded);
  EXPECT_EQ(Json()["backup"], "C:\\work\\b.reg");
  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  ASSERT_EQ(parsed.sections.size(), 1u);
  EXPECT_EQ(parsed.sections[0].keyName, "HKEY_CLASSES_ROOT\\" + first);
}

// The module-usage entries go to the backup a batch at a time, on disk together before the first
// of them is deleted; an entry that changed since its section was written, and every entry after
// it, stays out of the file, and the file holds exactly the keys deleted.
TEST_F(ConsoleTest, EntriesAreWrittenAheadABatchAtATimeAndOnlyDeletedOnesStay) {
  const auto entry = [](int number) {
    return "C:/App " + std::to_string(1000 + number) + "/TessalineWeb_EN.ocx";
  };
  const auto seedEntries = [&] {
    for (int number = 0; number < 250; ++number) {
      store.SeedValue(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry(number),
                      {u".Owner", kRegSz, {'x', 0, 0, 0}});
    }
  };
  // At each deletion the key deleted is whole on disk; an entry with a key below it, which is
  // written the usual way, ends its batch's writing ahead.
  seedEntries();
  store.SeedKey(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry(50) + "\\sub");
  std::size_t deletions = 0;
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete) {
      const ParsedBackup onDisk = ReadWhole(file.bytes);
      EXPECT_TRUE(onDisk.valid) << onDisk.error;
      EXPECT_TRUE(std::any_of(
          onDisk.sections.begin(), onDisk.sections.end(),
          [&](const BackupSection& section) { return section.keyName == site.keyPath; }))
          << site.keyPath;
      ++deletions;
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 0);
  store.SetHook(nullptr);
  EXPECT_EQ(deletions, 251u);
  // The heading, then three batches, and the fifty entries after the one with a key below it
  // one at a time: not one flush an entry.
  EXPECT_LE(file.flushes, 4u + 51u);
  const ParsedBackup whole = ReadWhole(file.bytes);
  ASSERT_TRUE(whole.valid) << whole.error;
  EXPECT_EQ(whole.sections.size(), 251u);

  // Entry 130 changes after its batch was written: entries 100 to 129 go, and their sections
  // stay; 130 and the rest of the batch stay, out of the file.
  store = MemoryRegistry();
  file = MemoryBackupFile();
  seedEntries();
  const std::string changed =
      "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) + "\\" + entry(130);
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete &&
        site.keyPath ==
            "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) + "\\" + entry(129)) {
      store.SeedValue(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry(130),
                      {u".Owner", kRegSz, {'y', 0, 0, 0}});
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), kRetryStatus);
  store.SetHook(nullptr);
  EXPECT_NE(err.str().find("changed while it was backed up"), std::string::npos) << err.str();
  EXPECT_FALSE(
      store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry(129)));
  EXPECT_TRUE(
      store.KeyExists(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry(130)));
  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  ASSERT_EQ(parsed.sections.size(), 130u);
  EXPECT_EQ(parsed.sections.back().keyName,
            "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) + "\\" + entry(129));
  for (const BackupSection& section : parsed.sections) {
    EXPECT_FALSE(store.KeyExists(
        kHkeyLocalMachine, section.keyName.substr(std::string("HKEY_LOCAL_MACHINE\\").size())))
        << section.keyName;
  }
  EXPECT_NE(changed, parsed.sections.back().keyName);

  // The run stops at entry 150, which cannot be opened for its deletion: the sections written
  // ahead for it and the rest of its batch go when the run ends.
  store = MemoryRegistry();
  file = MemoryBackupFile();
  seedEntries();
  int opens = 0;
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    // Its first open is the batch's, which writes it ahead.
    if (site.call == MemoryRegistry::Call::Open &&
        site.keyPath ==
            "HKEY_LOCAL_MACHINE\\" + std::string(traces::kModuleUsage) + "\\" + entry(150) &&
        ++opens == 2) {
      return kErrorAccessDenied;
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 1);
  store.SetHook(nullptr);
  EXPECT_EQ(opens, 2);
  const ParsedBackup stopped = ReadWhole(file.bytes);
  ASSERT_TRUE(stopped.valid) << stopped.error;
  EXPECT_EQ(stopped.sections.size(), 150u);
}

// An entry written ahead is watched from before its first value is read until its handle is
// closed: one changed after a value of it was read, or given a subkey, stays, its section out of
// the file.
TEST_F(ConsoleTest, AnEntryChangedOnceItsReadingBeganStays) {
  const std::string list = std::string(traces::kModuleUsage) + "\\";
  const std::string shown = "HKEY_LOCAL_MACHINE\\" + list;
  const std::vector<std::pair<std::string, std::function<void()>>> changes = {
      {"C:/A/TessalineWeb_EN.ocx",
       [&] {
         store.SeedValue(kHkeyLocalMachine, list + "C:/A/TessalineWeb_EN.ocx",
                         {u".Owner", kRegSz, {'y', 0, 0, 0}});
       }},
      {"C:/B/TessalineWeb_EN.ocx",
       [&] { store.SeedKey(kHkeyLocalMachine, list + "C:/B/TessalineWeb_EN.ocx\\made"); }},
  };
  for (const auto& [entry, change] : changes) {
    store = MemoryRegistry();
    file = MemoryBackupFile();
    store.SeedValue(kHkeyLocalMachine, list + entry, {u".Owner", kRegSz, {'x', 0, 0, 0}});
    store.SeedValue(kHkeyLocalMachine, list + entry, {u"Path", kRegSz, {'p', 0, 0, 0}});
    // Once, while its second value is read to be written ahead, after the first was.
    bool changed = false;
    // The watches set at each close of a handle to it: the first, the handle it was written
    // ahead through, is closed before its watch ends.
    std::vector<std::size_t> watchesAtClose;
    store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (!changed && site.call == MemoryRegistry::Call::Value && site.index == 1 &&
          site.keyPath == shown + entry) {
        changed = true;
        change();
      }
      if (site.call == MemoryRegistry::Call::Close && site.keyPath == shown + entry) {
        watchesAtClose.push_back(store.WatchCount());
      }
      return std::nullopt;
    });
    EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), kRetryStatus) << entry;
    store.SetHook(nullptr);
    EXPECT_TRUE(changed) << entry;
    ASSERT_FALSE(watchesAtClose.empty()) << entry;
    EXPECT_EQ(watchesAtClose.front(), 1u) << entry;
    EXPECT_EQ(store.WatchCount(), 0u) << entry;
    EXPECT_NE(err.str().find(entry + " changed while it was backed up"), std::string::npos)
        << err.str();
    EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, list + entry)) << entry;
    // Nothing was deleted, so the file is gone.
    EXPECT_TRUE(file.discarded) << entry;
  }
}

// Wine answers the deletion of a key through a handle to a key already deleted with success, and
// marks no watch when another deletes its key or renames the list above it. An entry written
// ahead that was deleted and made again by its name meanwhile, or moved with its list, is not
// reported deleted while a key of its name stays, and its section leaves the file.
class WineLikeRegistry : public RecordingRegistry {
 public:
  using RecordingRegistry::RecordingRegistry;
  RegStatus DeleteOpenKey(RegHandle key) override {
    const RegStatus status = RecordingRegistry::DeleteOpenKey(key);
    return status == kErrorKeyDeleted ? kErrorSuccess : status;
  }
  // Once the list is taken to be renamed, its keys' names tell so.
  RegStatus QueryKeyName(RegHandle key, std::string* name) override {
    const RegStatus status = RecordingRegistry::QueryKeyName(key, name);
    const std::size_t at = name->find("\\ModuleUsage\\");
    if (listRenamed && status == kErrorSuccess && at != std::string::npos) {
      name->insert(at + std::string("\\ModuleUsage").size(), "Old");
    }
    return status;
  }
  bool listRenamed = false;
};

TEST_F(ConsoleTest, AnEntryGoneFromWhereItWasWrittenAheadIsNotReportedDeleted) {
  const std::string list = std::string(traces::kModuleUsage) + "\\";
  const std::string first = list + "C:/A/TessalineWeb_EN.ocx";
  const std::string second = list + "C:/B/TessalineWeb_EN.ocx";
  WineLikeRegistry wine(store);
  through = &wine;
  for (const bool rename : {false, true}) {
    store = MemoryRegistry();
    file = MemoryBackupFile();
    wine.listRenamed = false;
    store.SeedValue(kHkeyLocalMachine, first, {u"Path", kRegSz, {'a', 0, 0, 0}});
    store.SeedValue(kHkeyLocalMachine, second, {u"Path", kRegSz, {'b', 0, 0, 0}});
    // When the first goes, both are written ahead and watched.
    bool raced = false;
    store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (raced || site.call != MemoryRegistry::Call::Delete ||
          site.keyPath != "HKEY_LOCAL_MACHINE\\" + first) {
        return std::nullopt;
      }
      raced = true;
      if (rename) {
        wine.listRenamed = true;
        return std::nullopt;
      }
      RegHandle other = kNoHandle;
      EXPECT_EQ(store.OpenKeyW(kHkeyLocalMachine, Utf8ToUtf16(second), kRegOptionOpenLink, kDelete,
                               &other),
                kErrorSuccess);
      EXPECT_EQ(store.DeleteOpenKey(other), kErrorSuccess);
      store.CloseKey(other);
      store.SeedValue(kHkeyLocalMachine, second, {u"Planted", kRegSz, {'e', 0, 0, 0}});
      return std::nullopt;
    });
    EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), kRetryStatus) << rename;
    store.SetHook(nullptr);
    EXPECT_TRUE(raced);
    EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, second)) << rename;
    EXPECT_EQ(out.str().find("C:/B/TessalineWeb_EN.ocx"), std::string::npos) << out.str();
    const ParsedBackup parsed = ReadWhole(file.bytes);
    ASSERT_TRUE(parsed.valid) << parsed.error;
    ASSERT_EQ(parsed.sections.size(), 1u) << rename;
    EXPECT_EQ(parsed.sections[0].keyName, "HKEY_LOCAL_MACHINE\\" + first);
  }
}

// A key that cannot be deleted once its section is on disk, as when a subkey is made under it
// right before, stays, and its section goes from the file: a file holds only keys deleted, and a
// run that deleted none leaves none.
TEST_F(ConsoleTest, TheSectionOfAKeyThatCouldNotBeDeletedAfterAllGoes) {
  SeedAll();
  const std::string first = std::string(traces::kProgId) + "\\Clsid";
  store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete &&
        site.keyPath == "HKEY_CLASSES_ROOT\\" + first) {
      store.SeedKey(kHkeyClassesRoot, first + "\\made meanwhile");
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--backup", "b.reg", "--json"}), 1);
  store.SetHook(nullptr);
  EXPECT_TRUE(store.KeyExists(kHkeyClassesRoot, first + "\\made meanwhile"));
  EXPECT_TRUE(file.discarded);
  EXPECT_TRUE(Json()["backup"].is_null());
}

TEST_F(ConsoleTest, EveryLoadedUserIsCleanedOnceAndClassesHivesAreLeftAlone) {
  const std::string sid = "S-1-5-21-1";
  for (const std::string& hive :
       {std::string(".DEFAULT"), std::string("S-1-5-18"), sid, sid + "_Classes"}) {
    store.SeedKey(kHkeyUsers, hive + "\\" + traces::kStats + "\\iexplore");
  }
  // The current user's key is the one in the user's own hive, reached by another name.
  store.SeedLink(kHkeyCurrentUser, "software", kHkeyUsers, sid + "\\software");
  const std::vector<std::string> expected = {
      "HKEY_CURRENT_USER", Logged(traces::kStats),
      "HKEY_USERS",        "\\.DEFAULT" + Logged(traces::kStats),
      "HKEY_USERS",        "\\S-1-5-18" + Logged(traces::kStats)};

  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(out.str(), Pairs({expected.begin(), expected.begin() + 2},
                             "1 key of TessalineWeb_EN.ocx is present."));
  EXPECT_EQ(Run({"check", "--all-users"}), 1);
  EXPECT_EQ(out.str(), Pairs(expected, "3 keys of TessalineWeb_EN.ocx are present."));
  EXPECT_EQ(Run({"clean", "--all-users"}), 0);
  EXPECT_EQ(out.str(), Pairs(expected, "Done! 3 keys deleted; no backup"));
  EXPECT_TRUE(store.KeyExists(kHkeyUsers, sid + "_Classes\\" + traces::kStats));
  EXPECT_FALSE(store.KeyExists(kHkeyUsers, sid + "\\" + traces::kStats));
  EXPECT_EQ(Run({"check", "--all-users"}), 0);
}

TEST_F(ConsoleTest, EveryLoadedUsersClassKeysGoBetweenTheUsersOwnAndTheMachines) {
  const std::string own = "S-1-5-21-1";
  const std::string other = "S-1-5-21-2";
  for (const std::string& hive : {own, other}) {
    store.SeedKey(kHkeyUsers, hive + "_Classes\\" + traces::kProgId + "\\CurVer");
    store.SeedKey(kHkeyUsers, hive + "_Classes\\" + traces::kClsid + "\\InprocServer32");
    store.SeedKey(kHkeyUsers, hive + "\\" + traces::kStats);
  }
  // The current user's keys are those of the user's own hives, reached by other names.
  store.SeedLink(kHkeyCurrentUser, "Software\\Classes", kHkeyUsers, own + "_Classes");
  store.SeedLink(kHkeyCurrentUser, "software\\Microsoft", kHkeyUsers,
                 own + "\\software\\Microsoft");
  SeedInstallation();
  const std::vector<std::string> expected = {
      "HKEY_CURRENT_USER",  Logged(traces::kUserProgId),
      "HKEY_USERS",         "\\" + other + "_Classes" + Logged(traces::kProgId),
      "HKEY_CLASSES_ROOT",  Logged(traces::kProgId),
      "HKEY_CURRENT_USER",  Logged(traces::kUserClsid),
      "HKEY_USERS",         "\\" + other + "_Classes" + Logged(traces::kClsid),
      "HKEY_CLASSES_ROOT",  Logged(traces::kClsid),
      "HKEY_CURRENT_USER",  Logged(traces::kStats),
      "HKEY_USERS",         "\\" + other + Logged(traces::kStats),
      "HKEY_LOCAL_MACHINE", Logged(traces::kDistributionUnit)};
  EXPECT_EQ(Run({"check", "--all-users"}), 1);
  EXPECT_EQ(out.str(), Pairs(expected, "9 keys of TessalineWeb_EN.ocx are present."));
  EXPECT_EQ(Run({"clean", "--all-users"}), 0);
  EXPECT_EQ(out.str(), Pairs(expected, "Done! 9 keys deleted; no backup"));
  EXPECT_EQ(Run({"check", "--all-users"}), 0);
  EXPECT_FALSE(store.KeyExists(kHkeyUsers, own + "_Classes\\" + traces::kProgId));
}

// A user links a name on the way to a key of the hive to a key elsewhere: that key stays, named,
// and the run goes on to the machine's keys.
TEST_F(ConsoleTest, AHivesKeyThatLeadsOutOfTheHiveIsKeptAndTheRunGoesOn) {
  const std::string hive = "S-1-5-21-2";
  const std::string victim = "Software\\Wow6432Node\\Victim";
  store.SeedKey(kHkeyLocalMachine, victim + "\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\data");
  store.SeedKey(kHkeyCurrentUser, traces::kStats);
  store.SeedKey(kHkeyLocalMachine, traces::kDistributionUnit);
  store.SeedLink(kHkeyUsers, hive + "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats",
                 kHkeyLocalMachine, victim);
  const std::string named = "Kept HKEY_USERS\\" + hive + Logged(traces::kStats) + " of " + hive +
                            ": it leads out of the hive " + hive + ", to \\REGISTRY\\";
  const std::string after = "The clean went to its end, but what is named above was not cleaned.\n";
  EXPECT_EQ(Run({"clean", "--all-users", "--backup", "b.reg"}), 1);
  EXPECT_EQ(out.str(), Pairs({"HKEY_CURRENT_USER", Logged(traces::kStats), "HKEY_LOCAL_MACHINE",
                              Logged(traces::kDistributionUnit)},
                             "Not finished: 2 keys deleted, 1 key kept; backup: C:\\work\\b.reg"));
  EXPECT_EQ(err.str(),
            named + "MACHINE\\" + victim + "\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\n" + after);
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine,
                              victim + "\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}\\data"));
  EXPECT_EQ(file.bytes.find(Bytes(u"Victim")), std::string::npos);
  EXPECT_EQ(file.bytes.find(Bytes(u"HKEY_USERS")), std::string::npos);

  // Into another user's hive, or a hive's link that stays in it.
  store.SeedKey(kHkeyUsers, "S-1-5-21-3\\" + std::string(traces::kStats));
  store.SeedLink(kHkeyUsers, hive + "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats",
                 kHkeyUsers,
                 "S-1-5-21-3\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats");
  EXPECT_EQ(Run({"clean", "--all-users", "--json"}), 1);
  EXPECT_EQ(err.str(), named + "USER\\S-1-5-21-3" + Logged(traces::kStats) + "\n" + after);
  const nlohmann::json report = Json();
  EXPECT_EQ(report["outcome"], "incomplete");
  EXPECT_EQ(report["kept"][0]["sid"], hive);
  EXPECT_EQ(report["kept"][0]["path"], "\\" + hive + Logged(traces::kStats));
  // The other user's key went as that user's, named so.
  EXPECT_FALSE(store.KeyExists(kHkeyUsers, "S-1-5-21-3\\" + std::string(traces::kStats)));
  EXPECT_EQ(report["keys"][0]["path"], "\\S-1-5-21-3" + Logged(traces::kStats));
  store.SeedLink(kHkeyUsers, hive + "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats",
                 kHkeyUsers, hive + "\\Elsewhere\\Stats");
  store.SeedKey(kHkeyUsers, hive + "\\Elsewhere\\Stats\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}");
  EXPECT_EQ(Run({"clean", "--all-users"}), 0);
  EXPECT_FALSE(store.KeyExists(
      kHkeyUsers, hive + "\\Elsewhere\\Stats\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}"));
  EXPECT_TRUE(
      store.KeyExists(kHkeyLocalMachine, victim + "\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}"));
}

TEST_F(ConsoleTest, AStandardUsersRunFinishesWhenTheListItMayOnlyReadHoldsNothingOfTheControl) {
  store.SeedKey(kHkeyCurrentUser, traces::kStats);
  AddModuleUsage("C:/x/other.ocx");
  store.SeedAccess(kHkeyLocalMachine, traces::kModuleUsage, kKeyRead);
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(out.str(), Pairs({"HKEY_CURRENT_USER", Logged(traces::kStats)},
                             "1 key of TessalineWeb_EN.ocx is present."));
  EXPECT_EQ(Run({"clean"}), 0);
  EXPECT_EQ(out.str(),
            Pairs({"HKEY_CURRENT_USER", Logged(traces::kStats)}, "Done! 1 key deleted; no backup"));
  AddModuleUsage("C:/x/TessalineWeb_EN.ocx");
  EXPECT_EQ(Run({"clean"}), 1);
  EXPECT_EQ(err.str(), "It failed to Open Module Usage in Local Machine\n");
}

TEST_F(ConsoleTest, AKeyBackAtTheEndExitsOneAndCheckListsIt) {
  SeedAll();
  store.SetHook([this](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete &&
        site.keyPath.find("TessalineWeb_EN.ocx") != std::string::npos) {
      store.SeedKey(kHkeyClassesRoot, traces::kProgId);
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--json"}), 1);
  EXPECT_EQ(Json()["outcome"], "stopped");
  EXPECT_EQ(err.str(), "It failed to delte ActiveFormProj1.ActiveFormX\n");
  store.SetHook(nullptr);
  EXPECT_EQ(Run({"check"}), 1);
  EXPECT_EQ(out.str(), Pairs({"HKEY_CLASSES_ROOT", Logged(traces::kProgId)},
                             "1 key of TessalineWeb_EN.ocx is present."));
}

TEST_F(ConsoleTest, AnUnexpectedFailureExitsFourWithItsText) {
  SeedAll();
  store.SetHook([](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Delete) {
      throw std::runtime_error("The disk is on fire");
    }
    return std::nullopt;
  });
  EXPECT_EQ(Run({"clean", "--json"}), 4);
  EXPECT_EQ(Json()["outcome"], "failed");
  EXPECT_EQ(Json()["message"], "The disk is on fire.");
  EXPECT_EQ(err.str(), "The disk is on fire.\n");
  EXPECT_EQ(Run({"check"}), 1);
}

}  // namespace

namespace {

// A profile whose user is not logged on, with the control's statistics key in its hive file.
void AddProfileWithStats(MemoryRegistry& store, const std::string& sid, const std::string& user) {
  const std::string entry = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + sid;
  const std::string folder = "C:\\Users\\" + user;
  const std::string bytes = Utf16LeBytes(Utf8ToUtf16(folder) + u'\0');
  store.SeedValue(kHkeyLocalMachine, entry,
                  {u"ProfileImagePath", kRegExpandSz, {bytes.begin(), bytes.end()}});
  ASSERT_EQ(store.LoadHive("seeding", folder + "\\NTUSER.DAT"), kErrorSuccess);
  store.SeedKey(kHkeyUsers, "seeding\\" + std::string(traces::kStats));
  ASSERT_EQ(store.UnloadHive("seeding"), kErrorSuccess);
}

}  // namespace

TEST_F(ConsoleTest, EveryProfileIsReportedAndOneNotExaminedIsNoCleanMachine) {
  SeedInstallation();
  AddProfileWithStats(store, "S-1-5-21-1-2-3-1001", "alice");
  const std::string alice = "\\S-1-5-21-1-2-3-1001\\" + std::string(traces::kStats);
  EXPECT_EQ(Run({"check", "--all-users", "--json"}), 1);
  nlohmann::json report = Json();
  EXPECT_EQ(report["keys"][4]["path"], alice);
  EXPECT_EQ(report["profiles"], nlohmann::json::parse(R"([{"sid": "S-1-5-21-1-2-3-1001",
      "folder": "C:\\Users\\alice", "loaded": "by-run", "outcome": "examined", "reason": null}])"));
  ASSERT_FALSE(hives.named.empty());
  EXPECT_EQ(hives.named.front().rfind("TessalineClean-S-1-5-21-1-2-3-1001-user-", 0), 0u);
  EXPECT_EQ(hives.events.front(),
            "load a copy of C:\\Users\\alice\\NTUSER.DAT as " + hives.named.front());
  // Without the privileges to load hives, the machine's keys go and the profile is named.
  hives.privileges = false;
  EXPECT_EQ(Run({"clean", "--all-users"}), 1);
  EXPECT_EQ(out.str().find("Done!"), std::string::npos);
  EXPECT_EQ(err.str(),
            "The profile S-1-5-21-1-2-3-1001 (C:\\Users\\alice) was not examined: its hive "
            "NTUSER.DAT was not loaded: the privileges to load a hive are not held\n"
            "The clean went to its end, but what is named above was not cleaned.\n");
  EXPECT_EQ(logs.Texts()[logs.Texts().size() - 4],
            "2 The profile S-1-5-21-1-2-3-1001 (C:\\Users\\alice) was not examined: its hive "
            "NTUSER.DAT was not loaded: the privileges to load a hive are not held");
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  // Nothing present, but a profile not examined: check cannot call the machine clean.
  EXPECT_EQ(Run({"check", "--all-users", "--json"}), 1);
  report = Json();
  EXPECT_EQ(report["outcome"], "incomplete");
  EXPECT_EQ(report["profiles"][0]["outcome"], "not-examined");
  EXPECT_EQ(report["keys"], nlohmann::json::array());
  hives.privileges = true;
  EXPECT_EQ(Run({"clean", "--all-users"}), 0);
  EXPECT_EQ(out.str(), Pairs({"HKEY_USERS", alice}, "Done! 1 key deleted; no backup"));
  EXPECT_EQ(Run({"check", "--all-users"}), 0);
  // The template is only cleaned when asked for, and only with every user.
  EXPECT_EQ(Run({"clean", "--include-default-profile"}), 2);
  // A mount a killed run left goes at the next run of any verb, with every user or not.
  std::string why;
  const std::string left = hives.NewMountName("S-1-5-21-1-2-3-1001", HiveKind::kUser);
  ASSERT_EQ(
      hives.Load({"C:\\Users\\alice", "NTUSER.DAT", "S-1-5-21-1-2-3-1001"}, false, left, &why),
      HiveLoading::kLoaded);
  EXPECT_EQ(Run({"restore", "C:\\nowhere.reg"}), 3);
  EXPECT_EQ(
      err.str().rfind("Unloaded HKEY_USERS\\" + left + ", left loaded by an earlier run\n", 0), 0u)
      << err.str();
  EXPECT_TRUE(store.LoadedHives().empty());
}

// A key of a user's that the backup cannot hold exactly stays; the machine's keys go, and the
// run ends as a backup that refused.
TEST_F(ConsoleTest, AUsersKeyTheBackupRefusesIsKeptAndTheRunExitsThree) {
  SeedInstallation();
  const std::string user = "S-1-5-21-1-2-3-1012";
  store.SeedKey(kHkeyUsers, user + "\\" + traces::kStats + "\\line\nbreak");
  EXPECT_EQ(Run({"clean", "--all-users", "--backup", "b.reg", "--json"}), 3);
  const nlohmann::json report = Json();
  EXPECT_EQ(report["outcome"], "backup-failed");
  EXPECT_EQ(report["kept"][0]["sid"], user);
  EXPECT_FALSE(store.KeyExists(kHkeyLocalMachine, traces::kDistributionUnit));
  EXPECT_FALSE(store.KeyExists(kHkeyClassesRoot, traces::kClsid));
  EXPECT_TRUE(store.KeyExists(kHkeyUsers, user + "\\" + traces::kStats + "\\line\nbreak"));
  EXPECT_NE(err.str().find("Kept HKEY_USERS\\" + user), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("the backup kept it"), std::string::npos) << err.str();
  // A module-usage entry's own name, which any program may write, meets the same rule, written
  // ahead or not.
  const std::string entry = std::string(traces::kModuleUsage) + "\\C:/a\rDone!/TessalineWeb_EN.ocx";
  store.SeedKey(kHkeyLocalMachine, entry);
  file = MemoryBackupFile();
  EXPECT_EQ(Run({"clean", "--backup", "b.reg"}), 3);
  EXPECT_TRUE(store.KeyExists(kHkeyLocalMachine, entry));
  EXPECT_EQ(file.bytes.find(Bytes(u"a\rDone!")), std::string::npos);
}
