#include "registry/LocaleSource_win.h"

#include <windows.h>

std::uint32_t WindowsLocaleSource::PlatformId() const {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  return GetVersionExA(&info) ? info.dwPlatformId : VER_PLATFORM_WIN32_NT;
}

std::uint32_t WindowsLocaleSource::ThreadLocale() const {
  return GetThreadLocale();
}

std::string WindowsLocaleSource::DefaultAnsiCodePageText(std::uint32_t locale) const {
  char text[16] = {};
  if (GetLocaleInfoA(locale, LOCALE_IDEFAULTANSICODEPAGE, text, sizeof(text)) == 0) {
    return std::string();
  }
  return text;
}

std::uint32_t WindowsLocaleSource::AnsiCodePage() const {
  return GetACP();
}

bool WindowsLocaleSource::HasLeadByteRanges(std::uint32_t codePage) const {
  CPINFO info = {};
  if (!GetCPInfo(codePage, &info)) {
    return false;
  }
  // The ranges are pairs of bytes, ended by a pair of zeros.
  return info.LeadByte[0] != 0 || info.LeadByte[1] != 0;
}

bool WindowsLocaleSource::DbcsEnabledMetric() const {
  return GetSystemMetrics(SM_DBCSENABLED) != 0;
}
