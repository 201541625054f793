// The .reg writer: each value kind goes in so that "reg import" gives back its very bytes, in
// the layout regedit writes and reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/RegFile.h"
#include "registry/Utf16.h"

namespace {

RegValue Value(std::u16string name, std::uint32_t type, std::vector<std::uint8_t> data) {
  return {std::move(name), type, std::move(data)};
}

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text, bool terminated = true) {
  return LeBytesFromUtf16(terminated ? text + u'\0' : text);
}

std::u16string SectionText(const BackupSection& section) {
  EXPECT_TRUE(Writable(section));
  std::u16string text;
  EXPECT_TRUE(WriteSection(section, [&](const std::u16string& piece) {
    text += piece;
    return true;
  }));
  return text;
}

// The line the value gets in the section of a key that holds it alone.
std::u16string LineOf(const RegValue& value) {
  BackupSection section;
  section.keyName = "HKEY_LOCAL_MACHINE\\k";
  section.values.push_back(value);
  const std::u16string text = SectionText(section);
  const std::u16string head = u"[HKEY_LOCAL_MACHINE\\k]\r\n";
  const std::u16string end = u"\r\n; end of key, 1 values\r\n\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - end.size()), end);
  return text.substr(head.size(), text.size() - head.size() - end.size());
}

TEST(RegFileTest, TheFileStartsAsRegeditsDoAndItsHeadingNamesTheWaysBack) {
  const std::u16string header =
      RegFileHeader({"1.2.3", "2026-01-02 03:04:05 UTC"}, "C:\\Data\\b\u00e9.reg");
  EXPECT_EQ(
      Utf16LeBytes(header.substr(0, 41)),
      std::string("\xFF\xFE") + Utf16LeBytes(u"Windows Registry Editor Version 5.00\r\n\r\n"));
  EXPECT_NE(header.find(u"\r\n; Made by tessaline-clean 1.2.3 on 2026-01-02 03:04:05 UTC,"),
            std::u16string::npos);
  EXPECT_NE(header.find(u"\r\n; Put them back with: tessaline-clean restore "
                        u"\"C:\\Data\\b\u00e9.reg\"\r\n"),
            std::u16string::npos);
  // reg import only as the fallback, with what it loses, and only for a file no other user could
  // change.
  EXPECT_NE(
      header.find(u"\r\n; Only without the program, and only for a file kept where no other "
                  u"user can change it:\r\n;   reg import \"C:\\Data\\b\u00e9.reg\" /reg:32\r\n"),
      std::u16string::npos);
  EXPECT_EQ(header.substr(header.size() - 4), u"\r\n\r\n");
  // Text from outside can end no comment line early.
  const std::u16string hostile = RegFileHeader({"1", "t"}, "C:\\a\r[HKEY_LOCAL_MACHINE\\x]\n\x01");
  EXPECT_NE(hostile.find(u"C:\\a\\u000d[HKEY_LOCAL_MACHINE\\x]\\u000a\\u0001\""),
            std::u16string::npos);
  for (std::size_t i = 0; i + 1 < hostile.size(); ++i) {
    ASSERT_EQ(hostile[i] == u'\n', i > 0 && hostile[i - 1] == u'\r') << i;
    ASSERT_EQ(hostile[i] == u'\r', hostile[i + 1] == u'\n') << i;
  }
}

TEST(RegFileTest, StringsThatReadBackExactlyGoInQuotedWithEscapes) {
  EXPECT_EQ(LineOf(Value(u"", kRegSz, Utf16Bytes(u"plain"))), u"@=\"plain\"");
  EXPECT_EQ(LineOf(Value(u"a\"b\\c", kRegSz, Utf16Bytes(u"C:\\x \"y\""))),
            u"\"a\\\"b\\\\c\"=\"C:\\\\x \\\"y\\\"\"");
  EXPECT_EQ(LineOf(Value(u"", kRegSz, Utf16Bytes(u""))), u"@=\"\"");
  // Any script, a pair of surrogates included, stays text.
  EXPECT_EQ(LineOf(Value(u"名前", kRegSz, Utf16Bytes(u"日本語 \U0001F600"))),
            u"\"名前\"=\"日本語 \U0001F600\"");
}

