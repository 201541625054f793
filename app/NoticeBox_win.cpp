#include "app/NoticeBox_win.h"

#include <algorithm>

#include "app/Gdi_win.h"
#include "app/ModalScope_win.h"

namespace {

struct NoticeRequest {
  const std::string* title;
  const std::string* text;
  HWND centreOn;
  HFONT font;
};

// Sizes at 96 pixels per inch, scaled to the screen.
constexpr int kMargin = 12;
constexpr int kGap = 16;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kMaxTextWidth = 420;
constexpr int kMinTextWidth = 120;

// The template of an empty dialog; its controls are made when it opens, sized to the text.
struct EmptyDialogTemplate {
  DLGTEMPLATE header;
  WORD menu;
  WORD windowClass;
  WORD title;
};

SIZE MeasureText(HWND dialog, HFONT font, const std::string& text, int maxWidth) {
  const MeasuringDc dc(dialog, font);
  RECT bounds = {0, 0, maxWidth, 0};
  DrawTextA(dc.get(), text.c_str(), static_cast<int>(text.size()), &bounds,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
  return {bounds.right - bounds.left, bounds.bottom - bounds.top};
}

void LayOut(HWND dialog, const NoticeRequest& request) {
  const int dpi = ScreenPixelsPerInch();
  auto px = [dpi](int value) { return MulDiv(value, dpi, 96); };

  const SIZE text = MeasureText(dialog, request.font, *request.text, px(kMaxTextWidth));
  const int textWidth = std::max<int>(text.cx, px(kMinTextWidth));
  const int clientWidth = textWidth + 2 * px(kMargin);
  const int buttonTop = px(kMargin) + text.cy + px(kGap);
  const int clientHeight = buttonTop + px(kButtonHeight) + px(kMargin);

  HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
  HWND label = CreateWindowExA(0, "STATIC", request.text->c_str(),
                               WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, px(kMargin),
                               px(kMargin), textWidth, text.cy, dialog, nullptr, instance, nullptr);
  HWND button =
      CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                      (clientWidth - px(kButtonWidth)) / 2, buttonTop, px(kButtonWidth),
                      px(kButtonHeight), dialog, reinterpret_cast<HMENU>(IDOK), instance, nullptr);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(request.font), FALSE);
  SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(request.font), FALSE);

  RECT frame = {0, 0, clientWidth, clientHeight};
  AdjustWindowRectEx(&frame, GetWindowLongA(dialog, GWL_STYLE), FALSE,
                     GetWindowLongA(dialog, GWL_EXSTYLE));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;

  // Centred on the monitor of the window that was active, or on the primary screen.
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoA(MonitorFromWindow(request.centreOn, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcMonitor;
  SetWindowPos(dialog, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  SetFocus(button);
}

INT_PTR CALLBACK NoticeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto& request = *reinterpret_cast<const NoticeRequest*>(lParam);
      SetWindowTextA(dialog, request.title->c_str());
      LayOut(dialog, request);
      return FALSE;  // the focus is set already
    }
    case WM_COMMAND:
      // "OK", Enter (IDOK), Esc and the close button (IDCANCEL) all close the box alike.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace

void ShowNoticeBox(HINSTANCE instance, HWND fallbackOwner, const std::string& title,
                   const std::string& text) {
  ModalScope modal;
  const OwnedFont font = SystemFont(&NONCLIENTMETRICSA::lfMessageFont);
  HWND owner = modal.PreviouslyActive() ? modal.PreviouslyActive() : fallbackOwner;
  EmptyDialogTemplate dialogTemplate = {};
  dialogTemplate.header.style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  dialogTemplate.header.dwExtendedStyle = WS_EX_DLGMODALFRAME;
  const NoticeRequest request = {&title, &text, owner, font.get()};
  DialogBoxIndirectParamA(instance, &dialogTemplate.header, owner, &NoticeProc,
                          reinterpret_cast<LPARAM>(&request));
}
