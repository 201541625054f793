#include "common/HandleChecks_win.h"

#include "common/WideText_win.h"

std::wstring FinalName(HANDLE handle) {
  const DWORD length = GetFinalPathNameByHandleW(handle, nullptr, 0, VOLUME_NAME_DOS);
  std::wstring name(length, L'\0');
  const DWORD written = GetFinalPathNameByHandleW(handle, name.data(), length, VOLUME_NAME_DOS);
  if (length == 0 || written == 0 || written >= length) {
    return std::wstring();
  }
  name.resize(written);
  if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    return L"\\" + name.substr(7);
  }
  return name.compare(0, 4, L"\\\\?\\") == 0 ? name.substr(4) : name;
}

bool SameName(const std::wstring& one, const std::wstring& other) {
  return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                              static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

std::string NewFileProblem(HANDLE handle, const std::wstring& name) {
  const std::string shown = Utf8FromWide(name.data(), static_cast<int>(name.size()));
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) {
    return "cannot read " + shown + " (error " + std::to_string(GetLastError()) + ")";
  }
  if (information.nNumberOfLinks != 1 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return shown + " has another name as well";
  }
  if (!SameName(FinalName(handle), name)) {
    return shown + " leads elsewhere through a link";
  }
  return std::string();
}
