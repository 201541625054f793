#pragma once

#include "registry/RegistryApi.h"

// The calls over advapi32's ANSI registry functions, its wide value enumeration, and ntdll's
// delete through a handle.
class WindowsRegistry : public RegistryApi {
 public:
  RegStatus OpenKey(RegHandle base, const char* subKey, std::uint32_t options, std::uint32_t access,
                    RegHandle* result) override;
  RegStatus CloseKey(RegHandle key) override;
  RegStatus QueryInfoKey(RegHandle key, const KeyInfoOut& out) override;
  RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                    std::uint32_t* nameLength) override;
  RegStatus DeleteOpenKey(RegHandle key) override;
  RegStatus EnumValue(RegHandle key, std::uint32_t index, RegValue* value) override;
  RegStatus QueryKeyName(RegHandle key, std::string* name) override;

  // Writing, for restore: keys made through the wide functions, values set through ntdll.
  RegStatus CreateKey(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                      std::uint32_t access, RegHandle* result, bool* created) override;
  RegStatus SetValue(RegHandle key, const RegValue& value) override;
  RegStatus OpenKeyW(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override;
  RegStatus EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) override;
};
