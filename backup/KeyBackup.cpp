#include "backup/KeyBackup.h"

#include <utility>

#include "registry/KeyName.h"
#include "registry/Utf16.h"

KeyBackup::KeyBackup(RegistryReads& api, BackupFile& file, BackupOrigin origin, KeyWatches* watches)
    : api_(api), sections_(api, file, std::move(origin)), writeAhead_(api, sections_, watches) {}

bool KeyBackup::Fail(const std::string& why, bool forChange) {
  failure_ = why;
  failedForChange_ = forChange;
  return false;
}

bool KeyBackup::Started() {
  return sections_.Started() || Fail(sections_.Failure());
}

GuardedDeletion KeyBackup::Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                                   std::string* why) {
  if (target.listEntry && sections_.Started()) {
    writeAhead_.WriteFrom(target);
  }
  failure_.clear();
  failedForChange_ = false;
  const ShownKey shown = target.Shown();
  topName_ = shown.root + shown.path;
  view_ = target.viewFlags;
  bounds_.For(target);
  if (Started() && deletion()) {
    return GuardedDeletion::kDeleted;
  }
  *why = failure_;
  return failure_.empty()   ? GuardedDeletion::kNotDeleted
         : failedForChange_ ? GuardedDeletion::kKeptForChange
                            : GuardedDeletion::kKept;
}

GuardedDeletion KeyBackup::DeleteTree(TRegistry& registry, const CleanTarget& key,
                                      std::string* why) {
  return Guarded(
      key,
      [&] {
        bool deleted = false;
        return writeAhead_.Delete(key, topName_, *this, &deleted)
                   ? deleted
                   : DeleteCheckedTree(api_, key.root, key.path, registry.Access(), *this);
      },
      why);
}

GuardedDeletion KeyBackup::DeleteOpenTree(RegHandle key, const CleanTarget& target,
                                          std::string* why) {
  return Guarded(
      target,
      [&] {
        return DeleteCheckedOpenTree(api_, key, target.root, Utf8ToUtf16(BelowRoot(target.path)),
                                     kKeyAllAccess | target.viewFlags, *this);
      },
      why);
}

bool KeyBackup::BeforeDeleteKey(RegHandle key, RegHandle parent, const std::u16string& name,
                                const std::u16string& below) {
  std::string belowName;
  if (!ExactUtf8(below, &belowName) || !WritableKeyName(belowName)) {
    return Fail("a key below " + topName_ + " has a name a .reg file cannot hold exactly");
  }
  const std::string keyName = below.empty() ? topName_ : topName_ + "\\" + belowName;
  std::uint64_t start = 0;
  const WriteAhead::Section ahead = writeAhead_.SectionOf(key, &start);
  if (ahead == WriteAhead::Section::kChanged) {
    return Fail(keyName + " changed while it was backed up", true);
  }
  if (ahead == WriteAhead::Section::kNotAhead) {
    // Sections follow one another as their keys go: those written ahead for keys still to come
    // leave the file before another key's is written, and come again the usual way.
    writeAhead_.Drop();
    if (!sections_.WriteChecked(key, parent, name, keyName, view_, bounds_.Next(), &start)) {
      return Fail(sections_.Failure(), sections_.FailedForChange());
    }
    // Counted whether or not the key goes after all: the bounds are of the work a user can cause.
    bounds_.Took(sections_.Size() - start);
  }
  return Passed(start);
}

bool KeyBackup::Passed(std::uint64_t start) {
  lastStart_ = start;
  ++passed_;
  return true;
}

void KeyBackup::EntriesListed(const TStringList& entries) {
  writeAhead_.Expect(entries);
}

void KeyBackup::Finish() {
  writeAhead_.Drop();
}

void KeyBackup::NotDeleted() {
  // Sections written ahead follow this key's: they go with it, and come again the usual way.
  sections_.CutBack(lastStart_);
  writeAhead_.Forget();
  --passed_;
}
