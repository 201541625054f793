#pragma once

#include "registry/RegistryApi.h"

// The five calls over advapi32's ANSI registry functions and ntdll's delete through a handle.
class WindowsRegistry : public RegistryApi {
 public:
  RegStatus OpenKey(RegHandle base, const char* subKey, std::uint32_t options, std::uint32_t access,
                    RegHandle* result) override;
  RegStatus CloseKey(RegHandle key) override;
  RegStatus QueryInfoKey(RegHandle key, const KeyInfoOut& out) override;
  RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                    std::uint32_t* nameLength) override;
  RegStatus DeleteOpenKey(RegHandle key) override;
};
