#include "backup/RestoreProcedure.h"

#include <map>
#include <optional>
#include <utility>

#include "backup/BackupReader.h"
#include "backup/RestoreHives.h"
#include "clean/CleanTargets.h"
#include "common/PlatformTexts.h"
#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/KeyTree.h"
#include "registry/Utf16.h"

namespace {

// The first reading: whether every whole section names one of the clean's keys. A section cut
// short is never written, so its key, cut as it may be, is not asked about.
class Admission : public SectionVisitor {
 public:
  void Begin(const BackupSection& head) override { keyName_ = head.keyName; }
  void Value(RegValue) override {}
  void End() override {
    if (refusal_.empty() && !WithinCleanTargets(keyName_)) {
      refusal_ = "it names a key that is not one of the control's: " + keyName_;
    }
  }

  const std::string& Refusal() const { return refusal_; }

 private:
  std::string keyName_;
  std::string refusal_;
};

// One key of the path the last section was written to, as the walk reached it.
struct Level {
  std::string name;
  KeyHandle key;
  std::string platformName;  // as QueryKeyName tells it; empty until it was asked
};

// The second reading: writes each whole section as it comes.
class Restorer : public SectionVisitor {
 public:
  Restorer(RegistryApi& api, RestoreHives& users, std::size_t wholeSections, RestoreLog& log)
      : api_(api), users_(users), wholeSections_(wholeSections), log_(log) {}

  // Lets go of every key it holds, so the hive they lie in can be unloaded.
  void Close() { levels_.clear(); }

  void Begin(const BackupSection& head) override {
    // Past the whole sections lies the one cut short, whose key was never deleted.
    skipping_ = begun_++ == wholeSections_;
    if (skipping_) {
      return;
    }
    keyName_ = head.keyName;
    named_ = ParseKeyName(keyName_);
    // Asked again of what is written, whatever the first reading found.
    why_ = named_ && WithinCleanTargets(*named_) ? Open(head, *named_)
                                                 : "it is not one of the control's keys";
    opened_ = why_.empty();
  }

  void Value(RegValue value) override {
    if (skipping_ || !opened_) {
      return;
    }
    // Left out rather than set under the shorter name the platform would make of it.
    if (value.name.size() > kLongestValueNameLength) {
      Fail("a value's name is longer than the platform takes, so that value was left out");
      return;
    }
    const RegStatus status = api_.SetValue(levels_.back().key.get(), value);
    if (status != kErrorSuccess) {
      Fail(WithStatus("a value cannot be set", status));
    }
  }

  void End() override {
    if (skipping_) {
      return;
    }
    if (why_.empty()) {
      log_.Restored(named_->Shown());
    } else {
      log_.NotRestored(keyName_ + ": not restored: " + why_ + ".");
    }
  }

 private:
  void Fail(const std::string& why) {
    if (why_.empty()) {
      why_ = why;
    }
  }

  // Opens, or makes, the section's key, or makes its link; empty, or why it was not.
  std::string Open(const BackupSection& head, const KeyName& named) {
    // The user's own keys went first, so HKEY_CLASSES_ROOT's keys are the machine's; the merged
    // view would put them in a user's own classes.
    KeyName place = InMachineClasses(named);
    for (const std::string& name : place.names) {
      if (Utf8ToUtf16(name).size() > kLongestKeyNameLength) {
        return "a key's name is longer than the platform takes, so it was left out";
      }
    }
    // A user's hive is written as the clean read it, without the platform's redirection: a
    // class's two names there are two keys.
    view_ = place.root == kHkeyUsers ? kKeyWow64_64Key : 0;
    if (place.root == kHkeyUsers) {
      // A link's target names the hive as its user has it loaded, wherever the run writes it.
      linkHive_ = UsersHivePlatformName(place.names.front());
      if (!users_.Holds(place.names.front())) {
        levels_.clear();
      }
      std::string why;
      place.names.front() = users_.Reach(place.names.front(), &why);
      if (place.names.front().empty()) {
        return why;
      }
    }
    if (!Hive(place, &hive_)) {
      return "its hive cannot be named";
    }
    // The current user's classes are a hive of their own, which the user's Software\Classes
    // links to.
    classesHive_ = place.root == kHkeyCurrentUser ? hive_ + "_Classes" : std::string();
    if (place.root != kHkeyUsers) {
      linkHive_ = hive_;
    }
    const std::size_t walked = head.link ? place.names.size() - 1 : place.names.size();
    // The keys the last section reached on the same path were checked then; they serve again,
    // so a long list of entries below one key is not walked from the root for each.
    if (place.root != levelsRoot_) {
      levels_.clear();
    }
    levelsRoot_ = place.root;
    std::size_t kept = 0;
    while (kept < levels_.size() && kept < walked && levels_[kept].name == place.names[kept]) {
      ++kept;
    }
    levels_.erase(levels_.begin() + static_cast<std::ptrdiff_t>(kept), levels_.end());
    // Names the place has in front of the file's own (the machine's classes for HKCR).
    const std::size_t added = place.names.size() - named.names.size();
    KeyName fileName{named.root, {}};
    for (std::size_t i = 0; i < walked; ++i) {
      if (i >= added) {
        fileName.names.push_back(place.names[i]);
      }
      if (i < kept) {
        continue;
      }
      // Within the control's keys a link is never gone through: one the file made a moment ago,
      // or one a user planted, could lead anywhere in the hive.
      const bool ownKey = i >= added && WithinCleanTargets(fileName);
      // A hive under HKEY_USERS is one that is loaded; a name from the file never makes one.
      const bool mayMake = i > 0 || place.root != kHkeyUsers;
      const std::string why = Step(Reached(place), place.names[i], ownKey, mayMake);
      if (!why.empty()) {
        return why;
      }
    }
    return head.link ? MakeLink(Reached(place), place.names.back(), head.linkTarget)
                     : std::string();
  }

