#include "app/ModalScope_win.h"

ModalScope::ModalScope() : active_(GetActiveWindow()), focus_(GetFocus()) {
  EnumThreadWindows(GetCurrentThreadId(), &ModalScope::DisableWindow,
                    reinterpret_cast<LPARAM>(this));
}

ModalScope::~ModalScope() {
  for (HWND window : disabled_) {
    if (IsWindow(window)) {
      EnableWindow(window, TRUE);
    }
  }
  if (active_ && IsWindow(active_)) {
    SetActiveWindow(active_);
  }
  if (focus_ && IsWindow(focus_)) {
    SetFocus(focus_);
  }
}

BOOL CALLBACK ModalScope::DisableWindow(HWND window, LPARAM scope) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) {
    reinterpret_cast<ModalScope*>(scope)->disabled_.push_back(window);
    EnableWindow(window, FALSE);
  }
  return TRUE;
}
