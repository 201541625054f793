// The backup read back: exactly the sections the writer wrote, whatever point the file was cut
// at, and nothing from a file it did not write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MemoryFiles.h"
#include "backup/RegFile.h"
#include "registry/Utf16.h"

namespace {

void ExpectSame(const std::vector<BackupSection>& read, const std::vector<BackupSection>& written,
                std::size_t count, std::size_t offset) {
  ASSERT_EQ(read.size(), count) << "cut at " << offset;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_EQ(read[i].keyName, written[i].keyName) << "cut at " << offset;
    EXPECT_EQ(read[i].link, written[i].link) << "cut at " << offset;
    EXPECT_EQ(read[i].linkTarget, written[i].linkTarget) << "cut at " << offset;
    EXPECT_TRUE(read[i].values == written[i].values) << "cut at " << offset;
  }
}

std::vector<std::uint8_t> Bytes(const std::u16string& text, bool terminated) {
  return LeBytesFromUtf16(terminated ? text + u'\0' : text);
}

std::vector<BackupSection> SmallBackup() {
  std::vector<BackupSection> sections(4);
  sections[0].keyName = u8"HKEY_CURRENT_USER\\Software\\a]b\\日本 \"x\"";
  sections[0].values = {{u"", kRegSz, Bytes(u"C:\\x \"y\" \U0001F600", true)},
                        {u"d", kRegDword, {1, 2, 3, 4}},
                        {u"odd", kRegSz, {0x41}},
                        {u"=@;[]", kRegSz, Bytes(u"no end", false)}};
  sections[1].keyName = "HKEY_CURRENT_USER\\Software\\a]b\\link";
  sections[1].link = true;
  sections[1].linkTarget = "\\REGISTRY\\MACHINE\\SOFTWARE\\x\r\n[HKEY_LOCAL_MACHINE\\y]";
  sections[2].keyName = "HKEY_CURRENT_USER\\Software\\empty";
  sections[3].keyName = "HKEY_CLASSES_ROOT\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}";
  std::vector<std::uint8_t> wrapped(90);
  for (std::size_t i = 0; i < wrapped.size(); ++i) {
    wrapped[i] = static_cast<std::uint8_t>(i * 37);
  }
  sections[3].values = {{u"wrapped", kRegBinary, wrapped},
                        {u"none", kRegNone, {}},
                        {u"multi", kRegMultiSz, Bytes(std::u16string(u"a\0b\0", 4), true)},
                        {u"widest", 0xFFFFFFFF, {1}}};
  // A link never given a target, read back as one: not as the empty key above.
  sections.push_back(sections[2]);
  sections.back().link = true;
  return sections;
}

// The file's bytes, with where each section's end mark ends and where the next section begins.
struct WrittenBackup {
  std::string bytes;
  std::size_t headingEnd = 0;
  std::vector<std::size_t> markEnds;
  std::vector<std::size_t> sectionEnds;
};

WrittenBackup Write(const std::vector<BackupSection>& sections) {
  WrittenBackup file;
  file.bytes = Utf16LeBytes(RegFileHeader({"1.0.0", "now"}, "C:\\b.reg"));
  file.headingEnd = file.bytes.size();
  for (const BackupSection& section : sections) {
    EXPECT_TRUE(Writable(section));
    WriteSection(section, [&](const std::u16string& piece) {
      file.bytes += Utf16LeBytes(piece);
      return true;
    });
    file.sectionEnds.push_back(file.bytes.size());
    file.markEnds.push_back(file.bytes.size() - 4);  // before the blank line
  }
  return file;
}