  // Whether the platform's name lies in the hive named so, or in the current user's classes.
  bool InHive(const std::string& name, const std::string& hive) const {
    return LiesWithin(name, hive) || (!classesHive_.empty() && LiesWithin(name, classesHive_));
  }

  // The key the walk has reached so far: the root before the first name.
  RegHandle Reached(const KeyName& place) const {
    return levels_.empty() ? place.root : levels_.back().key.get();
  }

  // The platform's name of the hive the key's name starts in: the user's own, a hive under
  // HKEY_USERS, or the machine's one the first name opens.
  bool Hive(const KeyName& place, std::string* hive) {
    auto [root, isNew] = rootNames_.try_emplace(place.root);
    if (isNew && api_.QueryKeyName(place.root, &root->second) != kErrorSuccess) {
      rootNames_.erase(root);
      return false;
    }
    *hive = root->second;
    if (place.root != kHkeyCurrentUser) {
      *hive += "\\" + place.names.front();
    }
    return true;
  }

  // Opens, or makes, one key below parent, and keeps it only where it lies in the hive and, for
  // one of the control's keys, where it is no link.
  std::string Step(RegHandle parent, const std::string& name, bool ownKey, bool mayMake) {
    const std::u16string wideName = Utf8ToUtf16(name);
    RegHandle opened = kNoHandle;
    if (!ownKey) {
      // Above the control's keys, links are followed as the platform resolves them, within the
      // hive.
      const RegStatus status = api_.OpenKeyW(parent, wideName, 0, kKeyWrite | view_, &opened);
      if (status == kErrorSuccess) {
        KeyHandle reached(api_, opened);
        std::string reachedName;
        if (api_.QueryKeyName(reached.get(), &reachedName) != kErrorSuccess ||
            !InHive(reachedName, hive_)) {
          // Named as its user has it loaded, never by the run's private name.
          return "a link in its path leads out of " + linkHive_;
        }
        levels_.push_back({name, std::move(reached), reachedName});
        return std::string();
      }
      if (status != kErrorFileNotFound) {
        return WithStatus("it cannot be opened or made for writing", status);
      }
      if (!mayMake) {
        return "no hive " + name + " is loaded";
      }
    }
    // Made new, or opened as itself: a link of that name is not gone through, and no dangling
    // link's target is made.
    bool created = false;
    const RegStatus status = api_.CreateKey(parent, wideName, kRegOptionOpenLink,
                                            kKeyWrite | kKeyQueryValue | view_, &opened, &created);
    if (status != kErrorSuccess) {
      return WithStatus("it cannot be opened or made for writing", status);
    }
    KeyHandle key(api_, opened);
    std::string keyName;
    // Where a platform would follow a link despite the option, the key reached is not the one
    // below its parent by that name.
    if (!created && (IsLink(key.get(), parent, wideName) ||
                     api_.QueryKeyName(key.get(), &keyName) != kErrorSuccess ||
                     AsciiUpper(keyName) != AsciiUpper(ParentName() + "\\" + name))) {
      return ownKey ? "a link, " + name + ", stands in its path and is not followed"
                    : "a link to a missing key, " + name + ", stands in its path";
    }
    levels_.push_back({name, std::move(key), keyName});
    return std::string();
  }

  // The platform's name of the key the walk has reached so far, asked once.
  const std::string& ParentName() {
    if (levels_.empty()) {
      return rootNames_[levelsRoot_];
    }
    Level& parent = levels_.back();
    if (parent.platformName.empty()) {
      api_.QueryKeyName(parent.key.get(), &parent.platformName);
    }
    return parent.platformName;
  }

  // Whether the key, opened as itself as parent\name, is a link. Most keys show at once that
  // they are none: a link has no subkeys and one value, its target, or none when it was never
  // given one.
  bool IsLink(RegHandle key, RegHandle parent, const std::u16string& name) {
    std::uint32_t subkeys = 0;
    std::uint32_t values = 0;
    RegValue first;
    if (api_.QueryInfoKey(key, {&subkeys, nullptr, &values, nullptr, nullptr, nullptr}) !=
        kErrorSuccess) {
      return true;
    }
    if (subkeys != 0 || values > 1) {
      return false;
    }
    if (values == 0) {
      return LeadsToNoKey(api_, parent, name, view_);
    }
    return api_.EnumValue(key, 0, &first) != kErrorSuccess ||
           (IsLinkValue(first) && IsOpenedLink(api_, key, parent, name, view_));
  }

