#include "common/ProcessHardening_win.h"

#include <windows.h>

void LimitDllSearchToSystem32() {
  // Looked up at run time: Windows 7 without its loader update has no such call, and a program
  // that imported it would not start there.
  using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
  const auto setDefaultDllDirectories =
      reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefaultDllDirectories && setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    return;
  }
  // Where it is missing, at least the working folder leaves the search order.
  SetDllDirectoryW(L"");
}
