// The .reg writer: each value kind goes in so that "reg import" gives back its very bytes, in
// the layout regedit writes and reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/RegFile.h"

namespace {

RegValue Value(std::u16string name, std::uint32_t type, std::vector<std::uint8_t> data) {
  return {std::move(name), type, std::move(data)};
}

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text, bool terminated = true) {
  std::vector<std::uint8_t> bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) {
    bytes.insert(bytes.end(), {0, 0});
  }
  return bytes;
}

// The line the value gets in the section of a key that holds it alone.
std::u16string LineOf(const RegValue& value) {
  TreeKey key;
  key.values.push_back(value);
  std::u16string text;
  EXPECT_TRUE(AppendRegFileKey("HKEY_LOCAL_MACHINE\\k", key, text));
  const std::u16string head = u"[HKEY_LOCAL_MACHINE\\k]\r\n";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.substr(text.size() - 4), u"\r\n\r\n");
  return text.substr(head.size(), text.size() - head.size() - 4);
}

TEST(RegFileTest, TheFileStartsAsRegeditsDoAndCommentsEachLine) {
  const std::string header = Utf16LeBytes(RegFileHeader());
  const std::string expected =
      std::string("\xFF\xFE") + Utf16LeBytes(u"Windows Registry Editor Version 5.00\r\n\r\n");
  EXPECT_EQ(header, expected);
  EXPECT_EQ(RegFileComment("made by\nrestore with: reg import"),
            u"; made by\r\n; restore with: reg import\r\n\r\n");
  EXPECT_EQ(RegFileComment("caf\xC3\xA9"), u"; caf\u00E9\r\n\r\n");
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

TEST(RegFileTest, KeysGoInAsSectionsAndLinksAsComments) {
  TreeKey top;
  TreeKey empty;
  empty.path = u8"sub\\空";
  TreeKey link;
  link.path = "sub\\link";
  link.link = true;
  link.linkTarget = "\\REGISTRY\\MACHINE\\SOFTWARE\\Elsewhere";
  std::u16string text;
  ASSERT_TRUE(AppendRegFileKey("HKEY_CLASSES_ROOT\\CLSID\\{x}", top, text));
  ASSERT_TRUE(AppendRegFileKey("HKEY_CLASSES_ROOT\\CLSID\\{x}", empty, text));
  ASSERT_TRUE(AppendRegFileKey("HKEY_CLASSES_ROOT\\CLSID\\{x}", link, text));
  EXPECT_EQ(text,
            u"[HKEY_CLASSES_ROOT\\CLSID\\{x}]\r\n\r\n"
            u"[HKEY_CLASSES_ROOT\\CLSID\\{x}\\sub\\空]\r\n\r\n"
            u"; [HKEY_CLASSES_ROOT\\CLSID\\{x}\\sub\\link] was a registry link to "
            u"\\REGISTRY\\MACHINE\\SOFTWARE\\Elsewhere, deleted as the link: a .reg file cannot "
            u"hold a link.\r\n\r\n");
}

TEST(RegFileTest, NamesThatCannotBeWrittenExactlyAddNothing) {
  std::u16string text = u"before";
  TreeKey key;
  key.path = "line\nbreak";
  EXPECT_FALSE(AppendRegFileKey("HKEY_LOCAL_MACHINE\\k", key, text));
  TreeKey valued;
  valued.values.push_back(Value(u"a\rb", kRegSz, Utf16Bytes(u"x")));
  EXPECT_FALSE(AppendRegFileKey("HKEY_LOCAL_MACHINE\\k", valued, text));
  TreeKey zero;
  zero.values.push_back(Value(std::u16string(u"a\0b", 3), kRegSz, Utf16Bytes(u"x")));
  EXPECT_FALSE(AppendRegFileKey("HKEY_LOCAL_MACHINE\\k", zero, text));
  EXPECT_EQ(text, u"before");
}

}  // namespace
