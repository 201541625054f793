#include "users/Profiles.h"

#include <map>

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/Utf16.h"

namespace {

constexpr const char16_t* kProfileList =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::uint32_t kTemporary = 0x800;
constexpr std::uint32_t kMandatory = 0x1;

// A key's values by their names, ASCII letters upper-cased; none when it cannot be read.
std::map<std::u16string, RegValue> ValuesOf(RegistryReads& api, RegHandle key) {
  std::map<std::u16string, RegValue> values;
  for (std::uint32_t index = 0;; ++index) {
    RegValue value;
    if (api.EnumValue(key, index, &value) != kErrorSuccess) {
      return values;
    }
    std::u16string name = value.name;
    for (char16_t& c : name) {
      c = c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
    }
    values[name] = std::move(value);
  }
}

// A string value's text, without its terminating zero; empty for any other value.
std::string Text(const std::map<std::u16string, RegValue>& values, const std::u16string& name) {
  const auto found = values.find(name);
  if (found == values.end() ||
      (found->second.type != kRegSz && found->second.type != kRegExpandSz)) {
    return std::string();
  }
  std::u16string text = Utf16FromLeBytes(found->second.data);
  while (!text.empty() && text.back() == 0) {
    text.pop_back();
  }
  return Utf16ToUtf8(text);
}

std::uint32_t Number(const std::map<std::u16string, RegValue>& values, const std::u16string& name) {
  const auto found = values.find(name);
  if (found == values.end() || found->second.type != kRegDword || found->second.data.size() != 4) {
    return 0;
  }
  const std::vector<std::uint8_t>& bytes = found->second.data;
  return bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

bool StartsWith(const std::string& text, const std::string& start) {
  return text.compare(0, start.size(), start) == 0;
}

// Why a ProfileList entry of that name and those values is no profile to examine, for a reason
// that is no failure; empty for one to examine.
std::string PassedOver(const std::string& sid, const std::map<std::u16string, RegValue>& values,
                       const std::string& folder) {
  const std::string folded = AsciiUpper(sid);
  if (folded.size() > 4 && folded.compare(folded.size() - 4, 4, ".BAK") == 0) {
    return "a copy kept while its profile is repaired (.bak)";
  }
  // Local and domain accounts, and Entra ID's.
  if (!StartsWith(folded, "S-1-5-21-") && !StartsWith(folded, "S-1-12-1-")) {
    return folded == "S-1-5-18" || folded == "S-1-5-19" || folded == "S-1-5-20"
               ? "a service account, whose hive is always loaded"
               : "not a user's account";
  }
  const std::uint32_t state = Number(values, u"STATE");
  if (state & kTemporary) {
    return "a temporary profile";
  }
  if (state & kMandatory) {
    return "a mandatory profile, which its server replaces at every logon";
  }
  if (!Text(values, u"CENTRALPROFILE").empty()) {
    return "a roaming profile, which its server's copy replaces at the next logon: clean it as "
           "its user logs on";
  }
  return folder.empty() ? "no folder is recorded for it" : std::string();
}

}  // namespace

std::vector<Profile> ReadProfiles(RegistryReads& api, ProfileHives& hives, bool withTemplate) {
  std::vector<Profile> profiles;
  RegHandle opened = kNoHandle;
  if (api.OpenKeyW(kHkeyLocalMachine, kProfileList, 0, kKeyRead, &opened) != kErrorSuccess) {
    return profiles;
  }
  const KeyHandle list(api, opened);
  std::u16string name;
  for (std::uint32_t index = 0; api.EnumKeyW(list.get(), index, &name) == kErrorSuccess; ++index) {
    RegHandle entry = kNoHandle;
    std::map<std::u16string, RegValue> values;
    if (api.OpenKeyW(list.get(), name, 0, kKeyRead, &entry) == kErrorSuccess) {
      const KeyHandle key(api, entry);
      values = ValuesOf(api, key.get());
    }
    Profile profile;
    profile.id = Utf16ToUtf8(name);
    const std::string recorded = Text(values, u"PROFILEIMAGEPATH");
    profile.folder = recorded.empty() ? recorded : hives.Expand(recorded);
    profile.passedOver = PassedOver(profile.id, values, profile.folder);
    profiles.push_back(std::move(profile));
  }
  const std::string templateFolder = Text(ValuesOf(api, list.get()), u"DEFAULT");
  if (!templateFolder.empty()) {
    Profile profile;
    profile.id = "Default";
    profile.folder = hives.Expand(templateFolder);
    if (!withTemplate) {
      profile.passedOver = "the template of new users' profiles, cleaned only when asked for";
    }
    profiles.push_back(std::move(profile));
  }
  return profiles;
}

HiveFile HiveFileOf(const Profile& profile, HiveKind kind) {
  return {profile.folder,
          kind == HiveKind::kClasses ? "AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"
                                     : "NTUSER.DAT",
          profile.id == "Default" ? std::string() : profile.id};
}

UserHive ProfileHive(const Profile& profile, HiveKind kind, const std::string& as) {
  return {as, kind == HiveKind::kClasses ? profile.id + "_Classes" : profile.id, profile.id, kind};
}
