#include "registry/WindowsRegistry_win.h"

#include <windows.h>
// winternl.h needs the declarations of windows.h before it.
#include <winternl.h>

#include <algorithm>

namespace {

// Our handle values are the platform's: the roots have the same fixed values in a 32-bit process.
HKEY ToHkey(RegHandle handle) {
  return reinterpret_cast<HKEY>(handle);
}

static_assert(sizeof(RegHandle) >= sizeof(HKEY), "a handle must fit");

}  // namespace

// ntdll exports it; the SDK headers leave it out.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);

RegStatus WindowsRegistry::OpenKey(RegHandle base, const char* subKey, std::uint32_t options,
                                   std::uint32_t access, RegHandle* result) {
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExA(ToHkey(base), subKey, options, access, &opened);
  if (status == ERROR_SUCCESS) {
    *result = reinterpret_cast<RegHandle>(opened);
  }
  return status;
}

RegStatus WindowsRegistry::CloseKey(RegHandle key) {
  return RegCloseKey(ToHkey(key));
}

RegStatus WindowsRegistry::QueryInfoKey(RegHandle key, const KeyInfoOut& out) {
  // DWORD is another type than std::uint32_t here, so the figures pass through locals.
  DWORD platformFigures[5] = {};
  FILETIME lastWrite = {};
  const LONG status = RegQueryInfoKeyA(
      ToHkey(key), nullptr, nullptr, nullptr, &platformFigures[0], &platformFigures[1], nullptr,
      &platformFigures[2], &platformFigures[3], &platformFigures[4], nullptr, &lastWrite);
  if (status == ERROR_SUCCESS) {
    std::uint32_t figures[5];
    std::copy(platformFigures, platformFigures + 5, figures);
    out.Fill(figures, FileTime{lastWrite.dwLowDateTime, lastWrite.dwHighDateTime});
  }
  return status;
}

RegStatus WindowsRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                                   std::uint32_t* nameLength) {
  DWORD length = *nameLength;
  const LONG status =
      RegEnumKeyExA(ToHkey(key), index, name, &length, nullptr, nullptr, nullptr, nullptr);
  *nameLength = length;
  return status;
}

RegStatus WindowsRegistry::DeleteOpenKey(RegHandle key) {
  // advapi32 deletes only by name, and a name is resolved through a link; ntdll deletes the key
  // the handle stands for.
  return static_cast<RegStatus>(RtlNtStatusToDosError(NtDeleteKey(ToHkey(key))));
}
