// Random trees with hostile names and data, written as a backup: a strict reader of the .reg
// text, as "reg import" takes it, finds exactly the keys and values written and nothing more, and
// ReadBackup gives back every section. Then the backup taken during a clean, with keys and values
// added by other hands while it runs: nothing is deleted that the file does not hold as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "CleanFixture.h"
#include "MemoryFiles.h"
#include "backup/KeyBackup.h"
#include "backup/RegFile.h"
#include "registry/KeyHandle.h"
#include "registry/Utf16.h"
#include "registry/memory/MemoryRegistry.h"

namespace {

using Values = std::vector<RegValue>;

// What "reg import" reads from a version 5 file: a line ends at CR, LF or CR LF; comment and
// blank lines are skipped; a key line is [name]; a value line is "name"=data or @=data, data
// quoted, dword: or hex, going on over lines that end in a backslash. Anything else, or a value
// outside a key, fails the reading.
class StrictRegReader {
 public:
  // The keys in the file's order with their values; nothing when it cannot be read strictly.
  std::optional<std::vector<std::pair<std::u16string, Values>>> Read(const std::string& bytes) {
    if (bytes.size() % 2 != 0 || bytes.compare(0, 2, "\xFF\xFE") != 0) {
      return std::nullopt;
    }
    std::u16string text;
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
      text += static_cast<char16_t>(static_cast<std::uint8_t>(bytes[i]) |
                                    (static_cast<std::uint8_t>(bytes[i + 1]) << 8));
    }
    std::vector<std::u16string> lines;
    std::u16string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\r' || text[i] == u'\n') {
        lines.push_back(line);
        line.clear();
        i += text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n' ? 1 : 0;
      } else {
        line += text[i];
      }
    }
    lines.push_back(line);
    if (lines[0] != u"Windows Registry Editor Version 5.00") {
      return std::nullopt;
    }
    std::vector<std::pair<std::u16string, Values>> keys;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      std::u16string current = lines[i];
      if (current.empty() || current[0] == u';') {
        continue;
      }
      if (current[0] == u'[') {
        if (current.back() != u']') {
          return std::nullopt;
        }
        keys.push_back({current.substr(1, current.size() - 2), {}});
        continue;
      }
      while (!current.empty() && current.back() == u'\\' && i + 1 < lines.size()) {
        current.pop_back();
        std::u16string next = lines[++i];
        next.erase(0, next.find_first_not_of(u' '));
        current += next;
      }
      RegValue value;
      if (keys.empty() || !ReadValue(current, &value)) {
        return std::nullopt;
      }
      keys.back().second.push_back(value);
    }
    return keys;
  }

 private:
  static bool Quoted(const std::u16string& text, std::size_t* at, std::u16string* out) {
    if (text[*at] != u'"') {
      return false;
    }
    for (std::size_t i = *at + 1; i < text.size(); ++i) {
      if (text[i] == u'"') {
        *at = i + 1;
        return true;
      }
      if (text[i] == u'\\') {
        if (++i == text.size() || (text[i] != u'\\' && text[i] != u'"')) {
          return false;
        }
      }
      *out += text[i];
    }
    return false;
  }

  static bool ReadValue(const std::u16string& line, RegValue* value) {
    std::size_t at = 1;
    if (line[0] != u'@' && (at = 0, !Quoted(line, &at, &value->name))) {
      return false;
    }
    if (at >= line.size() || line[at] != u'=') {
      return false;
    }
    const std::u16string data = line.substr(at + 1);
    if (!data.empty() && data[0] == u'"') {
      std::size_t end = 0;
      std::u16string units;
      if (!Quoted(data, &end, &units) || end != data.size()) {
        return false;
      }
      units += u'\0';
      value->type = kRegSz;
      for (char16_t unit : units) {
        value->data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        value->data.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      return true;
    }
    const std::string narrow(data.begin(), data.end());
    if (narrow.rfind("dword:", 0) == 0 && narrow.size() == 14) {
      const unsigned long number = std::stoul(narrow.substr(6), nullptr, 16);
      value->type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) {
        value->data.push_back(static_cast<std::uint8_t>(number >> shift));
      }
      return true;
    }
    std::size_t colon = narrow.find(':');
    if (narrow.rfind("hex:", 0) == 0) {
      value->type = kRegBinary;
    } else if (narrow.rfind("hex(", 0) == 0 && colon != std::string::npos) {
      value->type = static_cast<std::uint32_t>(std::stoul(narrow.substr(4), nullptr, 16));
    } else {
      return false;
    }
    for (std::size_t i = colon + 1; i < narrow.size(); i += 3) {
      if (i + 2 > narrow.size() || !std::isxdigit(narrow[i]) || !std::isxdigit(narrow[i + 1])) {
        return false;
      }
      value->data.push_back(
          static_cast<std::uint8_t>(std::stoul(narrow.substr(i, 2), nullptr, 16)));
    }
    return true;
  }
};

