#include "tools/RegistryLink_win.h"

// sddl.h needs the declarations of windows.h before it.
#include <sddl.h>

#include <vector>

#include "common/UniqueHandle_win.h"

namespace {

using Key = UniqueHandle<HKEY, &RegCloseKey>;
using Token = UniqueHandle<HANDLE, &CloseHandle>;

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.pop_back();
  return wide;
}

// HKEY_CURRENT_USER is the hive of the process's user, named by its SID.
std::wstring UserSid() {
  HANDLE opened = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened);
  const Token token(opened);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  wchar_t* text = nullptr;
  if (!token || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
      !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
    return std::wstring();
  }
  std::wstring sid = text;
  LocalFree(text);
  return sid;
}

}  // namespace

std::wstring KernelKeyName(HKEY root, const std::string& path) {
  std::wstring name;
  if (root == HKEY_CURRENT_USER) {
    name = L"\\Registry\\User\\" + UserSid();
  } else if (root == HKEY_CLASSES_ROOT) {
    name = L"\\Registry\\Machine\\Software\\Classes";
  } else {
    name = L"\\Registry\\Machine";
  }
  return path.empty() ? name : name + L"\\" + Wide(path);
}

LONG CreateLinkKey(HKEY parent, const std::string& name, const std::wstring& target, REGSAM view) {
  HKEY created = nullptr;
  LONG status = RegCreateKeyExA(
      parent, name.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE,
      KEY_ALL_ACCESS | KEY_CREATE_LINK | view, nullptr, &created, nullptr);
  if (status != ERROR_SUCCESS) {
    return status;
  }
  const Key link(created);
  // The link's value is its destination's name without a terminating zero.
  return RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK,
                        reinterpret_cast<const BYTE*>(target.data()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t)));
}