  std::string MakeLink(RegHandle parent, const std::string& name,
                       const std::optional<std::string>& target) {
    if (target && !InHive(*target, linkHive_)) {
      return "it is a link to " + *target + ", outside " + linkHive_ + "; it was not made";
    }
    const std::u16string wideName = Utf8ToUtf16(name);
    // A link never given a target is made as one: it leads nowhere, as it did.
    std::optional<RegValue> targetValue;
    if (target) {
      targetValue =
          RegValue{u"SymbolicLinkValue", kRegLink, LeBytesFromUtf16(Utf8ToUtf16(*target))};
    }
    RegHandle made = kNoHandle;
    const RegStatus status =
        api_.CreateKey(parent, wideName, kRegOptionCreateLink, kKeyWrite | view_, &made, nullptr);
    if (status == kErrorAlreadyExists) {
      return SameLink(parent, wideName, targetValue)
                 ? std::string()
                 : "a key of that name exists, so the link was not made";
    }
    if (status != kErrorSuccess) {
      return WithStatus("the link cannot be made", status);
    }
    const KeyHandle link(api_, made);
    const RegStatus set = targetValue ? api_.SetValue(link.get(), *targetValue) : kErrorSuccess;
    if (set != kErrorSuccess) {
      // A link without its target would lead nowhere; it goes again.
      api_.DeleteOpenKey(link.get());
      return WithStatus("the link's target cannot be set", set);
    }
    return std::string();
  }

  // Whether parent\name is already the link the file holds, as an earlier restore made it.
  bool SameLink(RegHandle parent, const std::u16string& name,
                const std::optional<RegValue>& targetValue) {
    RegHandle opened = kNoHandle;
    if (api_.OpenKeyW(parent, name, kRegOptionOpenLink, kKeyQueryValue | view_, &opened) !=
        kErrorSuccess) {
      return false;
    }
    const KeyHandle key(api_, opened);
    RegValue held;
    const RegStatus read = api_.EnumValue(key.get(), 0, &held);
    return IsLink(key.get(), parent, name) &&
           (targetValue ? read == kErrorSuccess && held.data == targetValue->data
                        : read == kErrorNoMoreItems);
  }

  RegistryApi& api_;
  RestoreHives& users_;
  const std::size_t wholeSections_;
  RestoreLog& log_;
  std::size_t begun_ = 0;
  bool skipping_ = false;
  bool opened_ = false;
  std::string keyName_;
  std::optional<KeyName> named_;  // the key's name, read once
  std::string why_;
  std::string hive_;         // the platform's name of the hive the key is written in
  std::string linkHive_;     // the same, as links in it name it
  std::string classesHive_;  // for the current user's keys, the user's classes hive
  std::uint32_t view_ = 0;   // the registry view the key is written in
  std::map<RegHandle, std::string> rootNames_;
  RegHandle levelsRoot_ = kNoHandle;
  std::vector<Level> levels_;
};

// Keeps what restore tells, for a caller that gave no log of its own, and counts the keys not
// restored.
class ResultLog : public RestoreLog {
 public:
  ResultLog(RestoreLog* log, RestoreResult& result) : log_(log), result_(result) {}

  void Restored(const ShownKey& key) override {
    if (log_) {
      log_->Restored(key);
    } else {
      result_.restored.push_back(key);
    }
  }
  void NotRestored(const std::string& line) override {
    ++result_.notRestored;
    if (log_) {
      log_->NotRestored(line);
    } else {
      result_.failures.push_back(line);
    }
  }
  void CutShort(const std::string& notice) override {
    result_.cutShortNotice = notice;
    if (log_) {
      log_->CutShort(notice);
    }
  }

 private:
  RestoreLog* log_;
  RestoreResult& result_;
};

}  // namespace

RestoreResult RunRestore(RegistryApi& api, BackupSource& source, ProfileHives* profiles,
                         RestoreLog* log) {
  RestoreResult result;
  Admission admission;
  const BackupReading checked = ReadBackup(source, admission);
  if (!checked.valid || !admission.Refusal().empty()) {
    result.refusal = !checked.valid ? checked.error : admission.Refusal();
    return result;
  }
  ResultLog told(log, result);
  if (checked.cutKey) {
    // Only as much of its name as was written; nothing of the section is used.
    told.CutShort(
        *checked.cutKey +
        ": its part of the backup was cut short, so it was never deleted; nothing of it was "
        "written.");
  }
  if (profiles) {
    result.swept = profiles->Sweep();
  }
  RestoreHives users(api, profiles);
  Restorer restorer(api, users, checked.sections, told);
  const BackupReading written = ReadBackup(source, restorer);
  restorer.Close();
  users.Release();
  for (const std::string& failure : users.Failures()) {
    told.NotRestored(failure);
  }
  if (!written.valid || written.sections != checked.sections) {
    // The file is held so that nobody can change it meanwhile; should it differ all the same,
    // the second reading wrote only what it found as the writer writes it and within the
    // control's keys.
    told.NotRestored("the file changed between its checking and its writing");
  }
  return result;
}