// Characters a hostile user would put in names and data.
const std::u16string kHostile =
    std::u16string(u"\r\n\0\"[]\\=@; aZ\u00e9\u65e5\u2028\u0085\x01\x7f\xfeff", 21) +
    u"\U0001F600" + u"\xD800" + u"\xDC00";

class Hostile {
 public:
  explicit Hostile(std::uint32_t seed) : random_(seed) {}

  std::size_t Below(std::size_t count) {
    return std::uniform_int_distribution<std::size_t>(0, count - 1)(random_);
  }

  std::u16string Text(std::size_t longest) {
    std::u16string text;
    for (std::size_t length = Below(longest + 1); text.size() < length;) {
      // Mostly plain letters, so that many names are writable.
      text += Below(3) == 0 ? kHostile[Below(kHostile.size())]
                            : static_cast<char16_t>(u'a' + Below(26));
    }
    return text;
  }

  RegValue Value() {
    RegValue value{Below(4) == 0 ? u"" : Text(6), kRegBinary, {}};
    const std::size_t kind = Below(5);
    if (kind == 0) {
      value.type = kRegDword;
      value.data.resize(Below(3) == 0 ? Below(8) : 4);
    } else if (kind == 1 || kind == 2) {
      value.type = Below(2) == 0 ? kRegSz : kRegExpandSz;
      const std::u16string text = Text(10) + (Below(3) == 0 ? u"" : std::u16string(1, u'\0'));
      for (char16_t unit : text) {
        value.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        value.data.push_back(static_cast<std::uint8_t>(unit >> 8));
      }
      if (Below(5) == 0 && !value.data.empty()) {
        value.data.pop_back();
      }
    } else {
      value.type = kind == 3 ? kRegBinary : static_cast<std::uint32_t>(Below(0x20000));
      value.data.resize(Below(120));
    }
    for (std::size_t i = 0; kind != 1 && kind != 2 && i < value.data.size(); ++i) {
      value.data[i] = static_cast<std::uint8_t>(Below(256));
    }
    return value;
  }

  BackupSection Section() {
    BackupSection section;
    section.keyName = "HKEY_CURRENT_USER\\Software";
    for (std::size_t level = Below(3) + 1; level > 0; --level) {
      section.keyName += "\\" + Utf16ToUtf8(Text(8) + u"k");
    }
    section.link = Below(6) == 0;
    if (section.link) {
      section.linkTarget = Utf16ToUtf8(u"\\REGISTRY\\MACHINE\\" + Text(20));
    } else {
      for (std::size_t count = Below(5); count > 0; --count) {
        section.values.push_back(Value());
      }
    }
    return section;
  }

 private:
  std::mt19937 random_;
};

bool HasAny(const std::u16string& text, const std::u16string& characters) {
  return text.find_first_of(characters) != std::u16string::npos;
}

TEST(BackupPropertyTest, RegImportAndTheReaderFindExactlyWhatWasWritten) {
  constexpr std::uint32_t kCases = 400;
  const std::u16string breaking(u"\r\n\0", 3);
  std::size_t refused = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    Hostile hostile(seed);
    std::string file = Utf16LeBytes(RegFileHeader({"1", Utf16ToUtf8(hostile.Text(12))},
                                                  "C:\\" + Utf16ToUtf8(hostile.Text(12))));
    std::vector<BackupSection> written;
    for (std::size_t count = hostile.Below(6) + 1; count > 0; --count) {
      const BackupSection section = hostile.Section();
      bool nameBreaks = HasAny(Utf8ToUtf16(section.keyName), breaking);
      for (const RegValue& value : section.values) {
        std::u16string units = value.name;
        nameBreaks =
            nameBreaks || HasAny(units, breaking) || Utf8ToUtf16(Utf16ToUtf8(units)) != units;
      }
      ASSERT_EQ(Writable(section), !nameBreaks) << "seed " << seed;
      if (!Writable(section)) {
        ++refused;
        continue;
      }
      WriteSection(section, [&](const std::u16string& piece) {
        file += Utf16LeBytes(piece);
        return true;
      });
      written.push_back(section);
    }
    const auto imported = StrictRegReader().Read(file);
    ASSERT_TRUE(imported.has_value()) << "seed " << seed;
    std::size_t next = 0;
    for (const BackupSection& section : written) {
      if (section.link) {
        continue;  // a comment to reg import
      }
      ASSERT_LT(next, imported->size()) << "seed " << seed;
      ASSERT_EQ((*imported)[next].first, Utf8ToUtf16(section.keyName)) << "seed " << seed;
      ASSERT_TRUE((*imported)[next].second == section.values) << "seed " << seed;
      ++next;
    }
    ASSERT_EQ(next, imported->size()) << "seed " << seed;

    const ParsedBackup parsed = ReadWhole(file);
    ASSERT_TRUE(parsed.valid) << "seed " << seed << ": " << parsed.error;
    ASSERT_EQ(parsed.sections.size(), written.size()) << "seed " << seed;
    for (std::size_t i = 0; i < written.size(); ++i) {
      ASSERT_EQ(parsed.sections[i].keyName, written[i].keyName) << "seed " << seed;
      ASSERT_EQ(parsed.sections[i].link, written[i].link) << "seed " << seed;
      ASSERT_EQ(parsed.sections[i].linkTarget, written[i].linkTarget) << "seed " << seed;
      ASSERT_TRUE(parsed.sections[i].values == written[i].values) << "seed " << seed;
    }
  }
  // The cases cover both sides.
  EXPECT_GT(refused, kCases / 4);
}