TEST(RegFileTest, StringsQuotingWouldChangeGoInAsHexOfTheirType) {
  // No terminator, an embedded zero, an odd length, a line break, a lone surrogate, no bytes.
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, Utf16Bytes(u"ab", false))), u"\"n\"=hex(1):61,00,62,00");
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, Utf16Bytes(std::u16string(u"a\0b", 3)))),
            u"\"n\"=hex(1):61,00,00,00,62,00,00,00");
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, {0x61, 0x00, 0x00})), u"\"n\"=hex(1):61,00,00");
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, Utf16Bytes(u"a\r\nb"))),
            u"\"n\"=hex(1):61,00,0d,00,0a,00,62,00,00,00");
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, Utf16Bytes(u"\xD800"))), u"\"n\"=hex(1):00,d8,00,00");
  EXPECT_EQ(LineOf(Value(u"n", kRegSz, {})), u"\"n\"=hex(1):");
}

TEST(RegFileTest, EveryOtherKindKeepsItsTypeAndBytes) {
  EXPECT_EQ(LineOf(Value(u"e", kRegExpandSz, Utf16Bytes(u"%A%"))),
            u"\"e\"=hex(2):25,00,41,00,25,00,00,00");
  EXPECT_EQ(LineOf(Value(u"m", kRegMultiSz, {0x61, 0, 0, 0, 0, 0})),
            u"\"m\"=hex(7):61,00,00,00,00,00");
  EXPECT_EQ(LineOf(Value(u"d", kRegDword, {0x78, 0x56, 0x34, 0x12})), u"\"d\"=dword:12345678");
  EXPECT_EQ(LineOf(Value(u"d", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF})), u"\"d\"=dword:ffffffff");
  // A DWORD of the wrong size cannot be written as one.
  EXPECT_EQ(LineOf(Value(u"d", kRegDword, {1, 2})), u"\"d\"=hex(4):01,02");
  EXPECT_EQ(LineOf(Value(u"q", kRegQword, {1, 0, 0, 0, 0, 0, 0, 0x80})),
            u"\"q\"=hex(b):01,00,00,00,00,00,00,80");
  EXPECT_EQ(LineOf(Value(u"b", kRegBinary, {0xDE, 0xAD})), u"\"b\"=hex:de,ad");
  EXPECT_EQ(LineOf(Value(u"z", kRegNone, {})), u"\"z\"=hex(0):");
  EXPECT_EQ(LineOf(Value(u"u", 0x12345, {7})), u"\"u\"=hex(12345):07");
}

// Reads the bytes back out of a hex line as regedit does: continuation lines joined.
std::vector<std::uint8_t> HexBytes(const std::u16string& line) {
  std::vector<std::uint8_t> bytes;
  const std::size_t colon = line.find(u':');
  std::string digits;
  for (std::size_t i = colon + 1; i < line.size(); ++i) {
    const char16_t c = line[i];
    if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')) {
      digits += static_cast<char>(c);
      if (digits.size() == 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits, nullptr, 16)));
        digits.clear();
      }
    }
  }
  return bytes;
}

