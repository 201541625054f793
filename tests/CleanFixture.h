#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clean/CheckProcedure.h"
#include "clean/CleanProcedure.h"
#include "registry/memory/MemoryRegistry.h"
#include "unitMain/CleanWindow.h"
#include "unitMain/WindowClean.h"

// Keeps what the clean procedure did to the window.
class RecordingWindow : public CleanWindow {
 public:
  void ClearLog() override { log.clear(); }
  void AppendLogLine(const std::string& line) override { log.push_back(line); }
  void ShowNotice(const std::string& text) override { notices.push_back(text); }
  void SetStatusText(const std::string& text) override {
    status = text;
    ++statusWrites;
  }

  std::vector<std::string> log;
  std::vector<std::string> notices;
  std::string status;
  int statusWrites = 0;
};

// Where the control leaves its traces, as stored below each root.
namespace traces {
constexpr const char* kProgId = "ActiveFormProj1.ActiveFormX";
constexpr const char* kClsid = "CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
// The user's own copies, below HKEY_CURRENT_USER.
constexpr const char* kUserProgId = "Software\\Classes\\ActiveFormProj1.ActiveFormX";
constexpr const char* kUserClsid =
    "Software\\Classes\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
constexpr const char* kStats =
    "software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
    "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
constexpr const char* kDistributionUnit =
    "software\\Microsoft\\Code Store Database\\Distribution Units\\"
    "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
constexpr const char* kModuleUsage = "software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";
}  // namespace traces

// The keys check found as the window logs them: root, then path, for each.
inline std::vector<std::string> LoggedLines(const CheckResult& check) {
  std::vector<std::string> lines;
  for (const FoundKey& found : check.keys) {
    lines.push_back(found.key.root);
    lines.push_back(found.key.path);
  }
  return lines;
}

// A store and a window for one run of the clean procedure; no case may leave a key open or watched.
class CleanFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(store.OpenHandleCount(), 0u);
    EXPECT_EQ(store.WatchCount(), 0u);
  }

  void Run() { RunCleanInWindow(store, window); }

  void AddModuleUsage(const std::string& entry) { AddModuleUsage(store, entry); }
  static void AddModuleUsage(MemoryRegistry& store, const std::string& entry) {
    store.SeedKey(kHkeyLocalMachine, std::string(traces::kModuleUsage) + "\\" + entry);
  }

  void SeedInstallation() { SeedInstallation(store); }
  // Everything the control installs, each key with a little tree below it.
  static void SeedInstallation(MemoryRegistry& store) {
    store.SeedKey(kHkeyClassesRoot, std::string(traces::kProgId) + "\\Clsid");
    store.SeedKey(kHkeyClassesRoot, std::string(traces::kClsid) + "\\InprocServer32");
    store.SeedKey(kHkeyClassesRoot, std::string(traces::kClsid) + "\\TypeLib");
    store.SeedKey(kHkeyClassesRoot, std::string(traces::kClsid) +
                                        "\\Implemented Categories\\"
                                        "{0DE86A52-2BAA-11CF-A229-00AA003D7352}");
    store.SeedKey(kHkeyCurrentUser, traces::kStats + std::string("\\iexplore\\AllowedDomains\\*"));
    store.SeedKey(kHkeyLocalMachine, traces::kDistributionUnit + std::string("\\Contains\\Files"));
    store.SeedKey(kHkeyLocalMachine,
                  traces::kDistributionUnit + std::string("\\DownloadInformation"));
  }

  static std::string Logged(const char* path) { return std::string("\\") + path; }

  // The keys of before that are gone now, in the order of before.
  std::vector<std::string> Removed(const std::vector<std::string>& before) const {
    const std::vector<std::string> after = store.AllKeys();
    std::vector<std::string> removed;
    for (const std::string& key : before) {
      if (std::find(after.begin(), after.end(), key) == after.end()) {
        removed.push_back(key);
      }
    }
    return removed;
  }

  MemoryRegistry store;
  RecordingWindow window;
};
