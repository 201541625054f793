// The program with a registry layer that fails in a way no caller expects, to show how an
// unexpected failure reaches the user.
#include <windows.h>

#include <stdexcept>

#include "app/RunMainForm_win.h"
#include "unitMain/TMainForm_win.h"

namespace {

// Throws at the first key the clean procedure opens.
class FailingRegistry : public RegistryReads {
 public:
  RegStatus OpenKey(RegHandle, const char*, std::uint32_t, std::uint32_t, RegHandle*) override {
    throw std::runtime_error("The registry layer broke down");
  }
  RegStatus CloseKey(RegHandle) override { return kErrorInvalidHandle; }
  RegStatus QueryInfoKey(RegHandle, const KeyInfoOut&) override { return kErrorInvalidHandle; }
  RegStatus EnumKey(RegHandle, std::uint32_t, char*, std::uint32_t*) override {
    return kErrorInvalidHandle;
  }
  RegStatus DeleteOpenKey(RegHandle) override { return kErrorInvalidHandle; }
  RegStatus EnumValue(RegHandle, std::uint32_t, RegValue*) override { return kErrorInvalidHandle; }
  RegStatus QueryKeyName(RegHandle, std::string*) override { return kErrorInvalidHandle; }
  RegStatus OpenKeyW(RegHandle, const std::u16string&, std::uint32_t, std::uint32_t,
                     RegHandle*) override {
    return kErrorInvalidHandle;
  }
  RegStatus EnumKeyW(RegHandle, std::uint32_t, std::u16string*) override {
    return kErrorInvalidHandle;
  }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  FailingRegistry registry;
  return RunMainForm<TMainForm>(instance, registry);
}
