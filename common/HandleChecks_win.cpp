#include "common/HandleChecks_win.h"

#include "common/FailWith.h"
#include "common/FileSecurity_win.h"
#include "common/WideText_win.h"

namespace {

std::wstring FinalPath(HANDLE handle, DWORD volumeName) {
  const DWORD length = GetFinalPathNameByHandleW(handle, nullptr, 0, volumeName);
  std::wstring name(length, L'\0');
  const DWORD written = GetFinalPathNameByHandleW(handle, name.data(), length, volumeName);
  if (length == 0 || written == 0 || written >= length) {
    return std::wstring();
  }
  name.resize(written);
  return name;
}

}  // namespace

std::wstring FinalName(HANDLE handle) {
  const std::wstring name = FinalPath(handle, VOLUME_NAME_DOS);
  if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    return L"\\" + name.substr(7);
  }
  return name.compare(0, 4, L"\\\\?\\") == 0 ? name.substr(4) : name;
}

std::wstring DeviceFinalName(HANDLE handle) {
  return FinalPath(handle, VOLUME_NAME_NT);
}

bool SameName(const std::wstring& one, const std::wstring& other) {
  return CompareStringOrdinal(one.c_str(), static_cast<int>(one.size()), other.c_str(),
                              static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

bool NewFileSound(HANDLE handle, const std::wstring& name, std::string* why) {
  const std::string shown = Utf8FromWide(name.data(), static_cast<int>(name.size()));
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) {
    return FailWith(why, ErrorText("cannot read " + shown));
  }
  if (information.nNumberOfLinks != 1 ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return FailWith(why, shown + " has another name as well");
  }
  return SameName(FinalName(handle), name) ||
         FailWith(why, shown + " leads elsewhere through a link");
}

FileHandle OpenItself(const std::wstring& name, DWORD access) {
  // A named pipe a user made in its place may learn who opened it, but never act as them.
  HANDLE opened =
      CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT |
                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                  nullptr);
  return FileHandle(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
}

bool ReadPlaceFacts(HANDLE handle, const std::wstring& name, PlaceFacts* facts) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) {
    return false;
  }
  facts->folder = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts->reparsePoint = (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  facts->plain = GetFileType(handle) == FILE_TYPE_DISK;
  facts->links = information.nNumberOfLinks;
  facts->reachedAsNamed = SameName(FinalName(handle), name);
  facts->volume = information.dwVolumeSerialNumber;
  facts->index =
      (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
  SecurityModel security;
  facts->owner = ReadSecurityModel(handle, &security) ? security.owner : std::string();
  return true;
}