TEST(RegFileTest, LongDataIsWrappedAsRegeditWrapsItAndLosesNoByte) {
  std::vector<std::uint8_t> data(1 << 20);
  for (std::size_t i = 0; i < data.size(); ++i) {
    data[i] = static_cast<std::uint8_t>(i * 7 + (i >> 8));
  }
  const std::u16string line = LineOf(Value(u"big", kRegBinary, data));
  EXPECT_EQ(HexBytes(line), data);
  std::size_t start = 0;
  std::size_t lines = 0;
  for (std::size_t end; (end = line.find(u"\r\n", start)) != std::u16string::npos;
       start = end + 2, ++lines) {
    const std::u16string text = line.substr(start, end - start);
    ASSERT_LE(text.size(), 80u);
    ASSERT_EQ(text.back(), u'\\');
    ASSERT_EQ(line.substr(end + 2, 2), u"  ");
  }
  EXPECT_GT(lines, data.size() / 26);
  EXPECT_EQ(line.substr(0, 12), u"\"big\"=hex:00");
}

TEST(RegFileTest, KeysGoInAsSectionsAndLinksAsCommentsEachClosedByItsEndMark) {
  BackupSection empty;
  empty.keyName = u8"HKEY_CLASSES_ROOT\\CLSID\\{x}\\sub\\空";
  EXPECT_EQ(SectionText(empty),
            u"[HKEY_CLASSES_ROOT\\CLSID\\{x}\\sub\\空]\r\n; end of key, 0 values\r\n\r\n");
  BackupSection valued;
  valued.keyName = "HKEY_CLASSES_ROOT\\k";
  valued.values = {Value(u"", kRegSz, Utf16Bytes(u"a")), Value(u"b", kRegBinary, {1})};
  EXPECT_EQ(SectionText(valued),
            u"[HKEY_CLASSES_ROOT\\k]\r\n@=\"a\"\r\n\"b\"=hex:01\r\n; end of key, 2 values\r\n\r\n");
  // A link's name and target, whatever they hold, stay on their one comment line.
  BackupSection link;
  link.keyName = "HKEY_CURRENT_USER\\sub\\li\"nk";
  link.link = true;
  std::string target = "\\REGISTRY\\MACHINE\\x\r[HKEY_LOCAL_MACHINE\\Planted]\n\"by\"=\"u\"";
  target += '\0';
  link.linkTarget = target;
  EXPECT_EQ(SectionText(link),
            u"; link \"HKEY_CURRENT_USER\\\\sub\\\\li\\\"nk\" to "
            u"\"\\\\REGISTRY\\\\MACHINE\\\\x\\u000d[HKEY_LOCAL_MACHINE\\\\Planted]\\u000a"
            u"\\\"by\\\"=\\\"u\\\"\\u0000\"\r\n; end of key, 0 values\r\n\r\n");
  // A link never given a target, and one whose target is empty, differ.
  link.linkTarget.reset();
  EXPECT_EQ(SectionText(link),
            u"; link \"HKEY_CURRENT_USER\\\\sub\\\\li\\\"nk\"\r\n; end of key, 0 values\r\n\r\n");
  link.linkTarget = "";
  EXPECT_EQ(
      SectionText(link),
      u"; link \"HKEY_CURRENT_USER\\\\sub\\\\li\\\"nk\" to \"\"\r\n; end of key, 0 values\r\n\r\n");
}

TEST(RegFileTest, NamesThatCannotBeWrittenExactlyAreRefused) {
  BackupSection key;
  key.keyName = "HKEY_LOCAL_MACHINE\\line\nbreak";
  EXPECT_FALSE(Writable(key));
  key.keyName = std::string("HKEY_LOCAL_MACHINE\\zero\0", 24);
  EXPECT_FALSE(Writable(key));
  BackupSection valued;
  valued.keyName = "HKEY_LOCAL_MACHINE\\k";
  for (const std::u16string& name :
       {std::u16string(u"a\rb"), std::u16string(u"a\0b", 3), std::u16string(u"a\xDC00")}) {
    valued.values = {Value(name, kRegSz, Utf16Bytes(u"x"))};
    EXPECT_FALSE(Writable(valued));
  }
  valued.values = {Value(u"[x]=@;\"\\\U0001F600", kRegSz, Utf16Bytes(u"x"))};
  EXPECT_TRUE(Writable(valued));
}

}  // namespace
