#pragma once

#include "registry/PlatformLocale.h"

// Reads the platform family and locale facts from the running Windows.
class WindowsLocaleSource : public LocaleSource {
 public:
  std::uint32_t PlatformId() const override;
  std::uint32_t ThreadLocale() const override;
  std::string DefaultAnsiCodePageText(std::uint32_t locale) const override;
  std::uint32_t AnsiCodePage() const override;
  bool HasLeadByteRanges(std::uint32_t codePage) const override;
  bool DbcsEnabledMetric() const override;
};