TEST(BackupReaderTest, AWholeBackupReadsBackAsWritten) {
  const std::vector<BackupSection> sections = SmallBackup();
  const ParsedBackup parsed = ReadWhole(Write(sections).bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  EXPECT_EQ(parsed.error, "");
  EXPECT_FALSE(parsed.cutKey.has_value());
  ExpectSame(parsed.sections, sections, sections.size(), 0);
}

// Values far longer than the stretch the reader keeps of a section, and than its buffers: each
// comes back exactly, is checked against the file read again, and a change anywhere in them
// refuses the file.
TEST(BackupReaderTest, LargeValuesReadBackExactlyAndAreCheckedWhole) {
  std::vector<std::uint8_t> binary(200000);
  for (std::size_t i = 0; i < binary.size(); ++i) {
    binary[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  }
  std::u16string text(70000, u'x');
  text[1000] = u'"';
  text[69000] = u'\\';
  std::vector<BackupSection> sections(2);
  sections[0].keyName = "HKEY_CURRENT_USER\\Software\\big";
  sections[0].values = {{u"binary", kRegBinary, binary}, {u"text", kRegSz, Bytes(text, true)}};
  sections[1].keyName = "HKEY_CURRENT_USER\\Software\\after";
  const std::string bytes = Write(sections).bytes;
  const ParsedBackup parsed = ReadWhole(bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  ExpectSame(parsed.sections, sections, sections.size(), 0);
  // Past the stretch kept: a hex digit in upper case, which the writer never writes, and a quote
  // the writer would have escaped.
  const std::pair<std::u16string, std::u16string> edits[] = {{u",a", u",A"}, {u"xx", u"x\""}};
  for (const auto& [from, to] : edits) {
    std::string edited = bytes;
    const std::string spot = Utf16LeBytes(from);
    const std::size_t found = edited.find(spot, from == u"xx" ? bytes.size() / 2 : 200000);
    ASSERT_NE(found, std::string::npos);
    EXPECT_FALSE(ReadWhole(edited.replace(found, spot.size(), Utf16LeBytes(to))).valid);
  }
}

// A large value is held once: its room is made from the length of its text, not doubled as it
// is decoded, so restore reads what the clean wrote of a value a quarter of its address space.
TEST(BackupReaderTest, ALargeValueIsHeldInRoomOfItsOwnSize) {
  std::vector<BackupSection> sections(1);
  sections[0].keyName = "HKEY_CURRENT_USER\\Software\\big";
  sections[0].values = {{u"binary", kRegBinary, std::vector<std::uint8_t>(5000000, 0x5A)},
                        {u"text", kRegSz, Bytes(std::u16string(2500000, u'y'), true)}};
  class Sizes : public SectionVisitor {
   public:
    void Begin(const BackupSection&) override {}
    void Value(RegValue value) override {
      held.emplace_back(value.data.size(), value.data.capacity());
    }
    void End() override {}
    std::vector<std::pair<std::size_t, std::size_t>> held;
  } sizes;
  MemorySource source(Write(sections).bytes);
  ASSERT_TRUE(ReadBackup(source, sizes).valid);
  ASSERT_EQ(sizes.held.size(), 2u);
  EXPECT_EQ(sizes.held[0].first, 5000000u);
  EXPECT_EQ(sizes.held[1].first, 5000002u);
  for (const auto& [size, room] : sizes.held) {
    EXPECT_LE(room, size + size / 10) << size;
  }
}

// Wherever the file ends, the reader takes the sections whose end mark was written, whole, and
// not a value of the one after; a cut inside the heading leaves no backup at all.
TEST(BackupReaderTest, CutAtEveryOffsetItTakesExactlyTheCompleteSections) {
  const std::vector<BackupSection> sections = SmallBackup();
  const WrittenBackup file = Write(sections);
  for (std::size_t offset = 0; offset <= file.bytes.size(); ++offset) {
    const ParsedBackup parsed = ReadWhole(file.bytes.substr(0, offset));
    if (offset < file.headingEnd) {
      ASSERT_FALSE(parsed.valid) << "cut at " << offset;
      ASSERT_NE(parsed.error, "");
      ASSERT_TRUE(parsed.sections.empty());
      continue;
    }
    ASSERT_TRUE(parsed.valid) << "cut at " << offset << ": " << parsed.error;
    std::size_t complete = 0;
    while (complete < sections.size() && file.markEnds[complete] <= offset) {
      ++complete;
    }
    ExpectSame(parsed.sections, sections, complete, offset);
    const std::size_t begun = complete == 0 ? file.headingEnd : file.sectionEnds[complete - 1];
    // Half a character written is none.
    ASSERT_EQ(parsed.cutKey.has_value(), offset >= begun + 2) << "cut at " << offset;
    if (parsed.cutKey) {
      // The cut key is named as far as its first line was written, and exactly once it was.
      const std::string& name = sections[complete].keyName;
      ASSERT_EQ(name.compare(0, parsed.cutKey->size(), *parsed.cutKey), 0)
          << "cut at " << offset << ": " << *parsed.cutKey;
      const std::size_t firstLineEnd = file.bytes.find(Utf16LeBytes(u"\r\n"), begun);
      if (offset >= firstLineEnd) {
        ASSERT_EQ(*parsed.cutKey, name) << "cut at " << offset;
      }
    }
  }
}

std::string WithLineReplaced(const std::string& bytes, const std::u16string& from,
                             const std::u16string& to) {
  std::string changed = bytes;
  const std::string search = Utf16LeBytes(from);
  const std::size_t at = changed.find(search);
  EXPECT_NE(at, std::string::npos);
  return changed.replace(at, search.size(), Utf16LeBytes(to));
}

TEST(BackupReaderTest, AFileItDidNotWriteOrThatIsMalformedBeforeItsEndIsRefusedWhole) {
  const std::vector<BackupSection> small = SmallBackup();
  const WrittenBackup file = Write(small);
  // A wrapped hex value in the middle section.
  const std::string wrapInMiddle = Write({small[2], small[3], small[0]}).bytes;
  // The attack of a planted file: a .reg file with a key of the attacker's choice.
  const std::string planted = Utf16LeBytes(
      u"\xFEFFWindows Registry Editor Version 5.00\r\n\r\n"
      u"[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\PlantedSvc]\r\n"
      u"; end of key, 0 values\r\n\r\n");
  const std::string narrow = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string cutInside =
      file.bytes.substr(0, file.markEnds[0] - 8) + file.bytes.substr(file.sectionEnds[0]);
  const std::vector<std::string> refused = {
      planted,
      narrow,
      // A section's end mark missing before the next section.
      cutInside,
      // Data the writer would have written otherwise, a count that does not match, a line that
      // belongs to no section, a link with values, the blank line after a mark missing.
      WithLineReplaced(file.bytes, u"\"d\"=dword:04030201", u"\"d\"=dword:4030201"),
      WithLineReplaced(file.bytes, u"\"d\"=dword:04030201", u"\"d\"=hex(4):01,02,03,04"),
      WithLineReplaced(file.bytes, u"; end of key, 4 values", u"; end of key, 3 values"),
      WithLineReplaced(
          file.bytes, u"; end of key, 0 values\r\n\r\n[HKEY_CURRENT_USER\\Software\\empty]",
          u"; end of key, 0 values\r\n\r\n\"x\"=\"y\"\r\n[HKEY_CURRENT_USER\\Software\\empty]"),
      WithLineReplaced(file.bytes, u"[HKEY_LOCAL_MACHINE\\\\y]\"\r\n",
                       u"[HKEY_LOCAL_MACHINE\\\\y]\"\r\n\"v\"=\"w\"\r\n"),
      WithLineReplaced(file.bytes, u"; end of key, 0 values\r\n\r\n",
                       u"; end of key, 0 values\r\n"),
      WithLineReplaced(file.bytes, u"[HKEY_CURRENT_USER\\Software\\empty]\r\n",
                       u"[HKEY_CURRENT_USER\\Software\\empty]\r\n@=\"x\r\"\r\n"),
      // A hex value's next line that does not begin as the writer wraps it.
      WithLineReplaced(wrapInMiddle, u"\\\r\n  ", u"\\\r\nX "),
  };
  for (std::size_t i = 0; i < refused.size(); ++i) {
    const ParsedBackup parsed = ReadWhole(refused[i]);
    EXPECT_FALSE(parsed.valid) << i;
    EXPECT_NE(parsed.error, "") << i;
  }
  // A last section cut short may not hold another section's start or a blank line either.
  const std::string tail = file.bytes.substr(0, file.sectionEnds[2]);
  const std::u16string cutSections[] = {u"[HKEY_CURRENT_USER\\a]\r\n[HKEY_CURRENT_USER\\b]\r\n",
                                        u"[HKEY_CURRENT_USER\\a]\r\n\r\n\"v\"=",
                                        u"\"v\"=\"w\"\r\n"};
  for (const std::u16string& cut : cutSections) {
    EXPECT_FALSE(ReadWhole(tail + Utf16LeBytes(cut)).valid);
  }
  EXPECT_EQ(ReadWhole(tail + Utf16LeBytes(u"[HKEY_CURRENT_USER\\a]\r\n\"v\"=\"w")).cutKey,
            "HKEY_CURRENT_USER\\a");
  // Where the file ends inside the wrapping, the section was cut short there.
  const std::size_t wrap = wrapInMiddle.find(Utf16LeBytes(u"\\\r\n  "));
  EXPECT_EQ(ReadWhole(wrapInMiddle.substr(0, wrap + 8)).cutKey, small[3].keyName);
}

}  // namespace
