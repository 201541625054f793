#include "common/PlatformTexts_win.h"

#include <windows.h>

#include <sddl.h>

#include "common/FilePlaces_win.h"
#include "common/PlatformTexts.h"

namespace {

std::string StatusMessage(long status) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(status), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text ? text : L"", length);
  LocalFree(text);
  // One line, without the full stop and line end the table gives each message.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L' ' || message.back() == L'.')) {
    message.pop_back();
  }
  for (wchar_t& unit : message) {
    unit = unit == L'\r' || unit == L'\n' ? L' ' : unit;
  }
  return Utf8(message);
}

// Looked up on this computer alone: a domain's account would need its controller, which a machine
// off its network waits for. The call is reached by name, as the import library lacks it.
std::string LocalAccountName(const std::string& sid) {
  using LookupCall = BOOL(WINAPI*)(PSID, LPWSTR, LPDWORD, LPWSTR, LPDWORD, PSID_NAME_USE);
  const auto lookup = reinterpret_cast<LookupCall>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "LookupAccountSidLocalW")));
  std::wstring wide;
  PSID binary = nullptr;
  if (!lookup || !WideFromUtf8(sid, &wide) || !ConvertStringSidToSidW(wide.c_str(), &binary)) {
    return std::string();
  }
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameLength = 256;
  DWORD domainLength = 256;
  SID_NAME_USE use;
  const BOOL found = lookup(binary, name, &nameLength, domain, &domainLength, &use);
  LocalFree(binary);
  if (!found || nameLength == 0) {
    return std::string();
  }
  const std::wstring account = std::wstring(domain, domainLength) + (domainLength ? L"\\" : L"") +
                               std::wstring(name, nameLength);
  return Utf8(account);
}

}  // namespace

void UseWindowsTexts() {
  UsePlatformTexts(StatusMessage, LocalAccountName);
}
