#include "unitMain/TMainForm_win.h"

#include <commctrl.h>

#include <stdexcept>

#include "app/TApplication_win.h"
#include "unitMain/BatchedLog.h"
#include "unitMain/MainFormLayout.h"
#include "unitMain/WindowClean.h"

namespace {

constexpr const char* kWindowClass = "TMainForm";
constexpr int kButton1Id = 100;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_TOOLWINDOW;
// "ＭＳ Ｐゴシック", named in UTF-16 so the name is right whatever the ANSI code page.
constexpr wchar_t kFontFace[] = L"\xFF2D\xFF33 \xFF30\x30B4\x30B7\x30C3\x30AF";

OwnedFont CreateWindowFont(int pixelsPerInch) {
  LOGFONTW font = {};
  font.lfHeight = ScaledFontHeight(pixelsPerInch);
  font.lfCharSet = SHIFTJIS_CHARSET;
  lstrcpynW(font.lfFaceName, kFontFace, LF_FACESIZE);
  return OwnedFont(CreateFontIndirectW(&font));
}

SIZE TextExtent(HWND window, HFONT font, const char* text) {
  const MeasuringDc dc(window, font);
  SIZE size = {};
  GetTextExtentPoint32A(dc.get(), text, lstrlenA(text), &size);
  return size;
}

struct ControlClass {
  const char* className;
  DWORD style;
  DWORD exStyle;
};

ControlClass ClassFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return {"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::Button:
      return {"BUTTON", BS_PUSHBUTTON, 0};
    case ControlKind::Memo:
      // No ES_AUTOHSCROLL would mean word wrap; Enter stays in the box rather than pressing a
      // button.
      return {"EDIT", ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
              WS_EX_CLIENTEDGE};
    case ControlKind::StatusBar:
      // Placed by the table, not by the status bar's own sizing; no grip on a fixed window.
      return {STATUSCLASSNAMEA, CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER, 0};
  }
  return {};
}

// A multi-line edit asks for every key; the log leaves Tab and Shift+Tab to move the focus, and
// Esc to the window, which ignores it.
LRESULT CALLBACK LogKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                         DWORD_PTR) {
  LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  if (message == WM_GETDLGCODE && lParam) {
    const MSG& key = *reinterpret_cast<const MSG*>(lParam);
    if (key.message == WM_KEYDOWN && (key.wParam == VK_TAB || key.wParam == VK_ESCAPE)) {
      result &= ~(DLGC_WANTALLKEYS | DLGC_WANTTAB | DLGC_WANTMESSAGE);
    }
  }
  return result;
}

}  // namespace

TMainForm::TMainForm(TApplication& application, RegistryReads& registry)
    : application_(application), registry_(registry) {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = &TMainForm::WindowProc;
  windowClass.hInstance = application.Instance();
  windowClass.hIcon = application.Icon();
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassA(&windowClass);

  CreateWindowExA(kExStyle, kWindowClass, kMainCaption, kStyle, 0, 0, 0, 0, application.Handle(),
                  nullptr, application.Instance(), this);
  if (!hwnd_) {
    throw std::runtime_error("The main window could not be created");
  }
  application.SetMainWindow(hwnd_);
}

TMainForm::~TMainForm() {
  if (hwnd_) {
    DestroyWindow(hwnd_);
  }
}

void TMainForm::CreateControls() {
  font_ = CreateWindowFont(ScreenPixelsPerInch());
  statusFont_ = SystemFont(&NONCLIENTMETRICSA::lfStatusFont);
  // The design's text height is 12; a screen or font that measures otherwise scales everything.
  const int textHeight = TextExtent(hwnd_, font_.get(), "0").cy;
  auto fit = [&](const LayoutRect& rect) {
    return textHeight == kDesignTextHeight ? rect : ScaleRect(rect, textHeight);
  };

  for (const ControlSpec& spec : kControls) {
    const ControlClass control = ClassFor(spec.kind);
    LayoutRect rect = fit(spec.rect);
    if (spec.kind == ControlKind::Label) {
      // The label takes the size of its text.
      const SIZE text = TextExtent(hwnd_, font_.get(), spec.caption);
      rect.width = text.cx;
      rect.height = text.cy;
    }
    HWND window = CreateWindowExA(
        control.exStyle, control.className, spec.caption,
        WS_CHILD | WS_VISIBLE | (spec.tabStop ? WS_TABSTOP : 0) | control.style, rect.left,
        rect.top, rect.width, rect.height, hwnd_,
        reinterpret_cast<HMENU>(
            static_cast<INT_PTR>(spec.kind == ControlKind::Button ? kButton1Id : 0)),
        application_.Instance(), nullptr);
    SendMessageA(window, WM_SETFONT,
                 reinterpret_cast<WPARAM>(spec.kind == ControlKind::StatusBar ? statusFont_.get()
                                                                              : font_.get()),
                 FALSE);
    switch (spec.kind) {
      case ControlKind::Label:
        Label1 = window;
        break;
      case ControlKind::Button:
        Button1 = window;
        break;
      case ControlKind::Memo:
        Memo1 = window;
        // No limit on the log's length, so no deleted key goes unlisted.
        SendMessageA(Memo1, EM_SETLIMITTEXT, 0, 0);
        SetWindowSubclass(Memo1, &LogKeys, 0, 0);
        break;
      case ControlKind::StatusBar:
        StatusBar1 = window;
        SendMessageA(StatusBar1, SB_SIMPLE, TRUE, 0);
        break;
    }
  }

  const LayoutRect client = fit({0, 0, kClientWidth, kClientHeight});
  RECT frame = {0, 0, client.width, client.height};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(hwnd_, nullptr, CentredOffset(GetSystemMetrics(SM_CXVIRTUALSCREEN), width),
               CentredOffset(GetSystemMetrics(SM_CYVIRTUALSCREEN), height), width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void TMainForm::Show() {
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetFocus(Button1);
}

void TMainForm::Button1Click(HWND /*sender*/) {
  // The lines reach the log box in one piece, also when the run ends in an exception.
  BatchedLog log(*this);
  RunCleanInWindow(registry_, log);
}

void TMainForm::ClearLog() {
  SetWindowTextA(Memo1, "");
}

void TMainForm::AppendLogLine(const std::string& line) {
  const std::string text = line + "\r\n";
  const int end = GetWindowTextLengthA(Memo1);
  SendMessageA(Memo1, EM_SETSEL, end, end);
  SendMessageA(Memo1, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageA(Memo1, EM_SCROLLCARET, 0, 0);
}

void TMainForm::ShowNotice(const std::string& text) {
  application_.ShowNotice(text);
}

void TMainForm::SetStatusText(const std::string& text) {
  if (text == statusText_) {
    return;
  }
  statusText_ = text;
  SendMessageA(StatusBar1, SB_SETTEXTA, SB_SIMPLEID, reinterpret_cast<LPARAM>(statusText_.c_str()));
  // Drawn now, not at the event loop's next turn.
  UpdateWindow(StatusBar1);
}

LRESULT TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      CreateControls();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kButton1Id && HIWORD(wParam) == BN_CLICKED) {
        Button1Click(reinterpret_cast<HWND>(lParam));
      }
      return 0;
    case DM_GETDEFID:
      // Enter presses the button while it has the focus, and nothing otherwise.
      return GetFocus() == Button1 ? MAKELRESULT(kButton1Id, DC_HASDEFID) : 0;
    case WM_CTLCOLORSTATIC:
      // A read-only edit would otherwise take the button face; the log keeps the window colour.
      if (reinterpret_cast<HWND>(lParam) == Memo1) {
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd_, message, wParam, lParam);
}
