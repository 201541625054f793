#pragma once

#include <windows.h>

#include "common/UniqueHandle_win.h"

// The privileges loading and unloading a hive take, SeBackupPrivilege and SeRestorePrivilege,
// enabled in the process's token while this lives and put back as they were when it goes: every
// other open keeps the access checks the account's own rights allow.
class HivePrivileges {
 public:
  HivePrivileges();
  ~HivePrivileges();
  HivePrivileges(const HivePrivileges&) = delete;
  HivePrivileges& operator=(const HivePrivileges&) = delete;

  // Whether both are enabled; a token that lacks one (a standard user's) has neither held.
  bool Held() const { return held_; }

 private:
  struct TwoPrivileges {
    DWORD PrivilegeCount = 0;
    LUID_AND_ATTRIBUTES Privileges[2] = {};
  };

  UniqueHandle<HANDLE, &CloseHandle> token_;
  TwoPrivileges previous_;
  bool adjusted_ = false;
  bool held_ = false;
};
