#include "backup/TrustedFolder_win.h"

#include "backup/FolderTrust.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"

bool OpenTrustedFolder(const std::wstring& folder, const std::string& account,
                       const std::string& purpose, FileHandle* held, std::string* failure) {
  const auto fail = [&](const std::string& why) {
    *failure = why;
    return false;
  };
  HANDLE opened = CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    return fail(ErrorText("cannot open the folder " + Utf8(folder)));
  }
  *held = FileHandle(opened);
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(held->get(), &information)) {
    return fail(ErrorText("cannot read the folder " + Utf8(folder)));
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return fail(Utf8(folder) + " is not a folder");
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
      !SameName(FinalName(held->get()), folder)) {
    return fail(Utf8(folder) + " leads elsewhere through a link");
  }
  SecurityModel security;
  if (!ReadSecurityModel(held->get(), &security)) {
    return fail(ErrorText("cannot read who may change " + Utf8(folder)));
  }
  const std::string refusal = FolderRefusal(security, account);
  return refusal.empty() || fail(Utf8(folder) + " is not safe " + purpose + ": " + refusal);
}
