#include "users/ProfileHives_win.h"

#include <windows.h>

#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "users/HiveFileHold_win.h"
#include "users/HivePrivileges_win.h"

namespace {

constexpr DWORD kUnloadPause = 200;  // milliseconds

using ProcessHandle = UniqueHandle<HANDLE, &CloseHandle>;

std::uint64_t StartOf(HANDLE process) {
  FILETIME created;
  FILETIME exited;
  FILETIME kernel;
  FILETIME user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
    return 0;
  }
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

std::string WindowsHivePlatform::Unpredictable() {
  return RandomHex(kUnpredictableDigits / 2);
}

bool WindowsHivePlatform::MayLoadHives() {
  return HivePrivileges().Held();
}

std::string WindowsHivePlatform::NewCopyPlace(const HiveFile& file) {
  return NewHiveCopyPlace(file);
}

std::unique_ptr<HeldHive> WindowsHivePlatform::Hold(const HiveFile& file,
                                                    const std::string& copyPlace,
                                                    HiveLoading* loading, std::string* why) {
  ProcessIdentity identity;
  if (!CurrentIdentity(&identity)) {
    *loading = HiveLoading::kRefused;
    *why = ErrorText("the account the program runs as is unknown");
    return nullptr;
  }
  return HoldHiveFile(file, copyPlace, identity.account, loading, why);
}

RegStatus WindowsHivePlatform::LoadHive(const std::string& as, const std::string& file) {
  std::wstring name;
  std::wstring path;
  if (!WideFromUtf8(as, &name) || !WideFromUtf8(file, &path)) {
    return ERROR_INVALID_PARAMETER;
  }
  const HivePrivileges privileges;
  return privileges.Held() ? RegLoadKeyW(HKEY_USERS, name.c_str(), path.c_str())
                           : ERROR_NOT_ALL_ASSIGNED;
}

RegStatus WindowsHivePlatform::UnloadHive(const std::string& as) {
  std::wstring name;
  if (!WideFromUtf8(as, &name)) {
    return ERROR_INVALID_PARAMETER;
  }
  const HivePrivileges privileges;
  return privileges.Held() ? RegUnLoadKeyW(HKEY_USERS, name.c_str()) : ERROR_NOT_ALL_ASSIGNED;
}

void WindowsHivePlatform::RemoveCopyLeft(const std::string& file) {
  ProcessIdentity identity;
  if (CurrentIdentity(&identity)) {
    RemoveHiveCopyLeft(file, identity.account);
  }
}

void WindowsHivePlatform::Pause() {
  Sleep(kUnloadPause);
}

std::string WindowsHivePlatform::RunName() {
  return std::to_string(GetCurrentProcessId()) + "-" + std::to_string(StartOf(GetCurrentProcess()));
}

bool WindowsHivePlatform::RunGoing(const std::string& run) {
  const std::size_t dash = run.find('-');
  DWORD id = 0;
  std::uint64_t start = 0;
  try {
    id = static_cast<DWORD>(std::stoul(run.substr(0, dash)));
    start = std::stoull(run.substr(dash + 1));
  } catch (const std::exception&) {
    return true;
  }
  const ProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
  if (!process) {
    // No process has the id; one that would not let itself be looked at may be the run.
    return GetLastError() != ERROR_INVALID_PARAMETER;
  }
  DWORD status = 0;
  return StartOf(process.get()) == start && GetExitCodeProcess(process.get(), &status) &&
         status == STILL_ACTIVE;
}

std::string WindowsHivePlatform::Expand(const std::string& value) {
  std::wstring wide;
  if (!WideFromUtf8(value, &wide)) {
    return value;
  }
  const DWORD length = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
  std::wstring expanded(length, L'\0');
  const DWORD written = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), length);
  if (length == 0 || written == 0 || written > length) {
    return value;
  }
  expanded.resize(written - 1);
  return Utf8(expanded);
}
