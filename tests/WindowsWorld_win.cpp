#include "WindowsWorld_win.h"

#include <windows.h>
// sddl.h needs the declarations of windows.h before it.
#include <sddl.h>

#include <gtest/gtest.h>

#include "registry/Utf16.h"
#include "tools/RegistryLink_win.h"

namespace {

std::string Below(const std::string& path) {
  return std::string(RegistryWorld::kScratch) + "\\" + path;
}

// Read-only for everyone; no right to delete or to change the key.
constexpr const char* kReadOnlyDacl = "D:P(A;;KR;;;WD)";
constexpr const char* kNoAccessDacl = "D:P";
constexpr const char* kFullAccessDacl = "D:P(A;;KA;;;WD)";

void DeleteScratch() {
  const LONG status = RegDeleteTreeA(HKEY_CURRENT_USER, RegistryWorld::kScratch);
  ASSERT_TRUE(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) << status;
}

}  // namespace

WindowsWorld::WindowsWorld() {
  DeleteScratch();
  Create("");
}

WindowsWorld::~WindowsWorld() {
  // The owner may always rewrite a key's DACL, so restricted keys can be opened up again.
  for (const std::string& path : restricted_) {
    SetDacl(path, kFullAccessDacl);
  }
  // The platform's tree deletion follows links, so they go first, each as itself.
  for (const std::string& path : links_) {
    RegHandle link = kNoHandle;
    if (registry_.OpenKey(kHkeyCurrentUser, Below(path).c_str(), kRegOptionOpenLink, kKeyAllAccess,
                          &link) == kErrorSuccess) {
      registry_.DeleteOpenKey(link);
      registry_.CloseKey(link);
    }
  }
  DeleteScratch();
}

void WindowsWorld::Create(const std::string& path) {
  HKEY key = nullptr;
  // Names are UTF-8 here as everywhere, whatever the ANSI code page the test runs under.
  const std::u16string wide = Utf8ToUtf16(path.empty() ? kScratch : Below(path));
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(wide.c_str()), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

bool WindowsWorld::Exists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, Below(path).c_str(), REG_OPTION_OPEN_LINK, READ_CONTROL,
                    &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void WindowsWorld::MakeReadOnly(const std::string& path) {
  SetDacl(path, kReadOnlyDacl);
  restricted_.push_back(path);
}

void WindowsWorld::DenyAll(const std::string& path) {
  SetDacl(path, kNoAccessDacl);
  restricted_.push_back(path);
}

void WindowsWorld::CreateLink(const std::string& path, const std::string& target) {
  const std::size_t slash = path.rfind('\\');
  const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
  Create(parent);
  HKEY parentKey = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, parent.empty() ? kScratch : Below(parent).c_str(), 0,
                          KEY_ALL_ACCESS, &parentKey),
            ERROR_SUCCESS);
  const LONG status = CreateLinkKey(parentKey, path.substr(slash + 1),
                                    KernelKeyName(HKEY_CURRENT_USER, Below(target)), 0);
  RegCloseKey(parentKey);
  ASSERT_EQ(status, ERROR_SUCCESS) << path;
  links_.push_back(path);
}

void WindowsWorld::SetDacl(const std::string& path, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1,
                                                                   &descriptor, nullptr));
  HKEY key = nullptr;
  LONG status =
      RegOpenKeyExA(HKEY_CURRENT_USER, Below(path).c_str(), 0, WRITE_DAC | READ_CONTROL, &key);
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    RegCloseKey(key);
  }
  LocalFree(descriptor);
  ASSERT_EQ(status, ERROR_SUCCESS) << path;
}

void WindowsWorld::SetValue(const std::string& path, const RegValue& value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, Below(path).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring name(value.name.begin(), value.name.end());
  const LONG status = RegSetValueExW(key, name.c_str(), 0, value.type, value.data.data(),
                                     static_cast<DWORD>(value.data.size()));
  RegCloseKey(key);
  ASSERT_EQ(status, ERROR_SUCCESS);
}
