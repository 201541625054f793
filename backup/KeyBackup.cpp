#include "backup/KeyBackup.h"

#include <algorithm>
#include <utility>

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"

KeyBackup::KeyBackup(RegistryReads& api, BackupFile& file, BackupOrigin origin, KeyWatches* watches)
    : api_(api), sections_(api, file, std::move(origin)), watches_(watches) {}

bool KeyBackup::Fail(const std::string& why) {
  failure_ = why;
  return false;
}

bool KeyBackup::Started() {
  return sections_.Started() || Fail(sections_.Failure());
}

GuardedDeletion KeyBackup::Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                                   std::string* why) {
  if (target.listEntry && sections_.Started()) {
    WriteAhead(target);
  }
  failure_.clear();
  const LoggedKey shown = target.Logged();
  topName_ = shown.root + shown.path;
  view_ = target.viewFlags;
  if (Started() && deletion()) {
    return GuardedDeletion::kDeleted;
  }
  *why = failure_;
  return failure_.empty() ? GuardedDeletion::kNotDeleted : GuardedDeletion::kRefused;
}

GuardedDeletion KeyBackup::DeleteTree(TRegistry& registry, const CleanTarget& key,
                                      std::string* why) {
  return Guarded(
      key,
      [&] {
        if (ahead_.empty() || ahead_.front().keyName != topName_) {
          return DeleteCheckedTree(api_, key.root, key.path, registry.Access(), *this);
        }
        // Written ahead: deleted through the handle it was read through and watched on, which
        // tells a subkey made since it was seen to have none.
        held_ = std::move(ahead_.front());
        ahead_.pop_front();
        const bool deleted = DeleteCheckedOpenLeaf(api_, held_->key.get(), key.root,
                                                   Utf8ToUtf16(BelowRoot(key.path)), *this);
        held_.reset();
        return deleted;
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
  if (held_ && held_->written && key == held_->key.get()) {
    // A key deleted by another meanwhile, or moved with its list renamed, may not mark its
    // watch, and the platform may answer its deletion through this handle with success while a
    // key made again by its name stays: asked, the handle must still reach a key of that name.
    std::string platformName;
    if (held_->key.Changed() || api_.QueryKeyName(key, &platformName) != kErrorSuccess ||
        AsciiUpper(platformName) != AsciiUpper(held_->platformName)) {
      DropAhead();
      return Fail(keyName + " changed while it was backed up");
    }
    held_->written = false;
    return Passed(held_->start);
  }
  // Sections follow one another as their keys go: those written ahead for keys still to come
  // leave the file before another key's is written, and come again the usual way.
  DropAhead();
  std::uint64_t start = 0;
  if (!sections_.WriteChecked(key, parent, name, keyName, view_, &start)) {
    return Fail(sections_.Failure());
  }
  return Passed(start);
}

bool KeyBackup::Passed(std::uint64_t start) {
  lastStart_ = start;
  ++passed_;
  return true;
}

void KeyBackup::Ahead(const TStringList& entries) {
  DropAhead();
  coming_.clear();
  comingNext_ = 0;
  for (std::size_t index = 0; index < entries.Count(); ++index) {
    if (MatchesControl(entries[index])) {
      coming_.push_back(entries[index]);
    }
  }
}

void KeyBackup::WriteAhead(const CleanTarget& entry) {
  // The entries come in the list's order: this one and those after it are written together.
  while (comingNext_ < coming_.size() &&
         ModuleUsageEntry(coming_[comingNext_]).path != entry.path) {
    ++comingNext_;
  }
  if (!watches_ || !ahead_.empty() || comingNext_ == coming_.size() || !sections_.StartBatch()) {
    return;
  }
  std::string listName;
  if (!ListName(ModuleUsageEntry(coming_[comingNext_]).viewFlags, &listName)) {
    sections_.EndBatch();
    return;
  }
  // Written in order until one cannot be; the rest go the usual way when their turn comes.
  const std::size_t end = std::min(coming_.size(), comingNext_ + kAheadBatch);
  for (std::size_t index = comingNext_; index < end; ++index) {
    const CleanTarget target = ModuleUsageEntry(coming_[index]);
    const LoggedKey shown = target.Logged();
    const std::u16string name = Utf8ToUtf16(BelowRoot(target.path));
    RegHandle opened = kNoHandle;
    // Opened as the checked deletion opens it, to go through this very handle.
    if (api_.OpenKeyW(target.root, name, kRegOptionOpenLink, kDelete | kKeyRead | target.viewFlags,
                      &opened) != kErrorSuccess) {
      break;
    }
    AheadKey next;
    next.keyName = shown.root + shown.path;
    next.platformName = listName + "\\" + coming_[index];
    // Watched before it is read, so any change after the reading shows.
    next.key = WatchedKey(api_, opened, *watches_);
    if (!next.key.Watched() || !sections_.WriteWatched(opened, target.root, name, next.keyName,
                                                       target.viewFlags, &next.start)) {
      break;
    }
    next.written = true;
    ahead_.push_back(std::move(next));
  }
  sections_.EndBatch();
  if (!ahead_.empty() && !sections_.Flush()) {
    DropAhead();
  }
}

bool KeyBackup::ListName(std::uint32_t view, std::string* name) {
  RegHandle opened = kNoHandle;
  if (api_.OpenKeyW(kModuleUsage.root, Utf8ToUtf16(BelowRoot(kModuleUsage.path)), 0,
                    kKeyQueryValue | view, &opened) != kErrorSuccess) {
    return false;
  }
  const KeyHandle list(api_, opened);
  return api_.QueryKeyName(list.get(), name) == kErrorSuccess;
}

void KeyBackup::Finish() {
  DropAhead();
}

void KeyBackup::DropAhead() {
  // The held entry's section, where it is still there, comes before those still ahead.
  const bool heldWritten = held_ && held_->written;
  if (heldWritten || !ahead_.empty()) {
    sections_.CutBack(heldWritten ? held_->start : ahead_.front().start);
  }
  if (held_) {
    held_->written = false;
  }
  ahead_.clear();
}

void KeyBackup::NotDeleted() {
  // Sections written ahead follow this key's: they go with it, and come again the usual way.
  sections_.CutBack(lastStart_);
  ahead_.clear();
  --passed_;
}
