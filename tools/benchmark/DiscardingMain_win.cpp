// The program with a log box that keeps nothing: beside the real program, the time a click takes
// without its log is the registry's share.
#include <windows.h>

#include "app/RunMainForm_win.h"
#include "registry/LocaleSource_win.h"
#include "registry/WindowsRegistry_win.h"
#include "unitMain/TMainForm_win.h"

namespace {

class DiscardingMainForm : public TMainForm {
 public:
  using TMainForm::TMainForm;
  void AppendLogLine(const std::string&) override {}
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  InitPlatformLocale(WindowsLocaleSource());
  WindowsRegistry registry;
  return RunMainForm<DiscardingMainForm>(instance, registry);
}
