#include "common/FilePlaces_win.h"

#include "common/PlatformTexts.h"
#include "common/WideText_win.h"

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
  return WithStatus(what, static_cast<long>(GetLastError()));
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
