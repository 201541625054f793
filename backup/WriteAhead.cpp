#include "backup/WriteAhead.h"

#include <algorithm>
#include <utility>

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"

WriteAhead::WriteAhead(RegistryReads& api, BackupSections& sections, KeyWatches* watches)
    : api_(api), sections_(sections), watches_(watches) {}

void WriteAhead::Expect(const TStringList& entries) {
  Drop();
  coming_.clear();
  comingNext_ = 0;
  for (std::size_t index = 0; index < entries.Count(); ++index) {
    if (MatchesControl(entries[index])) {
      coming_.push_back(entries[index]);
    }
  }
}

void WriteAhead::WriteFrom(const CleanTarget& entry) {
  // The entries come in the list's order: this one and those after it are written together.
  while (comingNext_ < coming_.size() &&
         ModuleUsageEntry(coming_[comingNext_]).path != entry.path) {
    ++comingNext_;
  }
  if (!watches_ || !ahead_.empty() || comingNext_ == coming_.size() || !sections_.StartBatch()) {
    return;
  }
  std::string listName;
  if (ListName(ModuleUsageEntry(coming_[comingNext_]).viewFlags, &listName)) {
    // Written in order until one cannot be; the rest go the usual way when their turn comes.
    const std::size_t end = std::min(coming_.size(), comingNext_ + kBatch);
    for (std::size_t index = comingNext_; index < end; ++index) {
      if (!WriteEntry(coming_[index], listName)) {
        break;
      }
    }
  }
  sections_.EndBatch();
  if (!ahead_.empty() && !sections_.Flush()) {
    Drop();
  }
}

bool WriteAhead::WriteEntry(const std::string& entryName, const std::string& listName) {
  const CleanTarget target = ModuleUsageEntry(entryName);
  const ShownKey shown = target.Shown();
  const std::u16string name = Utf8ToUtf16(BelowRoot(target.path));
  RegHandle opened = kNoHandle;
  // Opened as the checked deletion opens it, to go through this very handle.
  if (api_.OpenKeyW(target.root, name, kRegOptionOpenLink, kDelete | kKeyRead | target.viewFlags,
                    &opened) != kErrorSuccess) {
    return false;
  }
  Entry next;
  next.keyName = shown.root + shown.path;
  next.platformName = listName + "\\" + entryName;
  // Watched before it is read, so any change after the reading shows.
  next.key = WatchedKey(api_, opened, *watches_);
  if (!next.key.Watched() || !sections_.WriteWatched(opened, target.root, name, next.keyName,
                                                     target.viewFlags, &next.start)) {
    return false;
  }
  next.written = true;
  ahead_.push_back(std::move(next));
  return true;
}

bool WriteAhead::ListName(std::uint32_t view, std::string* name) {
  RegHandle opened = kNoHandle;
  if (api_.OpenKeyW(kModuleUsage.root, Utf8ToUtf16(BelowRoot(kModuleUsage.path)), 0,
                    kKeyQueryValue | view, &opened) != kErrorSuccess) {
    return false;
  }
  const KeyHandle list(api_, opened);
  return api_.QueryKeyName(list.get(), name) == kErrorSuccess;
}

bool WriteAhead::Delete(const CleanTarget& entry, const std::string& keyName,
                        KeyDeletionCheck& check, bool* deleted) {
  if (ahead_.empty() || ahead_.front().keyName != keyName) {
    return false;
  }
  // Through the handle it was read through and watched on, which tells a subkey made since it
  // was seen to have none.
  deleting_ = std::move(ahead_.front());
  ahead_.pop_front();
  *deleted = DeleteCheckedOpenLeaf(api_, deleting_->key.get(), entry.root,
                                   Utf8ToUtf16(BelowRoot(entry.path)), check);
  deleting_.reset();
  return true;
}

WriteAhead::Section WriteAhead::SectionOf(RegHandle key, std::uint64_t* start) {
  if (!deleting_ || !deleting_->written || key != deleting_->key.get()) {
    return Section::kNotAhead;
  }
  // A key deleted by another meanwhile, or moved with its list renamed, may not mark its watch,
  // and the platform may answer its deletion through this handle with success while a key made
  // again by its name stays: asked, the handle must still reach a key of that name.
  std::string platformName;
  if (deleting_->key.Changed() || api_.QueryKeyName(key, &platformName) != kErrorSuccess ||
      AsciiUpper(platformName) != AsciiUpper(deleting_->platformName)) {
    Drop();
    return Section::kChanged;
  }
  deleting_->written = false;
  *start = deleting_->start;
  return Section::kAsWritten;
}

void WriteAhead::Drop() {
  // The section of the entry being deleted, where it is still there, comes before those still
  // ahead.
  const bool deletingWritten = deleting_ && deleting_->written;
  if (deletingWritten || !ahead_.empty()) {
    sections_.CutBack(deletingWritten ? deleting_->start : ahead_.front().start);
  }
  if (deleting_) {
    deleting_->written = false;
  }
  ahead_.clear();
}

void WriteAhead::Forget() {
  ahead_.clear();
}
