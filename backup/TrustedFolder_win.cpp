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
  *held = OpenItself(folder, READ_CONTROL | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY);
  if (!*held) {
    return fail(ErrorText("cannot open the folder " + Utf8(folder)));
  }
  PlaceFacts facts;
  if (!ReadPlaceFacts(held->get(), folder, &facts)) {
    return fail(ErrorText("cannot read the folder " + Utf8(folder)));
  }
  if (!facts.folder) {
    return fail(Utf8(folder) + " is not a folder");
  }
  if (facts.reparsePoint || !facts.reachedAsNamed) {
    return fail(Utf8(folder) + " leads elsewhere through a link");
  }
  SecurityModel security;
  if (!ReadSecurityModel(held->get(), &security)) {
    return fail(ErrorText("cannot read who may change " + Utf8(folder)));
  }
  std::string refusal;
  return FolderTrusted(security, account, &refusal) ||
         fail(Utf8(folder) + " is not safe " + purpose + ": " + refusal);
}
