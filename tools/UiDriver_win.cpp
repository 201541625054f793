// Drives the cleaner's windows from outside, as a user would, and reports what they show.
//   find CAPTION                   waits for the main window
//   layout CAPTION                 its frame, client area, controls, focus and taskbar owner
//   key CAPTION enter|space|esc|tab|shift-tab|x  types a key for the focused control; it returns
//                                  once the key is sent, so what the key does is waited for
//                                  after it. The window's thread takes keys in order: once a
//                                  later key's effect shows, the earlier keys have been handled
//   wait-focus CAPTION CLASS       waits until the focus is on the main window's control of that
//                                  class, and prints it as layout does
//   wait-empty-log CAPTION         waits until the log box is empty
//   read CAPTION LOGFILE           writes the log box's text to LOGFILE, prints the status text
//   notice TITLE                   waits for a box captioned TITLE and describes it
//   close-notice TITLE ok|enter|esc|close       closes it that way and waits until it is gone
//   close CAPTION                  closes the main window
//   count TITLE                    prints how many boxes captioned TITLE are open now
//   close-owner CAPTION            closes the program as its taskbar entry does: through the
//                                  window that owns the main window
//   choose-entry CAPTION           brings the program forward as choosing its taskbar entry
//                                  does (the owner window comes to the front), and prints the
//                                  caption of the window that is then active in the program
//   timed-click CAPTION TEXT       clicks "Clean" and prints the milliseconds until the status
//                                  bar shows TEXT (a figure for the benchmark)
// Exits 1 with a message when something is not there in time.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 15000;

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "driver: %s\n", message.c_str());
  std::exit(1);
}

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

// Asked of the window itself: the caption the system keeps for another process's control is not
// its text. False when the window does not answer (it may be going away).
bool AskText(HWND window, std::string* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, &length)) {
    return false;
  }
  text->assign(length + 1, '\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, text->size(), reinterpret_cast<LPARAM>(&(*text)[0]),
                           SMTO_ABORTIFHUNG, kWaitMs, &copied)) {
    return false;
  }
  text->resize(copied);
  return true;
}

// The text of a window that must answer.
std::string TextOf(HWND window) {
  std::string text;
  if (!AskText(window, &text)) {
    Fail("a window does not answer for its text");
  }
  return text;
}

struct Search {
  std::string caption;
  bool dialog;
  std::vector<HWND> found;
};

BOOL CALLBACK Collect(HWND window, LPARAM param) {
  auto& search = *reinterpret_cast<Search*>(param);
  // Windows of other programs may be closing while they are looked at: they are no match.
  std::string text;
  if (IsWindowVisible(window) && AskText(window, &text) && text == search.caption &&
      (ClassOf(window) == "#32770") == search.dialog) {
    search.found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> FindAll(const std::string& caption, bool dialog) {
  Search search{caption, dialog, {}};
  EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitFor(const std::string& caption, bool dialog) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    std::vector<HWND> found = FindAll(caption, dialog);
    if (!found.empty()) {
      return found.front();
    }
    Sleep(50);
  }
  Fail("no window captioned '" + caption + "'");
}

void WaitGone(const std::string& caption, bool dialog) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    if (FindAll(caption, dialog).empty()) {
      return;
    }
    Sleep(50);
  }
  Fail("the window captioned '" + caption + "' stays");
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

void PrintFocus(HWND focus) {
  std::printf("focus %s '%s'\n", focus ? ClassOf(focus).c_str() : "none",
              focus ? TextOf(focus).c_str() : "");
}

void PrintLayout(HWND window) {
  RECT frame;
  GetWindowRect(window, &frame);
  RECT client;
  GetClientRect(window, &client);
  const LONG style = GetWindowLongA(window, GWL_STYLE);
  const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
  std::printf("screen %d %d\n", GetSystemMetrics(SM_CXVIRTUALSCREEN),
              GetSystemMetrics(SM_CYVIRTUALSCREEN));
  std::printf("frame %ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
              frame.bottom - frame.top);
  std::printf("client %ld %ld\n", client.right, client.bottom);
  std::printf("sizable %d minimize %d maximize %d toolwindow %d\n", (style & WS_THICKFRAME) != 0,
              (style & WS_MINIMIZEBOX) != 0, (style & WS_MAXIMIZEBOX) != 0,
              (exStyle & WS_EX_TOOLWINDOW) != 0);
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    std::printf("control %s '%s' %ld %ld %ld %ld tabstop %d\n", ClassOf(child).c_str(),
                TextOf(child).c_str(), rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top, (GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0);
  }
  HWND memo = FindWindowExA(window, nullptr, "Edit", nullptr);
  const LONG memoStyle = memo ? GetWindowLongA(memo, GWL_STYLE) : 0;
  std::printf("memo readonly %d wrap %d scrollbars %d\n", (memoStyle & ES_READONLY) != 0,
              (memoStyle & ES_AUTOHSCROLL) == 0, (memoStyle & (WS_HSCROLL | WS_VSCROLL)) != 0);
  HWND status = FindWindowExA(window, nullptr, STATUSCLASSNAMEA, nullptr);
  std::printf("status simple %d grip %d\n",
              status ? SendMessageA(status, SB_ISSIMPLE, 0, 0) != 0 : 0,
              status ? (GetWindowLongA(status, GWL_STYLE) & SBARS_SIZEGRIP) != 0 : 0);
  PrintFocus(FocusOf(window));
  HWND owner = GetWindow(window, GW_OWNER);
  std::printf("owner '%s' visible %d\n", owner ? TextOf(owner).c_str() : "",
              owner ? IsWindowVisible(owner) != 0 : 0);
}

