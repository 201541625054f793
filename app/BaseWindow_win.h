#pragma once

#include <windows.h>

#include <exception>

// Hands an unexpected failure to the application's failure handler.
void ReportUnexpectedFailure(std::exception_ptr failure);

// One static window procedure for our windows: it finds the object at WM_NCCREATE and hands it
// every message. No failure crosses into the platform's frames, which cannot unwind it: it goes
// to the application's failure handler and the message counts as handled.
template <typename Derived>
class BaseWindow {
 public:
  HWND Handle() const { return hwnd_; }

 protected:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Derived* self = nullptr;
    if (message == WM_NCCREATE) {
      self = static_cast<Derived*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
      self = reinterpret_cast<Derived*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) {
      return DefWindowProcA(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    try {
      result = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
      ReportUnexpectedFailure(std::current_exception());
    }
    if (message == WM_NCDESTROY) {
      self->hwnd_ = nullptr;  // the window is gone; its owner must not destroy it again
    }
    return result;
  }

  HWND hwnd_ = nullptr;
};
