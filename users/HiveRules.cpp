#include "users/HiveRules.h"

#include <cctype>

#include "common/FailWith.h"
#include "common/VolumeReserve.h"
#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/Utf16.h"

namespace {

constexpr const char* kSystem = "S-1-5-18";
constexpr const char* kAdministrators = "S-1-5-32-544";
constexpr const char* kTrustedInstaller =
    "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr const char16_t* kHiveListKey = u"SYSTEM\\CurrentControlSet\\Control\\hivelist";
constexpr const char* kUserHivePrefix = "\\REGISTRY\\USER\\";

bool SameSid(const std::string& one, const std::string& other) {
  return !one.empty() && AsciiUpper(one) == AsciiUpper(other);
}

}  // namespace

bool FolderOnTheWayAllowed(const std::string& shown, const PlaceFacts& facts, std::string* why) {
  if (facts.reparsePoint || !facts.reachedAsNamed) {
    return FailWith(why, shown + " is a link or junction");
  }
  return facts.folder || FailWith(why, shown + " is not a folder");
}

bool HiveOwnerAllowed(const std::string& owner, const std::string& profile,
                      const std::string& account) {
  if (SameSid(owner, kSystem) || SameSid(owner, kAdministrators) || SameSid(owner, account)) {
    return true;
  }
  // Only the system installs the template; a user's hive is the user's own.
  return profile.empty() ? SameSid(owner, kTrustedInstaller) : SameSid(owner, profile);
}

bool HiveFileAllowed(const std::string& shown, const PlaceFacts& facts, const std::string& profile,
                     const std::string& account, std::string* why) {
  if (facts.folder) {
    return FailWith(why, shown + " is a folder");
  }
  if (facts.reparsePoint || !facts.reachedAsNamed) {
    return FailWith(why, shown + " is a link");
  }
  if (!facts.plain) {
    return FailWith(why, shown + " is not a plain file");
  }
  if (facts.links != 1) {
    // Through another name the file may be another user's hive, or the system's.
    return FailWith(why, shown + " has " + std::to_string(facts.links) + " names");
  }
  if (facts.owner.empty()) {
    return FailWith(why, "the owner of " + shown + " cannot be read");
  }
  return HiveOwnerAllowed(facts.owner, profile, account) ||
         FailWith(why, shown + " belongs to " + facts.owner);
}

bool HiveFileUnchanged(const std::string& shown, const PlaceFacts& checked, const PlaceFacts& now,
                       const std::string& profile, const std::string& account, std::string* why) {
  if (now.volume != checked.volume || now.index != checked.index) {
    return FailWith(why, shown + " was replaced while it was loaded");
  }
  return HiveFileAllowed(shown, now, profile, account, why);
}

bool CopyAllowed(const std::string& shown, const FileRoom& room, std::uint64_t free,
                 std::string* why) {
  const auto megabytes = [](std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; };
  if (room.size > kLargestHive) {
    return FailWith(why, shown + " (" + megabytes(room.size) +
                             ") is larger than any hive the platform loads (" +
                             megabytes(kLargestHive) + ")");
  }
  if (room.sparse || room.allocated < room.size) {
    return FailWith(why, shown + " is sparse or compressed: a copy of it (" + megabytes(room.size) +
                             ") would take more room than it does");
  }
  return (free >= room.size && free - room.size >= kVolumeReserve) ||
         FailWith(why, "a copy of " + shown + " (" + megabytes(room.size) +
                           ") would leave its volume less than " + megabytes(kVolumeReserve) +
                           " free");
}

std::vector<std::string> FoldersOnTheWay(const std::string& relative) {
  std::vector<std::string> folders{std::string()};
  for (std::size_t slash = relative.find('\\'); slash != std::string::npos;
       slash = relative.find('\\', slash + 1)) {
    folders.push_back(relative.substr(0, slash));
  }
  return folders;
}

HiveList HiveList::Read(RegistryReads& api) {
  RegHandle opened = kNoHandle;
  std::vector<RegValue> values;
  if (api.OpenKeyW(kHkeyLocalMachine, kHiveListKey, 0, kKeyRead, &opened) == kErrorSuccess) {
    const KeyHandle key(api, opened);
    RegValue value;
    for (std::uint32_t index = 0; api.EnumValue(key.get(), index, &value) == kErrorSuccess;
         ++index) {
      values.push_back(value);
    }
  }
  return FromValues(values);
}

HiveList HiveList::FromValues(const std::vector<RegValue>& values) {
  HiveList list;
  const std::string prefix = kUserHivePrefix;
  for (const RegValue& value : values) {
    const std::string name = AsciiUpper(Utf16ToUtf8(value.name));
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size() ||
        (value.type != kRegSz && value.type != kRegExpandSz)) {
      continue;
    }
    std::u16string file = Utf16FromLeBytes(value.data);
    while (!file.empty() && file.back() == 0) {
      file.pop_back();
    }
    list.userHives_[name.substr(prefix.size())] = Utf16ToUtf8(file);
  }
  return list;
}

const std::string* HiveList::FileOf(const std::string& name) const {
  const auto found = userHives_.find(AsciiUpper(name));
  return found == userHives_.end() ? nullptr : &found->second;
}

std::optional<CopyPlace> CopyPlaceOf(const std::string& file, const std::string& tempFolder) {
  const std::string start = tempFolder + "\\" + kCopyFolderPrefix;
  constexpr std::size_t kDigits = 32;
  const std::size_t slash = start.size() + kDigits;
  if (tempFolder.empty() || file.size() <= slash || file.compare(0, start.size(), start) != 0 ||
      file[slash] != '\\') {
    return std::nullopt;
  }
  for (std::size_t at = start.size(); at < slash; ++at) {
    if (!std::isxdigit(static_cast<unsigned char>(file[at]))) {
      return std::nullopt;
    }
  }
  const std::string leaf = file.substr(slash + 1);
  for (const char* hive : {"NTUSER.DAT", "UsrClass.dat"}) {
    if (AsciiUpper(leaf) == AsciiUpper(hive)) {
      return CopyPlace{file.substr(0, slash), hive};
    }
  }
  return std::nullopt;
}