// Types the key on the keyboard, with the window in front, so the focused control gets it.
void PressKey(HWND window, const std::string& key) {
  struct Key {
    const char* name;
    WORD code;
    bool shift;
  };
  static const Key keys[] = {{"enter", VK_RETURN, false}, {"space", VK_SPACE, false},
                             {"esc", VK_ESCAPE, false},   {"tab", VK_TAB, false},
                             {"shift-tab", VK_TAB, true}, {"x", 'X', false}};
  const Key* chosen = nullptr;
  for (const Key& k : keys) {
    if (key == k.name) {
      chosen = &k;
    }
  }
  if (!chosen) {
    Fail("unknown key " + key);
  }
  SetForegroundWindow(window);
  for (DWORD waited = 0; GetForegroundWindow() != window; waited += 50) {
    if (waited > kWaitMs) {
      Fail("the window does not come to the front");
    }
    Sleep(50);
  }
  std::vector<INPUT> inputs;
  auto add = [&inputs](WORD code, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = code;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(code, 0));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (chosen->shift) {
    add(VK_SHIFT, false);
  }
  add(chosen->code, false);
  add(chosen->code, true);
  if (chosen->shift) {
    add(VK_SHIFT, true);
  }
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
    Fail("the keys could not be typed");
  }
}

// A box's focus is the program's focus too; only the main window's own controls count here.
void WaitFocus(HWND window, const std::string& className) {
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    HWND focus = FocusOf(window);
    if (focus && IsChild(window, focus) && ClassOf(focus) == className) {
      PrintFocus(focus);
      return;
    }
    Sleep(50);
  }
  HWND focus = FocusOf(window);
  Fail("the focus never reaches the " + className + "; it is on " +
       (focus ? ClassOf(focus) + " '" + TextOf(focus) + "'" : std::string("nothing")));
}

void Post(HWND window, UINT message, WPARAM wParam) {
  if (!window || !PostMessageA(window, message, wParam, 0)) {
    Fail("a message could not be posted");
  }
}

HWND ChildOfClass(HWND window, const char* className) {
  HWND child = FindWindowExA(window, nullptr, className, nullptr);
  if (!child) {
    Fail(std::string("no ") + className + " control");
  }
  return child;
}

// The status bar's text lives in the program's memory; it is read through a buffer there.
std::string StatusText(HWND statusBar) {
  DWORD processId = 0;
  GetWindowThreadProcessId(statusBar, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ, FALSE, processId);
  if (!process) {
    Fail("cannot open the program's process");
  }
  constexpr SIZE_T kSize = 1024;
  void* remote = VirtualAllocEx(process, nullptr, kSize, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) {
    CloseHandle(process);
    Fail("cannot make a buffer in the program's memory");
  }
  // In simple mode Wine answers for the simple panel at index 0, as its documentation has it.
  // The answer's low word is the text's length; a bar that does not answer fails the read.
  DWORD_PTR answer = 0;
  const bool answered =
      SendMessageTimeoutA(statusBar, SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(remote), SMTO_NORMAL,
                          20 * 60 * 1000, &answer) != 0;
  char text[kSize] = {};
  SIZE_T read = 0;
  const bool copied = ReadProcessMemory(process, remote, text, kSize - 1, &read) && read > 0;
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  if (!answered || !copied) {
    Fail("cannot read the status bar's text");
  }
  if (std::strlen(text) != LOWORD(answer)) {
    Fail("the status bar's text came back cut");
  }
  return text;
}

void ReadWindow(HWND window, const char* logFile) {
  const std::string log = TextOf(ChildOfClass(window, "Edit"));
  FILE* file = std::fopen(logFile, "wb");
  if (!file) {
    Fail(std::string("cannot write ") + logFile);
  }
  const bool written = std::fwrite(log.data(), 1, log.size(), file) == log.size();
  if (std::fclose(file) != 0 || !written) {
    Fail(std::string("cannot write ") + logFile);
  }
  std::printf("status '%s'\n", StatusText(ChildOfClass(window, STATUSCLASSNAMEA)).c_str());
}

void WaitEmptyLog(HWND window) {
  HWND memo = ChildOfClass(window, "Edit");
  std::string log;
  for (DWORD waited = 0; waited < kWaitMs; waited += 50) {
    log = TextOf(memo);
    if (log.empty()) {
      return;
    }
    Sleep(50);
  }
  Fail("the log box keeps its " + std::to_string(log.size()) + " characters");
}

// The program's answer to a message it is sent, once the messages sent before have been handled.
void WaitAnswer(HWND window, const std::string& what) {
  if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kWaitMs, nullptr)) {
    Fail(what + " does not answer");
  }
}

