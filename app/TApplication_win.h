#pragma once

#include <windows.h>

#include <string>

#include "app/BaseWindow_win.h"

// The program's application object: its title, its one taskbar entry, the event loop and the
// failure handler. There is one, `Application`, from start-up to shut-down.
class TApplication : public BaseWindow<TApplication> {
 public:
  explicit TApplication(HINSTANCE instance);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  const std::string& Title() const { return title_; }
  HINSTANCE Instance() const { return instance_; }
  HICON Icon() const { return icon_; }

  // The first window made this way is the main window: it owns the keyboard navigation of the
  // loop, and the taskbar entry shows while it does.
  void SetMainWindow(HWND window);
  // Takes and dispatches messages until the main window is gone; returns the exit status.
  int Run();

  void ShowNotice(const std::string& text);
  // The failure handler: a stop-icon box with the failure's text; the program keeps running.
  void ShowFailure(const std::string& message);

  LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  HINSTANCE instance_;
  std::string title_;
  HICON icon_;
  HWND mainWindow_ = nullptr;
};

extern TApplication* Application;
