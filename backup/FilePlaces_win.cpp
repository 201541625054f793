#include "backup/FilePlaces_win.h"

#include "backup/FileSecurity_win.h"
#include "backup/HandleChecks_win.h"
#include "registry/WideText_win.h"

void CloseFile(HANDLE file) {
  CloseHandle(file);
}

bool WideFromUtf8(const std::string& text, std::wstring* wide) {
  if (text.empty()) {
    wide->clear();
    return true;
  }
  const int length = static_cast<int>(text.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) {
    return false;
  }
  wide->assign(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide->data(), units);
  return true;
}

std::string Utf8(const std::wstring& wide) {
  const DWORD error = GetLastError();
  std::string text = Utf8FromWide(wide.data(), static_cast<int>(wide.size()));
  SetLastError(error);
  return text;
}

std::string ErrorText(const std::string& what) {
  return what + " (error " + std::to_string(GetLastError()) + ")";
}

std::wstring PlainFullName(const std::wstring& name) {
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return std::wstring();
  }
  full.resize(written);
  const bool onDrive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
  const bool onShare =
      full.size() > 2 && full.compare(0, 2, L"\\\\") == 0 && full[2] != L'?' && full[2] != L'.';
  if (!onDrive && !onShare) {
    return std::wstring();
  }
  if (full.find(L':', onDrive ? 2 : 0) != std::wstring::npos) {
    return std::wstring();
  }
  while (full.size() > 3 && full.back() == L'\\') {
    full.pop_back();
  }
  return full;
}

std::wstring ParentFolder(const std::wstring& name) {
  const std::size_t slash = name.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == name.size()) {
    return std::wstring();
  }
  const std::wstring parent = name.substr(0, slash);
  if (parent.size() == 2 && parent[1] == L':') {
    return parent + L"\\";
  }
  // A share's root, "\\server\share", holds no backup of ours and has no folder above.
  return parent.find(L'\\', 2) == std::wstring::npos ? std::wstring() : parent;
}

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
