#include <windows.h>

#include <shellapi.h>
#include <cwchar>
#include <iostream>

#include "backup/FileBackup_win.h"
#include "backup/RestoreFile_win.h"
#include "common/PlatformTexts_win.h"
#include "common/ProcessHardening_win.h"
#include "common/WideText_win.h"
#include "console/ConsoleProgram.h"
#include "console/FilePresence_win.h"
#include "console/RunLogFile_win.h"
#include "registry/KeyWatches_win.h"
#include "registry/LocaleSource_win.h"
#include "registry/WindowsRegistry_win.h"
#include "users/ProfileHives_win.h"

namespace {

// The arguments as the user typed them, whatever the code page: read wide, kept in UTF-8.
std::vector<std::string> Utf8Arguments() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> utf8;
  for (int index = 1; arguments && index < count; ++index) {
    utf8.push_back(Utf8FromWide(arguments[index], static_cast<int>(wcslen(arguments[index]))));
  }
  LocalFree(arguments);
  return utf8;
}

// The console shows the program's UTF-8 output as such while it runs, and as before afterwards.
class Utf8Console {
 public:
  Utf8Console() : saved_(GetConsoleOutputCP()) { SetConsoleOutputCP(CP_UTF8); }
  ~Utf8Console() {
    if (saved_ != 0) {
      SetConsoleOutputCP(saved_);
    }
  }
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT saved_;
};

}  // namespace

int main() {
  LimitDllSearchToSystem32();
  UseWindowsTexts();
  const Utf8Console console;
  try {
    InitPlatformLocale(WindowsLocaleSource());
    WindowsRegistry registry;
    // Declared after the registry and the platform they reach through, so the mounts a run left
    // are unloaded first.
    WindowsHivePlatform hivePlatform;
    HiveMounts profiles(registry, hivePlatform);
    WindowsKeyWatches watches;
    WindowsLogPlatform log;
    const ConsoleContext context{registry,
                                 MakeFileBackup,
                                 [&log] { return log.Now(); },
                                 std::cout,
                                 std::cerr,
                                 OpenBackupToRestore,
                                 &profiles,
                                 &watches,
                                 &log,
                                 [&log] { return log.Who().computer; },
                                 FilePresent};
    return RunConsole(Utf8Arguments(), context);
  } catch (...) {
    std::cerr << "An unexpected failure occurred." << std::endl;
    return 4;
  }
}