// What reaches the disk is what was flushed.
// The values of the key as the store holds them, read without the hook.
Values ValuesNow(MemoryRegistry& store, const std::string& keyPath) {
  const std::string root = "HKEY_CURRENT_USER\\";
  RegHandle opened = kNoHandle;
  Values values;
  if (store.OpenKey(kHkeyCurrentUser, keyPath.substr(root.size()).c_str(), kRegOptionOpenLink,
                    kKeyRead, &opened) != kErrorSuccess) {
    return values;
  }
  const KeyHandle key(store, opened);
  RegValue value;
  for (std::uint32_t i = 0; store.EnumValue(key.get(), i, &value) == kErrorSuccess; ++i) {
    values.push_back(value);
  }
  return values;
}

TEST(BackupPropertyTest, NothingIsDeletedThatTheBackupDoesNotHoldAsItWas) {
  constexpr std::uint32_t kCases = 300;
  const std::string top = std::string("HKEY_CURRENT_USER\\") + traces::kStats;
  const std::u16string storable = u"[]\"=@; \u00e9\u65e5\U0001F600\r";
  std::size_t added = 0;
  std::size_t keptChanged = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    Hostile hostile(seed);
    MemoryRegistry store;
    std::vector<std::string> keys = {""};
    const auto name = [&] {
      std::u16string text = u"k";
      for (std::size_t i = hostile.Below(4); i > 0; --i) {
        text += hostile.Below(2) == 0 ? storable[hostile.Below(storable.size())] : u'a';
      }
      return Utf16ToUtf8(text);
    };
    const auto addKey = [&] {
      const std::string parent = keys[hostile.Below(keys.size())];
      keys.push_back(parent + "\\" + name());
      store.SeedKey(kHkeyCurrentUser, traces::kStats + keys.back());
    };
    const auto addValue = [&] {
      RegValue value = hostile.Value();
      value.name.erase(std::remove(value.name.begin(), value.name.end(), u'\0'), value.name.end());
      store.SeedValue(kHkeyCurrentUser, traces::kStats + keys[hostile.Below(keys.size())], value);
    };
    store.SeedKey(kHkeyCurrentUser, traces::kStats);
    for (std::size_t i = hostile.Below(8); i > 0; --i) {
      addKey();
    }
    for (std::size_t i = hostile.Below(10); i > 0; --i) {
      addValue();
    }
    std::map<std::string, Values> atDeletion;
    bool quiet = false;
    store.SetHook([&](const MemoryRegistry::CallSite& site) -> std::optional<RegStatus> {
      if (quiet || site.keyPath.rfind(top, 0) != 0) {
        return std::nullopt;
      }
      quiet = true;
      if (site.call == MemoryRegistry::Call::Delete) {
        atDeletion[site.keyPath] = ValuesNow(store, site.keyPath);
      } else if (site.call != MemoryRegistry::Call::Close && hostile.Below(6) == 0) {
        // Another program adds to the tree while it is being backed up.
        hostile.Below(2) == 0 ? addKey() : addValue();
        ++added;
      }
      quiet = false;
      return std::nullopt;
    });
    MemoryBackupFile file;
    KeyBackup backup(store, file, {"1", "now"});
    CleanOptions options;
    options.guard = &backup;
    const CleanResult result = RunClean(store, options);
    store.SetHook(nullptr);
    ASSERT_EQ(store.OpenHandleCount(), 0u) << "seed " << seed;

    const ParsedBackup parsed = ReadWhole(file.bytes);
    ASSERT_TRUE(parsed.valid) << "seed " << seed << ": " << parsed.error;
    std::map<std::string, Values> saved;
    for (const BackupSection& section : parsed.sections) {
      ASSERT_FALSE(section.link) << "seed " << seed;
      saved[section.keyName] = section.values;
    }
    for (const std::string& key : keys) {
      const std::string full = top + key;
      if (store.KeyExists(kHkeyCurrentUser, traces::kStats + key)) {
        continue;
      }
      ASSERT_EQ(saved.count(full), 1u) << "seed " << seed << ": " << full;
      ASSERT_TRUE(saved[full] == atDeletion[full]) << "seed " << seed << ": " << full;
    }
    if (parsed.cutKey) {
      EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, parsed.cutKey->substr(18))) << "seed " << seed;
    }
    if (result.outcome == CleanOutcome::kBackupKept &&
        result.notice.find("changed while") != std::string::npos) {
      ++keptChanged;
    }
  }
  // The runs met additions, and some of them in the very key being backed up.
  EXPECT_GT(added, kCases);
  EXPECT_GT(keptChanged, 0u);
}

