#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "console/Report.h"
#include "unitMain/CleanWindow.h"

// The window operations of the clean on a console: each logged line goes to the output as it
// comes, unless the run reports as JSON at its end; the notice is kept for the caller to report.
class ConsoleWindow : public CleanWindow {
 public:
  ConsoleWindow(std::ostream& out, bool echo) : out_(out), echo_(echo) {}

  void ClearLog() override { lines_.clear(); }
  void AppendLogLine(const std::string& line) override;
  void ShowNotice(const std::string& text) override { notice_ = text; }
  void SetStatusText(const std::string& text) override;

  // The logged lines taken in pairs: the root's line, then the path's.
  std::vector<ReportedKey> LoggedKeys() const;
  const std::string& Notice() const { return notice_; }
  bool Finished() const { return finished_; }

 private:
  std::ostream& out_;
  bool echo_;
  std::vector<std::string> lines_;
  std::string notice_;
  bool finished_ = false;
};
