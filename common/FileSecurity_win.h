#pragma once

#include <windows.h>

#include <string>

#include "common/SecurityModel.h"
#include "common/UniqueHandle_win.h"

// The owner and DACL of a descriptor the platform gave, as the folder decision reads them.
SecurityModel ReadSecurityModel(PSECURITY_DESCRIPTOR descriptor);

// The owner and DACL of the file or folder open as `handle` (opened with READ_CONTROL); false,
// with the last error set, when the platform would not tell.
bool ReadSecurityModel(HANDLE handle, SecurityModel* model);

// Who the program runs as.
struct ProcessIdentity {
  std::string account;    // the token's user SID, "S-1-5-18" for SYSTEM
  bool elevated = false;  // SYSTEM, or an administrator's elevated token
};
// False when the process's token cannot be read.
bool CurrentIdentity(ProcessIdentity* identity);

void FreeLocal(PSECURITY_DESCRIPTOR memory);
using LocalDescriptor = UniqueHandle<PSECURITY_DESCRIPTOR, FreeLocal>;

// The descriptor an SDDL text describes; empty when the platform cannot read the text.
LocalDescriptor DescriptorFromSddl(const std::string& sddl);
