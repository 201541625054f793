#include "users/UserHive.h"

#include <algorithm>
#include <cctype>

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/TRegistry.h"
#include "registry/TStringList.h"
#include "registry/Utf16.h"

namespace {

constexpr const char* kClassesHiveSuffix = "_CLASSES";
constexpr const char* kPrivateHivePrefix = "TessalineClean-";

bool HexDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; });
}

}  // namespace

UserHive LoadedHive(const std::string& name) {
  const HiveKind kind = KindOfHive(name);
  const std::string profile =
      kind == HiveKind::kClasses
          ? name.substr(0, name.size() - std::string(kClassesHiveSuffix).size())
          : name;
  return {name, name, profile, kind};
}

HiveKind KindOfHive(const std::string& hiveName) {
  // A hive a run mounted under its private name is no user's by that name: nothing is read from,
  // or written to, a name another run may unload meanwhile.
  if (IsPrivateHiveName(hiveName)) {
    return HiveKind::kNone;
  }
  const std::string folded = AsciiUpper(hiveName);
  const std::string suffix = kClassesHiveSuffix;
  const bool classes = folded.size() >= suffix.size() &&
                       folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) == 0;
  return classes ? HiveKind::kClasses : HiveKind::kUser;
}

std::vector<UserHive> LoadedUserHives(RegistryReads& api) {
  // Read through an object of their own, so a walk's open key is left alone.
  TRegistry users(api, kProbeAccess);
  users.SelectRoot(kHkeyUsers);
  TStringList names;
  if (users.OpenPath("")) {
    users.ListSubkeyNames(names);
  }
  std::vector<UserHive> hives;
  for (std::size_t index = 0; index < names.Count(); ++index) {
    // A hive a run mounts is walked, as its profile's, by the run that mounted it.
    if (!IsPrivateHiveName(names[index])) {
      hives.push_back(LoadedHive(names[index]));
    }
  }
  return hives;
}

bool LoadedByItsUser(RegistryReads& api, const std::string& hive) {
  RegHandle opened = kNoHandle;
  const RegStatus status = api.OpenKeyW(kHkeyUsers, Utf8ToUtf16(hive), 0, kProbeAccess, &opened);
  const KeyHandle loaded(api, opened);
  return status != kErrorFileNotFound;
}

std::string PrivateHiveName(const std::string& profile, HiveKind kind,
                            const std::string& unpredictable) {
  if (unpredictable.size() != kUnpredictableDigits || !HexDigits(unpredictable)) {
    return std::string();
  }
  return kPrivateHivePrefix + profile + (kind == HiveKind::kClasses ? "-classes-" : "-user-") +
         unpredictable;
}

bool IsPrivateHiveName(const std::string& name) {
  const std::string folded = AsciiUpper(name);
  const std::string prefix = AsciiUpper(kPrivateHivePrefix);
  return folded.compare(0, prefix.size(), prefix) == 0;
}

bool HasUnpredictablePart(const std::string& name) {
  if (!IsPrivateHiveName(name) || name.size() < kUnpredictableDigits) {
    return false;
  }
  const std::size_t part = name.size() - kUnpredictableDigits;
  const std::string before = AsciiUpper(name.substr(0, part));
  const std::size_t prefix = std::string(kPrivateHivePrefix).size();
  // The prefix, a profile, then the kind just before the part, in any case.
  for (const std::string kind : {"-USER-", "-CLASSES-"}) {
    if (before.size() > prefix + kind.size() &&
        before.compare(before.size() - kind.size(), kind.size(), kind) == 0) {
      return HexDigits(name.substr(part));
    }
  }
  return false;
}
