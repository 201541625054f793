// When name buffers are sized for double-byte code pages.
#include <gtest/gtest.h>

#include <map>

#include "registry/PlatformLocale.h"

namespace {

constexpr std::uint32_t kJapanese = 0x411;
constexpr std::uint32_t kGerman = 0x407;
constexpr std::uint32_t kRussian = 0x419;

class FakeLocale : public LocaleSource {
 public:
  std::uint32_t PlatformId() const override { return platformId; }
  std::uint32_t ThreadLocale() const override { return threadLocale; }
  std::string DefaultAnsiCodePageText(std::uint32_t locale) const override {
    askedLocale = locale;
    auto it = codePageText.find(locale);
    return it == codePageText.end() ? std::string() : it->second;
  }
  std::uint32_t AnsiCodePage() const override { return acp; }
  bool HasLeadByteRanges(std::uint32_t codePage) const override {
    askedCodePage = codePage;
    return codePage == 932 || codePage == 936 || codePage == 65001;
  }
  bool DbcsEnabledMetric() const override { return dbcsEnabled; }

  std::uint32_t platformId = kPlatformWin32Nt;
  std::uint32_t threadLocale = 0x409;
  std::map<std::uint32_t, std::string> codePageText = {
      {kJapanese, "932"}, {kGerman, "1252"}, {kRussian, "1251"}, {0x409, "1252"}};
  std::uint32_t acp = 1252;
  bool dbcsEnabled = false;
  mutable std::uint32_t askedLocale = 0;
  mutable std::uint32_t askedCodePage = 0;
};

TEST(FarEastLocaleTest, NtFamilyAsksTheThreadLocalesCodePage) {
  FakeLocale source;
  source.threadLocale = kJapanese;
  EXPECT_TRUE(DecideFarEastLocale(source));
  EXPECT_EQ(source.askedLocale, kJapanese);
  EXPECT_EQ(source.askedCodePage, 932u);

  source.threadLocale = kRussian;
  EXPECT_FALSE(DecideFarEastLocale(source));
  EXPECT_EQ(source.askedCodePage, 1251u);
}

TEST(FarEastLocaleTest, WesternLanguagesNeverAskThePlatform) {
  FakeLocale source;
  source.acp = 932;
  for (std::uint32_t locale : {0x409u, kGerman, 0x40Cu, 0x410u, 0x41Du, 0x416u, 0x0u, 0x10000u}) {
    source.threadLocale = locale;
    source.askedCodePage = 0;
    EXPECT_FALSE(DecideFarEastLocale(source)) << std::hex << locale;
    EXPECT_EQ(source.askedCodePage, 0u) << std::hex << locale;
  }
}

TEST(FarEastLocaleTest, UnreadableCodePageFallsBackToTheAnsiCodePage) {
  FakeLocale source;
  source.threadLocale = 0x804;  // Chinese, with no code-page text
  source.acp = 936;
  EXPECT_TRUE(DecideFarEastLocale(source));
  EXPECT_EQ(source.askedCodePage, 936u);
  source.codePageText[0x804] = "not a number";
  source.acp = 1252;
  EXPECT_FALSE(DecideFarEastLocale(source));
  EXPECT_EQ(source.askedCodePage, 1252u);
}

TEST(FarEastLocaleTest, OtherFamiliesAskOnlyTheDoubleByteMetric) {
  FakeLocale source;
  source.platformId = 1;
  source.threadLocale = kJapanese;
  EXPECT_FALSE(DecideFarEastLocale(source));
  source.dbcsEnabled = true;
  source.threadLocale = 0x409;
  EXPECT_TRUE(DecideFarEastLocale(source));
  EXPECT_EQ(source.askedCodePage, 0u);
}

TEST(FarEastLocaleTest, InitStoresTheFamilyAndTheDecision) {
  const PlatformLocale saved = gPlatformLocale;
  FakeLocale source;
  source.threadLocale = kJapanese;
  InitPlatformLocale(source);
  EXPECT_EQ(gPlatformLocale.platformId, kPlatformWin32Nt);
  EXPECT_TRUE(gPlatformLocale.farEastLocale);
  gPlatformLocale = saved;
}

}  // namespace
