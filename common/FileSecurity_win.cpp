#include "common/FileSecurity_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace {

void CloseToken(HANDLE token) {
  CloseHandle(token);
}

std::string SidText(PSID sid) {
  wchar_t* text = nullptr;
  if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) {
    return std::string();
  }
  std::string utf8;
  for (const wchar_t* unit = text; *unit != L'\0'; ++unit) {
    utf8 += static_cast<char>(*unit);  // a SID's text is ASCII
  }
  LocalFree(text);
  return utf8;
}

// Object entries carry up to two GUIDs before their SID, each present as their flags say.
PSID ObjectEntrySid(const ACCESS_ALLOWED_OBJECT_ACE* entry) {
  const BYTE* at = reinterpret_cast<const BYTE*>(&entry->ObjectType);
  at += (entry->Flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0;
  at += (entry->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0;
  return const_cast<BYTE*>(at);
}

AccessEntry ReadEntry(const ACE_HEADER* header) {
  AccessEntry entry;
  entry.type = header->AceType;
  entry.flags = header->AceFlags;
  switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE: {
      const auto* plain = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
      entry.mask = plain->Mask;
      entry.sid = SidText(const_cast<DWORD*>(&plain->SidStart));
      break;
    }
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE: {
      const auto* object = reinterpret_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(header);
      entry.mask = object->Mask;
      entry.sid = SidText(ObjectEntrySid(object));
      break;
    }
    default:
      // An entry of a kind not read here is taken as granting anyone everything.
      entry.mask = 0xFFFFFFFF;
      break;
  }
  return entry;
}

}  // namespace

void FreeLocal(PSECURITY_DESCRIPTOR memory) {
  LocalFree(memory);
}

SecurityModel ReadSecurityModel(PSECURITY_DESCRIPTOR descriptor) {
  SecurityModel model;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted)) {
    model.owner = SidText(owner);
  }
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    return model;
  }
  model.daclPresent = present && dacl != nullptr;
  for (DWORD index = 0; model.daclPresent && index < dacl->AceCount; ++index) {
    void* header = nullptr;
    if (GetAce(dacl, index, &header)) {
      model.dacl.push_back(ReadEntry(static_cast<const ACE_HEADER*>(header)));
    } else {
      model.dacl.push_back(AccessEntry{ACCESS_ALLOWED_ACE_TYPE, 0, 0xFFFFFFFF, std::string()});
    }
  }
  return model;
}

bool ReadSecurityModel(HANDLE handle, SecurityModel* model) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT,
                                       OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, nullptr, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    SetLastError(status);
    return false;
  }
  const LocalDescriptor owned(descriptor);
  *model = ReadSecurityModel(owned.get());
  return true;
}

bool CurrentIdentity(ProcessIdentity* identity) {
  HANDLE opened = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    return false;
  }
  const UniqueHandle<HANDLE, CloseToken> token(opened);
  DWORD size = 0;
  GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
    return false;
  }
  identity->account = SidText(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid);
  TOKEN_ELEVATION elevation{};
  DWORD elevationSize = 0;
  const bool elevated = GetTokenInformation(token.get(), TokenElevation, &elevation,
                                            sizeof(elevation), &elevationSize) &&
                        elevation.TokenIsElevated != 0;
  identity->elevated = elevated || identity->account == "S-1-5-18";
  return !identity->account.empty();
}

LocalDescriptor DescriptorFromSddl(const std::string& sddl) {
  const std::wstring wide(sddl.begin(), sddl.end());  // SDDL is ASCII
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(wide.c_str(), SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return LocalDescriptor();
  }
  return LocalDescriptor(descriptor);
}
