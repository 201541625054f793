#pragma once

#include <windows.h>

#include "app/TApplication_win.h"
#include "registry/RegistryApi.h"

// The program's run: the application object, the main window of the given kind over the given
// registry, shown, and the event loop until the window closes; the loop's exit code comes back.
template <typename MainForm>
int RunMainForm(HINSTANCE instance, RegistryReads& registry) {
  TApplication application(instance);
  MainForm mainForm(application, registry);
  mainForm.Show();
  return application.Run();
}
