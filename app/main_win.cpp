#include <windows.h>

#include "app/RunMainForm_win.h"
#include "common/ProcessHardening_win.h"
#include "registry/LocaleSource_win.h"
#include "registry/WindowsRegistry_win.h"
#include "unitMain/TMainForm_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  LimitDllSearchToSystem32();
  InitPlatformLocale(WindowsLocaleSource());
  WindowsRegistry registry;
  return RunMainForm<TMainForm>(instance, registry);
}
