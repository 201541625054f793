#pragma once

#include <windows.h>

#include <vector>

// While it lives, every other window of the program is disabled, as a modal box needs. Afterwards
// they are enabled again and the window that was active, and its focused control, get the focus
// back.
class ModalScope {
 public:
  ModalScope();
  ~ModalScope();
  ModalScope(const ModalScope&) = delete;
  ModalScope& operator=(const ModalScope&) = delete;

  // The window that was active when the scope began, to own the box.
  HWND PreviouslyActive() const { return active_; }

 private:
  static BOOL CALLBACK DisableWindow(HWND window, LPARAM scope);

  std::vector<HWND> disabled_;
  HWND active_;
  HWND focus_;
};
