#pragma once

#include <string>

#include "unitMain/CleanWindow.h"

// Gathers the lines of one click and hands them to the window as one text: a log box grows at a
// cost that rises with its length, so a line at a time would make a long run quadratic. The text
// reaches the window before a notice opens, before the status changes, and when the batch goes,
// however the click ends, so what the user sees is the same as line by line.
class BatchedLog : public CleanWindow {
 public:
  explicit BatchedLog(CleanWindow& window) : window_(window) {}
  ~BatchedLog() override;
  BatchedLog(const BatchedLog&) = delete;
  BatchedLog& operator=(const BatchedLog&) = delete;

  void ClearLog() override;
  void AppendLogLine(const std::string& line) override;
  void ShowNotice(const std::string& text) override;
  void SetStatusText(const std::string& text) override;

 private:
  void Flush();

  CleanWindow& window_;
  // The lines so far, CR LF between them; the window adds the last one.
  std::string pending_;
  bool hasPending_ = false;
};