void DescribeNotice(const std::string& title) {
  HWND box = WaitFor(title, true);
  // A box answers only from its own loop, which it enters laid out, shown and with its owner
  // disabled.
  WaitAnswer(box, "the box");
  std::printf("count %u\n", static_cast<unsigned>(FindAll(title, true).size()));
  bool icon = false;
  std::string texts;
  std::string buttons;
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) {
      continue;
    }
    const std::string className = ClassOf(child);
    const LONG style = GetWindowLongA(child, GWL_STYLE);
    if (className == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
      icon = icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
    } else if (className == "Static") {
      texts += "text '" + TextOf(child) + "'\n";
    } else if (className == "Button") {
      buttons += "button '" + TextOf(child) + "'\n";
    }
  }
  std::printf("%s%s", texts.c_str(), buttons.c_str());
  std::printf("icon %s\n", icon ? "yes" : "no");
  RECT frame;
  GetWindowRect(box, &frame);
  // Centred within a pixel: an odd difference cannot be halved.
  std::printf("centred %d\n",
              std::abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)) <= 1 &&
                  std::abs(frame.top + frame.bottom - GetSystemMetrics(SM_CYSCREEN)) <= 1);
  HWND owner = GetWindow(box, GW_OWNER);
  std::printf("owner-enabled %d\n", owner ? IsWindowEnabled(owner) != 0 : -1);
}

void CloseNotice(const std::string& title, const std::string& how) {
  HWND box = WaitFor(title, true);
  if (how == "ok") {
    Post(FindWindowExA(box, nullptr, "Button", nullptr), BM_CLICK, 0);
  } else if (how == "close") {
    Post(box, WM_SYSCOMMAND, SC_CLOSE);
  } else {
    PressKey(box, how);
  }
  WaitGone(title, true);
}

void ChooseEntry(HWND window) {
  HWND owner = GetWindow(window, GW_OWNER);
  if (!owner || !SetForegroundWindow(owner)) {
    Fail("the taskbar entry's window cannot come to the front");
  }
  // The activation reaches the program as messages sent to it before this one: once it answers,
  // the taskbar entry's window has been activated, and the program has asked itself to bring its
  // front window forward. That request is handled after the answer, so the active window is
  // awaited too; it must not stay the taskbar entry's window.
  WaitAnswer(owner, "the taskbar entry's window");
  HWND active = nullptr;
  for (DWORD waited = 0;; waited += 50) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) || !info.hwndActive) {
      Fail("the program has no active window");
    }
    active = info.hwndActive;
    if (active != owner) {
      break;
    }
    if (waited >= kWaitMs) {
      Fail("the taskbar entry's window stays active; nothing is brought forward");
    }
    Sleep(50);
  }
  std::printf("active %s '%s'\n", ClassOf(active).c_str(), TextOf(active).c_str());
}

// The status is asked for again and again; each question waits while the program is busy with
// the click, so the answer comes as soon as the click is over.
void TimedClick(HWND window, const std::string& text) {
  HWND button = ChildOfClass(window, "Button");
  HWND statusBar = ChildOfClass(window, STATUSCLASSNAMEA);
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  Post(button, BM_CLICK, 0);
  const DWORD deadline = GetTickCount() + 20 * 60 * 1000;
  while (StatusText(statusBar) != text) {
    if (GetTickCount() > deadline) {
      Fail("the status never showed '" + text + "'");
    }
    Sleep(1);
  }
  QueryPerformanceCounter(&now);
  std::printf("%.1f\n", 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                            static_cast<double>(frequency.QuadPart));
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 3) {
    Fail("usage: driver COMMAND CAPTION [ARG]");
  }
  const std::string command = argv[1];
  const std::string caption = argv[2];
  const std::string arg = argc > 3 ? argv[3] : "";
  if (command == "find") {
    WaitFor(caption, false);
  } else if (command == "layout") {
    PrintLayout(WaitFor(caption, false));
  } else if (command == "key") {
    PressKey(WaitFor(caption, false), arg);
  } else if (command == "wait-focus") {
    WaitFocus(WaitFor(caption, false), arg);
  } else if (command == "wait-empty-log") {
    WaitEmptyLog(WaitFor(caption, false));
  } else if (command == "read") {
    ReadWindow(WaitFor(caption, false), arg.c_str());
  } else if (command == "notice") {
    DescribeNotice(caption);
  } else if (command == "close-notice") {
    CloseNotice(caption, arg);
  } else if (command == "timed-click") {
    TimedClick(WaitFor(caption, false), arg);
  } else if (command == "count") {
    std::printf("%u\n", static_cast<unsigned>(FindAll(caption, true).size()));
  } else if (command == "close-owner") {
    Post(GetWindow(WaitFor(caption, false), GW_OWNER), WM_SYSCOMMAND, SC_CLOSE);
  } else if (command == "choose-entry") {
    ChooseEntry(WaitFor(caption, false));
  } else if (command == "close") {
    Post(WaitFor(caption, false), WM_CLOSE, 0);
  } else {
    Fail("unknown command " + command);
  }
  return 0;
}