// The attack of a planted link value: an ordinary key holding SymbolicLinkValue is backed up as
// the key it is, value and all; a real link goes in as a link, its target on its comment line.
TEST(BackupPropertyTest, OnlyRealLinksAreBackedUpAsLinks) {
  MemoryRegistry store;
  const std::string stats = traces::kStats;
  const std::u16string planted = u"x\r[HKEY_LOCAL_MACHINE\\Software\\Planted]\r\"by\"=\"the user\"";
  RegValue linkValue{u"SymbolicLinkValue", kRegLink, {}};
  for (char16_t unit : planted) {
    linkValue.data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    linkValue.data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  store.SeedValue(kHkeyCurrentUser, stats + "\\fake", linkValue);
  store.SeedKey(kHkeyCurrentUser, "Software\\elsewhere");
  store.SeedLink(kHkeyCurrentUser, stats + "\\real", kHkeyCurrentUser, "Software\\elsewhere");
  // A link never given a target is one too, not an empty key; an empty key is not one.
  RegHandle made = kNoHandle;
  store.CreateKey(kHkeyCurrentUser, Utf8ToUtf16(stats + "\\targetless"), kRegOptionCreateLink,
                  kKeyAllAccess, &made, nullptr);
  store.CloseKey(made);
  store.SeedKey(kHkeyCurrentUser, stats + "\\empty");
  MemoryBackupFile file;
  KeyBackup backup(store, file, {"1", "now"});
  CleanOptions options;
  options.guard = &backup;
  const CleanResult result = RunClean(store, options);
  EXPECT_EQ(result.outcome, CleanOutcome::kDone) << result.notice;
  EXPECT_TRUE(store.KeyExists(kHkeyCurrentUser, "Software\\elsewhere"));

  const ParsedBackup parsed = ReadWhole(file.bytes);
  ASSERT_TRUE(parsed.valid) << parsed.error;
  ASSERT_EQ(parsed.sections.size(), 5u);
  const std::string top = "HKEY_CURRENT_USER\\" + stats;
  EXPECT_EQ(parsed.sections[0].keyName, top + "\\empty");
  EXPECT_FALSE(parsed.sections[0].link);
  EXPECT_EQ(parsed.sections[1].keyName, top + "\\fake");
  EXPECT_FALSE(parsed.sections[1].link);
  EXPECT_TRUE(parsed.sections[1].values == Values{linkValue});
  EXPECT_EQ(parsed.sections[2].keyName, top + "\\real");
  EXPECT_TRUE(parsed.sections[2].link);
  EXPECT_EQ(parsed.sections[2].linkTarget, "\\REGISTRY\\HKEY_CURRENT_USER\\Software\\elsewhere");
  EXPECT_EQ(parsed.sections[3].keyName, top + "\\targetless");
  EXPECT_TRUE(parsed.sections[3].link);
  EXPECT_EQ(parsed.sections[3].linkTarget, std::nullopt);
  const auto imported = StrictRegReader().Read(file.bytes);
  ASSERT_TRUE(imported.has_value());
  ASSERT_EQ(imported->size(), 3u);  // the empty and fake keys and the top; links are comments
  EXPECT_EQ(store.OpenHandleCount(), 0u);
}

}  // namespace
