#pragma once

#include <cstdint>
#include <string>

// Process-wide facts about the platform, written once at start-up before any window exists and
// only read afterwards. They decide how large the registry object makes its name buffers.

constexpr std::uint32_t kPlatformWin32Nt = 2;

struct PlatformLocale {
  std::uint32_t platformId = kPlatformWin32Nt;  // dwPlatformId of GetVersionExA
  bool farEastLocale = false;                   // the ANSI code page may use double-byte names
};

extern PlatformLocale gPlatformLocale;

// What the decision reads of the platform; the Windows reader asks the real functions.
class LocaleSource {
 public:
  virtual ~LocaleSource() = default;
  virtual std::uint32_t PlatformId() const = 0;
  virtual std::uint32_t ThreadLocale() const = 0;
  // The text of LOCALE_IDEFAULTANSICODEPAGE for the locale; empty when it cannot be read.
  virtual std::string DefaultAnsiCodePageText(std::uint32_t locale) const = 0;
  virtual std::uint32_t AnsiCodePage() const = 0;
  // Whether the code page has at least one lead-byte range; false when it cannot be read.
  virtual bool HasLeadByteRanges(std::uint32_t codePage) const = 0;
  virtual bool DbcsEnabledMetric() const = 0;
};

// Whether the locale's ANSI code page is a double-byte one.
bool DecideFarEastLocale(const LocaleSource& source);

// Reads the platform once and fills gPlatformLocale.
void InitPlatformLocale(const LocaleSource& source);
