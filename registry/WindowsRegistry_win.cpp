#include "registry/WindowsRegistry_win.h"

#include <windows.h>
// winternl.h needs the declarations of windows.h before it.
#include <winternl.h>

#include <algorithm>
#include <utility>

#include <vector>
#include "common/WideText_win.h"

namespace {

// Our handle values are the platform's: the roots have the same fixed values in a 32-bit process.
HKEY ToHkey(RegHandle handle) {
  return reinterpret_cast<HKEY>(handle);
}

static_assert(sizeof(RegHandle) >= sizeof(HKEY), "a handle must fit");

constexpr int kKeyNameInformation = 3;

}  // namespace

// ntdll exports them; the SDK headers leave them out.
extern "C" NTSTATUS NTAPI NtDeleteKey(HANDLE key);
extern "C" NTSTATUS NTAPI NtSetValueKey(HANDLE key, UNICODE_STRING* name, ULONG titleIndex,
                                        ULONG type, void* data, ULONG size);
extern "C" NTSTATUS NTAPI NtQueryKey(HANDLE key, int informationClass, void* information,
                                     ULONG length, ULONG* resultLength);

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

RegStatus WindowsRegistry::EnumValue(RegHandle key, std::uint32_t index, RegValue* value) {
  // Most values fit these; a larger one is asked for again with room for the key's largest, so
  // a value is held once, in the buffer handed on.
  DWORD nameRoom = 256;
  DWORD dataRoom = 1024;
  for (int attempt = 0; attempt < 3; ++attempt) {
    std::vector<wchar_t> name(nameRoom + 1);
    std::vector<std::uint8_t> data(dataRoom);
    DWORD nameLength = nameRoom + 1;
    DWORD dataLength = dataRoom;
    DWORD type = 0;
    const LONG status = RegEnumValueW(ToHkey(key), index, name.data(), &nameLength, nullptr, &type,
                                      data.data(), &dataLength);
    if (status == ERROR_SUCCESS) {
      value->name.assign(name.begin(), name.begin() + nameLength);
      value->type = type;
      data.resize(dataLength);
      value->data = std::move(data);
      return status;
    }
    if (status != ERROR_MORE_DATA) {
      return status;
    }
    DWORD longestName = 0;
    DWORD largestData = 0;
    const LONG query =
        RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longestName, &largestData, nullptr, nullptr);
    if (query != ERROR_SUCCESS) {
      return query;
    }
    // The value may have grown since: a later attempt asks for more than the maxima.
    nameRoom = std::max(longestName, nameRoom) + 1;
    dataRoom = attempt == 0 ? std::max(largestData, dataRoom) : std::max(largestData, dataRoom) * 2;
  }
  return ERROR_MORE_DATA;
}

RegStatus WindowsRegistry::QueryKeyName(RegHandle key, std::string* name) {
  // The roots are no handles of the kernel's: the machine's and the users' have fixed names, the
  // user's own hive is opened as itself.
  if (key == kHkeyLocalMachine || key == kHkeyUsers) {
    *name = key == kHkeyLocalMachine ? "\\REGISTRY\\MACHINE" : "\\REGISTRY\\USER";
    return ERROR_SUCCESS;
  }
  if (key == kHkeyCurrentUser) {
    HKEY user = nullptr;
    const LONG opened = RegOpenCurrentUser(KEY_QUERY_VALUE, &user);
    if (opened != ERROR_SUCCESS) {
      return opened;
    }
    const RegStatus status = QueryKeyName(reinterpret_cast<RegHandle>(user), name);
    RegCloseKey(user);
    return status;
  }
  // KEY_NAME_INFORMATION: the name's length in bytes, then the name, not terminated.
  std::vector<ULONG> buffer(256);
  for (int attempt = 0; attempt < 3; ++attempt) {
    ULONG needed = 0;
    const ULONG room = static_cast<ULONG>(buffer.size() * sizeof(ULONG));
    const NTSTATUS status =
        NtQueryKey(ToHkey(key), kKeyNameInformation, buffer.data(), room, &needed);
    if (NT_SUCCESS(status)) {
      const auto* text = reinterpret_cast<const wchar_t*>(buffer.data() + 1);
      const int units = static_cast<int>(std::min<ULONG>(buffer[0], room - sizeof(ULONG)) / 2);
      *name = Utf8FromWide(text, units);
      return ERROR_SUCCESS;
    }
    if (needed <= room) {
      return static_cast<RegStatus>(RtlNtStatusToDosError(status));
    }
    buffer.resize(needed / sizeof(ULONG) + 1);
  }
  return ERROR_MORE_DATA;
}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the platform's wide text is UTF-16");

RegStatus WindowsRegistry::OpenKeyW(RegHandle base, const std::u16string& subKey,
                                    std::uint32_t options, std::uint32_t access,
                                    RegHandle* result) {
  HKEY opened = nullptr;
  const LONG status = RegOpenKeyExW(ToHkey(base), reinterpret_cast<const wchar_t*>(subKey.c_str()),
                                    options, access, &opened);
  if (status == ERROR_SUCCESS) {
    *result = reinterpret_cast<RegHandle>(opened);
  }
  return status;
}

RegStatus WindowsRegistry::EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) {
  // A key's name has at most 255 characters.
  wchar_t buffer[256];
  DWORD length = 256;
  const LONG status =
      RegEnumKeyExW(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
  if (status == ERROR_SUCCESS) {
    name->assign(reinterpret_cast<const char16_t*>(buffer), length);
  }
  return status;
}

RegStatus WindowsRegistry::CreateKey(RegHandle base, const std::u16string& subKey,
                                     std::uint32_t options, std::uint32_t access, RegHandle* result,
                                     bool* created) {
  const std::wstring name(subKey.begin(), subKey.end());
  // A link is made with the right to make one.
  const DWORD rights = access | ((options & REG_OPTION_CREATE_LINK) ? KEY_CREATE_LINK : 0);
  HKEY made = nullptr;
  DWORD disposition = 0;
  const LONG status = RegCreateKeyExW(ToHkey(base), name.c_str(), 0, nullptr, options, rights,
                                      nullptr, &made, &disposition);
  if (status == ERROR_SUCCESS) {
    *result = reinterpret_cast<RegHandle>(made);
    if (created) {
      *created = disposition == REG_CREATED_NEW_KEY;
    }
  }
  return status;
}

RegStatus WindowsRegistry::SetValue(RegHandle key, const RegValue& value) {
  // RegSetValueExW adds a terminator to a string whose buffer happens to be followed by a zero
  // (the platform does so on purpose); ntdll stores exactly the bytes given.
  // The name's length goes to the platform in bytes as a 16-bit count; a longer name would wrap
  // into another, shorter one.
  if (value.name.size() > 0x7FFF) {
    return ERROR_INVALID_PARAMETER;
  }
  std::wstring name(value.name.begin(), value.name.end());
  UNICODE_STRING text;
  text.Buffer = name.data();
  text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  text.MaximumLength = text.Length;
  // The data goes as it is: a large value is not copied again.
  return static_cast<RegStatus>(RtlNtStatusToDosError(
      NtSetValueKey(ToHkey(key), &text, 0, value.type, const_cast<std::uint8_t*>(value.data.data()),
                    static_cast<ULONG>(value.data.size()))));
}
