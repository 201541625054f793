#include "users/HivePrivileges_win.h"

HivePrivileges::HivePrivileges() {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &opened)) {
    return;
  }
  token_ = UniqueHandle<HANDLE, &CloseHandle>(opened);
  TwoPrivileges wanted;
  wanted.PrivilegeCount = 2;
  if (!LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &wanted.Privileges[0].Luid) ||
      !LookupPrivilegeValueW(nullptr, L"SeRestorePrivilege", &wanted.Privileges[1].Luid)) {
    return;
  }
  wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  wanted.Privileges[1].Attributes = SE_PRIVILEGE_ENABLED;
  DWORD size = 0;
  if (!AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&wanted),
                             sizeof(previous_), reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_),
                             &size)) {
    return;
  }
  adjusted_ = true;
  // The call succeeds, saying ERROR_NOT_ALL_ASSIGNED, when the token lacks one of them; the one
  // it had may be enabled, and goes back with the other changes.
  held_ = GetLastError() == ERROR_SUCCESS;
}

HivePrivileges::~HivePrivileges() {
  if (adjusted_) {
    // The previous state holds only what the call changed: privileges enabled before stay so.
    AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(&previous_), 0,
                          nullptr, nullptr);
  }
}
