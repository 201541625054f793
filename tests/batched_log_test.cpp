// One click's log reaches the window as one text, and the user sees what line-by-line appending
// would show: every line in order, the whole log before a notice or the status, and the lines of
// a run that broke down.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "CleanFixture.h"
#include "unitMain/BatchedLog.h"

using ::testing::ElementsAre;

namespace {

// Writes down each call the window gets, in order.
class CallLog : public CleanWindow {
 public:
  void ClearLog() override { calls.push_back("clear"); }
  void AppendLogLine(const std::string& line) override { calls.push_back("append " + line); }
  void ShowNotice(const std::string& text) override { calls.push_back("notice " + text); }
  void SetStatusText(const std::string& text) override { calls.push_back("status " + text); }

  std::vector<std::string> calls;
};

// The log box's text after the appends: each appended text and CR LF.
std::string BoxText(const std::vector<std::string>& calls) {
  std::string text;
  for (const std::string& call : calls) {
    if (call.rfind("append ", 0) == 0) {
      text += call.substr(7) + "\r\n";
    }
  }
  return text;
}

std::string LineByLine(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line + "\r\n";
  }
  return text;
}

class BatchedLogTest : public CleanFixture {
 protected:
  // The same run on two registries seeded alike: line by line into the window, and through a
  // batch into the call log.
  void RunBoth(const std::function<void(MemoryRegistry&)>& seed) {
    MemoryRegistry lineByLine;
    seed(lineByLine);
    RunCleanInWindow(lineByLine, window);
    seed(store);
    BatchedLog batch(calls);
    RunCleanInWindow(store, batch);
  }

  CallLog calls;
};

TEST_F(BatchedLogTest, WholeLogArrivesOnceBeforeTheStatus) {
  RunBoth([](MemoryRegistry& registry) {
    SeedInstallation(registry);
    AddModuleUsage(registry, "C:/a/TessalineWeb_EN.ocx");
    AddModuleUsage(registry, "C:/b/TessalineWeb_EN.ocx");
  });
  ASSERT_EQ(calls.calls.size(), 3u);
  EXPECT_EQ(calls.calls.front(), "clear");
  EXPECT_EQ(calls.calls.back(), "status Done!");
  EXPECT_EQ(window.log.size(), 12u);
  EXPECT_EQ(BoxText(calls.calls), LineByLine(window.log));
}

TEST_F(BatchedLogTest, NoticeOpensOnTheCompleteLog) {
  RunBoth([](MemoryRegistry& registry) {
    SeedInstallation(registry);
    registry.SeedAccess(kHkeyLocalMachine, traces::kDistributionUnit, kKeyRead);
  });
  ASSERT_THAT(window.notices, ElementsAre("It failed to Open Distribution Unit in Local Machine"));
  ASSERT_EQ(calls.calls.size(), 3u);
  EXPECT_EQ(calls.calls[2], "notice It failed to Open Distribution Unit in Local Machine");
  EXPECT_EQ(window.log.size(), 6u);
  EXPECT_EQ(BoxText(calls.calls), LineByLine(window.log));
}

TEST_F(BatchedLogTest, CleanMachineAppendsNothing) {
  RunBoth([](MemoryRegistry&) {});
  EXPECT_THAT(calls.calls, ElementsAre("clear", "status Done!"));
}

TEST_F(BatchedLogTest, LinesBeforeABreakdownStayInTheLog) {
  SeedInstallation();
  store.SetHook([](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
    if (site.call == MemoryRegistry::Call::Open &&
        site.keyPath.find("Distribution Units") != std::string::npos) {
      throw std::runtime_error("broke down");
    }
    return std::nullopt;
  });
  {
    BatchedLog batch(calls);
    EXPECT_THROW(RunCleanInWindow(store, batch), std::runtime_error);
  }
  EXPECT_EQ(calls.calls.size(), 2u);
  EXPECT_EQ(BoxText(calls.calls),
            LineByLine({"HKEY_CLASSES_ROOT", Logged(traces::kProgId), "HKEY_CLASSES_ROOT",
                        Logged(traces::kClsid), "HKEY_CURRENT_USER", Logged(traces::kStats)}));
}

}  // namespace
