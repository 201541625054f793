#include "app/TApplication_win.h"

#include <stdexcept>

#include "app/ApplicationTitle.h"
#include "app/ModalScope_win.h"
#include "app/NoticeBox_win.h"
#include "app/resource.h"
#include "common/FailureText.h"

TApplication* Application = nullptr;

namespace {

constexpr UINT kBringFrontWindowForward = WM_APP + 1;

struct FrontSearch {
  HWND application;
  HWND found;
};

BOOL CALLBACK FindFront(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<FrontSearch*>(param);
  if (window != search.application && IsWindowVisible(window) && IsWindowEnabled(window) &&
      GetAncestor(window, GA_ROOTOWNER) == search.application) {
    search.found = window;
    return FALSE;
  }
  return TRUE;
}

// The program's window the user can work in: the main window, or the box that disables it. A
// box is owned by the window it disables, so the search goes by the root owner.
HWND FrontWindow(HWND application) {
  FrontSearch search{application, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), &FindFront, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

constexpr const char* kWindowClass = "TApplication";

std::string ModulePath() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace

void ReportUnexpectedFailure(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception& error) {
    Application->ShowFailure(error.what());
  } catch (...) {
    Application->ShowFailure("An unexpected failure occurred");
  }
}

TApplication::TApplication(HINSTANCE instance)
    : instance_(instance),
      title_(ApplicationTitle(ModulePath(),
                              [](unsigned char byte) { return IsDBCSLeadByte(byte) != 0; })),
      icon_(LoadIconA(instance, MAKEINTRESOURCEA(kIconMain))) {
  Application = this;
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &TApplication::WindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = icon_;
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);
  // A window of no size whose only purpose is the taskbar entry, labelled with the title; the
  // program's windows are owned by it and have no entry of their own.
  CreateWindowExA(0, kWindowClass, title_.c_str(),
                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                  GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                  nullptr, nullptr, instance, this);
  if (!hwnd_) {
    throw std::runtime_error("The application window could not be created");
  }
}

TApplication::~TApplication() {
  if (hwnd_) {
    DestroyWindow(hwnd_);
  }
  Application = nullptr;
}

void TApplication::SetMainWindow(HWND window) {
  mainWindow_ = window;
  ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
}

int TApplication::Run() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    try {
      // Tab, Shift+Tab, Enter and Esc in the main window work as in a dialog.
      if (mainWindow_ && IsDialogMessageA(mainWindow_, &message)) {
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    } catch (...) {
      ReportUnexpectedFailure(std::current_exception());
    }
  }
  return static_cast<int>(message.wParam);
}

void TApplication::ShowNotice(const std::string& text) {
  ShowNoticeBox(instance_, hwnd_, title_, text);
}

void TApplication::ShowFailure(const std::string& message) {
  ModalScope modal;
  MessageBoxA(modal.PreviouslyActive() ? modal.PreviouslyActive() : hwnd_,
              FailureText(message).c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
}

LRESULT TApplication::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ACTIVATE:
      // Chosen from the taskbar, the program shows its window, or the box in front of it. That
      // is done once the activation is over: the platform may undo an activation made inside it.
      if (LOWORD(wParam) != WA_INACTIVE) {
        PostMessageA(hwnd_, kBringFrontWindowForward, 0, 0);
      }
      return 0;
    case kBringFrontWindowForward:
      if (HWND front = FrontWindow(hwnd_)) {
        SetActiveWindow(front);
      }
      return 0;
    case WM_CLOSE:
      if (mainWindow_) {
        PostMessageA(mainWindow_, WM_CLOSE, 0, 0);
      }
      return 0;
  }
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}
