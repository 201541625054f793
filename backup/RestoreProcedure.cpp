#include "backup/RestoreProcedure.h"

#include <algorithm>
#include <optional>

#include "clean/CleanTargets.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/KeyTree.h"
#include "registry/Utf16.h"

namespace {

class Restorer {
 public:
  explicit Restorer(RegistryApi& api) : api_(api) {}

  // Writes one section; empty, or why it was not written whole.
  std::string Write(const BackupSection& section) {
    const KeyName named = *ParseKeyName(section.keyName);
    // The user's copies went first, so HKEY_CLASSES_ROOT's keys are the machine's; the merged
    // view would put them in a user's copy.
    const KeyName place = InMachineClasses(named);
    if (!Hive(place, &hive_)) {
      return "its hive cannot be named";
    }
    const std::size_t walked = section.link ? place.names.size() - 1 : place.names.size();
    // Names the place has in front of the file's own (the machine's classes for HKCR).
    const std::size_t added = place.names.size() - named.names.size();
    KeyHandle key;
    KeyName fileName{named.root, {}};
    for (std::size_t i = 0; i < walked; ++i) {
      if (i >= added) {
        fileName.names.push_back(place.names[i]);
      }
      // Within the control's keys a link is never gone through: one the file made a moment ago,
      // or one a user planted, could lead anywhere in the hive.
      const bool ownKey = i >= added && WithinCleanTargets(fileName);
      // A hive under HKEY_USERS is one that is loaded; a name from the file never makes one.
      const bool mayMake = i > 0 || place.root != kHkeyUsers;
      std::string why =
          Step(i == 0 ? place.root : key.get(), place.names[i], ownKey, mayMake, &key);
      if (!why.empty()) {
        return why;
      }
    }
    if (section.link) {
      return MakeLink(key.get(), place.names.back(), section.linkTarget);
    }
    for (const RegValue& value : section.values) {
      const RegStatus status = api_.SetValue(key.get(), value);
      if (status != kErrorSuccess) {
        return "a value cannot be set (error " + std::to_string(status) + ")";
      }
    }
    return std::string();
  }

 private:
  // The platform's name of the hive the key's name starts in: the user's own, a hive under
  // HKEY_USERS, or the machine's one the first name opens.
  bool Hive(const KeyName& place, std::string* hive) {
    if (api_.QueryKeyName(place.root, hive) != kErrorSuccess) {
      return false;
    }
    if (place.root != kHkeyCurrentUser) {
      *hive += "\\" + place.names.front();
    }
    return true;
  }

  // Opens, or makes, one key below parent, and keeps it only where it lies in the hive and, for
  // one of the control's keys, where it is no link.
  std::string Step(RegHandle parent, const std::string& name, bool ownKey, bool mayMake,
                   KeyHandle* key) {
    const std::u16string wideName = Utf8ToUtf16(name);
    RegHandle opened = kNoHandle;
    RegStatus status = api_.OpenKeyW(parent, wideName, 0, kKeyWrite, &opened);
    if (status == kErrorFileNotFound) {
      // Making a key through a dangling link would make the link's target, wherever it is.
      RegHandle link = kNoHandle;
      if (api_.OpenKeyW(parent, wideName, kRegOptionOpenLink, kKeyQueryValue, &link) ==
          kErrorSuccess) {
        api_.CloseKey(link);
        return "a link to a missing key, " + name + ", stands in its path";
      }
      if (!mayMake) {
        return "no hive " + name + " is loaded";
      }
      status = api_.CreateKey(parent, wideName, 0, kKeyWrite, &opened);
    }
    if (status != kErrorSuccess) {
      return "it cannot be opened or made for writing (error " + std::to_string(status) + ")";
    }
    KeyHandle reached(api_, opened);
    std::string reachedName;
    if (api_.QueryKeyName(reached.get(), &reachedName) != kErrorSuccess ||
        !LiesWithin(reachedName, hive_)) {
      return "a link in its path leads out of " + hive_;
    }
    if (ownKey && IsLink(parent, wideName)) {
      return "a link, " + name + ", stands in its path and is not followed";
    }
    *key = std::move(reached);
    return std::string();
  }

  // Whether parent\name is a link: one that cannot be opened as itself counts as one.
  bool IsLink(RegHandle parent, const std::u16string& name) {
    RegHandle opened = kNoHandle;
    if (api_.OpenKeyW(parent, name, kRegOptionOpenLink, kKeyQueryValue, &opened) != kErrorSuccess) {
      return true;
    }
    const KeyHandle self(api_, opened);
    return IsOpenedLink(api_, self.get(), parent, name);
  }

  std::string MakeLink(RegHandle parent, const std::string& name, const std::string& target) {
    if (!LiesWithin(target, hive_)) {
      return "it is a link to " + target + ", outside " + hive_ + "; it was not made";
    }
    RegHandle made = kNoHandle;
    const RegStatus status =
        api_.CreateKey(parent, Utf8ToUtf16(name), kRegOptionCreateLink, kKeyWrite, &made);
    if (status == kErrorAlreadyExists) {
      return "a key of that name exists, so the link was not made";
    }
    if (status != kErrorSuccess) {
      return "the link cannot be made (error " + std::to_string(status) + ")";
    }
    const KeyHandle link(api_, made);
    const RegStatus set = api_.SetValue(
        link.get(), {u"SymbolicLinkValue", kRegLink, LeBytesFromUtf16(Utf8ToUtf16(target))});
    if (set != kErrorSuccess) {
      // A link without its target would lead nowhere; it goes again.
      api_.DeleteOpenKey(link.get());
      return "the link's target cannot be set (error " + std::to_string(set) + ")";
    }
    return std::string();
  }

  RegistryApi& api_;
  std::string hive_;
};

// The text with every control character shown as "?", so that no name from the file can move
// the cursor or forge a line where the messages are shown.
std::string Printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      c = '?';
    }
  }
  return text;
}

}  // namespace

std::string RestoreRefusal(const ParsedBackup& backup) {
  if (!backup.valid) {
    return backup.error.empty() ? "it is not a backup written by this program" : backup.error;
  }
  for (const BackupSection& section : backup.sections) {
    if (!WithinCleanTargets(section.keyName)) {
      return "it names a key that is not one of the control's: " + Printable(section.keyName);
    }
  }
  return std::string();
}

RestoreResult RunRestore(RegistryApi& api, const ParsedBackup& backup) {
  RestoreResult result;
  Restorer restorer(api);
  for (const BackupSection& section : backup.sections) {
    const std::string why = restorer.Write(section);
    if (why.empty()) {
      result.restored.push_back(ParseKeyName(section.keyName)->Logged());
    } else {
      result.failures.push_back(Printable(section.keyName) + ": not restored: " + Printable(why) +
                                ".");
    }
  }
  if (backup.cutKey) {
    // Only as much of its name as was written; nothing of the section is used.
    result.cutNotice = Printable(*backup.cutKey) +
                       ": its part of the backup was cut short, so it was never deleted; nothing "
                       "of it was written.";
  }
  return result;
}
