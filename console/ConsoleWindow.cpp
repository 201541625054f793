#include "console/ConsoleWindow.h"

void ConsoleWindow::AppendLogLine(const std::string& line) {
  lines_.push_back(line);
  // Flushed at once, so whoever watches the run sees each key as it goes.
  if (echo_) {
    out_ << line << std::endl;
  }
}

void ConsoleWindow::SetStatusText(const std::string& text) {
  finished_ = true;
  if (echo_) {
    out_ << text << std::endl;
  }
}

std::vector<ReportedKey> ConsoleWindow::LoggedKeys() const {
  std::vector<ReportedKey> keys;
  for (std::size_t index = 0; index + 1 < lines_.size(); index += 2) {
    keys.push_back({lines_[index], lines_[index + 1], std::nullopt});
  }
  return keys;
}
