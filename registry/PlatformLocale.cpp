#include "registry/PlatformLocale.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

PlatformLocale gPlatformLocale;

namespace {

constexpr std::uint32_t kEnglishUs = 0x409;
constexpr std::uint32_t kLangEnglish = 0x09;

// Languages whose code pages are all single-byte, so the platform need not be asked.
constexpr std::array<std::uint32_t, 12> kWesternLanguages = {0x00, 0x06, 0x07, 0x09, 0x0A, 0x0B,
                                                             0x0C, 0x10, 0x13, 0x14, 0x16, 0x1D};

std::uint32_t PrimaryLanguage(std::uint32_t locale) {
  if ((locale & 0xFFFF) == 0) {
    return kLangEnglish;
  }
  return locale & 0x3FF;
}

bool IsDecimal(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

}  // namespace

bool DecideFarEastLocale(const LocaleSource& source) {
  if (source.PlatformId() != kPlatformWin32Nt) {
    return source.DbcsEnabledMetric();
  }
  std::uint32_t locale = source.ThreadLocale();
  if (locale == 0) {
    locale = kEnglishUs;
  }
  const std::uint32_t language = PrimaryLanguage(locale);
  if (std::find(kWesternLanguages.begin(), kWesternLanguages.end(), language) !=
      kWesternLanguages.end()) {
    return false;
  }
  const std::string text = source.DefaultAnsiCodePageText(locale);
  const std::uint32_t codePage =
      IsDecimal(text) ? static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 10))
                      : source.AnsiCodePage();
  return source.HasLeadByteRanges(codePage);
}

void InitPlatformLocale(const LocaleSource& source) {
  gPlatformLocale.platformId = source.PlatformId();
  gPlatformLocale.farEastLocale = DecideFarEastLocale(source);
}
