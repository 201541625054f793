#pragma once

#include <string>

// What the clean procedure does to the main window.
class CleanWindow {
 public:
  virtual ~CleanWindow() = default;
  virtual void ClearLog() = 0;
  // Adds the line and CR LF at the end of the log and scrolls it into view.
  virtual void AppendLogLine(const std::string& line) = 0;
  // A modal box with one "OK" button; returns when the user has closed it.
  virtual void ShowNotice(const std::string& text) = 0;
  // Shows the text in the status bar and repaints it before returning.
  virtual void SetStatusText(const std::string& text) = 0;
};
