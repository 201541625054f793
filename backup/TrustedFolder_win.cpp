#include "backup/TrustedFolder_win.h"

#include "backup/FolderTrust.h"
#include "common/FailWith.h"
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

bool HoldTrustedFolder(const std::wstring& folder, bool makeMissing, const std::string& account,
                       PSECURITY_DESCRIPTOR own, const std::string& purpose,
                       std::vector<FileHandle>* held, std::string* why) {
  std::vector<std::wstring> missing;
  std::wstring existing = folder;
  while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (!makeMissing || ParentFolder(existing).empty()) {
      return FailWith(why, ErrorText("the folder " + Utf8(existing) + " cannot be found"));
    }
    missing.push_back(existing);
    existing = ParentFolder(existing);
  }
  held->emplace_back();
  if (!OpenTrustedFolder(existing, account, purpose, &held->back(), why)) {
    return false;
  }
  SECURITY_ATTRIBUTES attributes{sizeof(attributes), own, FALSE};
  for (; !missing.empty(); missing.pop_back()) {
    // One that appeared meanwhile was made by someone else: never taken.
    if (!CreateDirectoryW(missing.back().c_str(), &attributes)) {
      return FailWith(why, ErrorText("cannot make the folder " + Utf8(missing.back())));
    }
    held->emplace_back();
    if (!OpenTrustedFolder(missing.back(), account, purpose, &held->back(), why)) {
      return false;
    }
  }
  return true;
}

bool TrustedFileSound(HANDLE file, const std::wstring& name, const std::string& account,
                      const std::string& purpose, std::string* why) {
  PlaceFacts facts;
  if (!ReadPlaceFacts(file, name, &facts) || !facts.plain || facts.folder) {
    return FailWith(why, "is not a file");
  }
  if (facts.reparsePoint || !facts.reachedAsNamed) {
    return FailWith(why, "leads elsewhere through a link");
  }
  if (facts.links != 1) {
    return FailWith(why, "has another name as well, through which others may have changed it");
  }
  SecurityModel security;
  if (!ReadSecurityModel(file, &security)) {
    return FailWith(why, ErrorText("cannot be checked: who may change it cannot be read"));
  }
  std::string refusal;
  return FolderTrusted(security, account, &refusal) ||
         FailWith(why, "is not safe " + purpose + ": " + refusal);
}
