#include "backup/KeyBackup.h"

#include <algorithm>
#include <utility>

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/KeyTree.h"
#include "registry/Utf16.h"

namespace {

constexpr std::uint64_t kDigestStart = 0xCBF29CE484222325ull;

// FNV-1a over the bytes given, to see whether a key's values changed while it was written.
void Mix(std::uint64_t* digest, const void* bytes, std::size_t count) {
  const auto* byte = static_cast<const std::uint8_t*>(bytes);
  for (std::size_t i = 0; i < count; ++i) {
    *digest = (*digest ^ byte[i]) * 0x100000001B3ull;
  }
}

void MixValue(std::uint64_t* digest, const RegValue& value) {
  const std::uint64_t sizes[] = {value.name.size(), value.type, value.data.size()};
  Mix(digest, sizes, sizeof(sizes));
  Mix(digest, value.name.data(), value.name.size() * sizeof(char16_t));
  Mix(digest, value.data.data(), value.data.size());
}

// The UTF-8 text, when it gives back the very UTF-16 units (no lone surrogate among them).
bool ExactUtf8(const std::u16string& text, std::string* utf8) {
  *utf8 = Utf16ToUtf8(text);
  return Utf8ToUtf16(*utf8) == text;
}

}  // namespace

KeyBackup::KeyBackup(RegistryReads& api, BackupFile& file, BackupOrigin origin, KeyWatches* watches)
    : api_(api), file_(file), origin_(std::move(origin)), watches_(watches) {}

bool KeyBackup::Fail(const std::string& why) {
  failure_ = why;
  return false;
}

bool KeyBackup::Start() {
  if (!file_.Create()) {
    return Fail(file_.Failure());
  }
  const std::string header = Utf16LeBytes(RegFileHeader(origin_, file_.Name()));
  if (!file_.Write(header) || !file_.Flush()) {
    return Fail("cannot write the backup file: " + file_.Failure());
  }
  size_ = header.size();
  return true;
}

bool KeyBackup::Started() {
  // Made once: a file that could not be made is not tried again for every key.
  if (!started_ && startFailure_.empty()) {
    started_ = Start();
    startFailure_ = started_ ? std::string() : failure_;
  }
  return started_ || Fail(startFailure_);
}

GuardedDeletion KeyBackup::Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                                   std::string* why) {
  if (target.listEntry && Started()) {
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

bool KeyBackup::ReadContents(RegHandle key, Contents* contents, bool hold, bool watched) {
  *contents = Contents();
  contents->digest = kDigestStart;
  contents->holdsAll = hold;
  const KeyInfoOut info{&contents->subkeys,  nullptr, nullptr, nullptr, nullptr,
                        &contents->lastWrite};
  // A watched key's values are as many as it tells first: one added later marks its watch.
  std::uint32_t count = 0;
  if (watched && api_.QueryInfoKey(key, {&contents->subkeys, nullptr, &count, nullptr, nullptr,
                                         &contents->lastWrite}) != kErrorSuccess) {
    return false;
  }
  for (;; ++contents->values) {
    if (watched && contents->values == count) {
      return true;
    }
    RegValue value;
    const RegStatus status = api_.EnumValue(key, contents->values, &value);
    if (status == kErrorNoMoreItems && !watched) {
      // Read after the values: a change to one already read moves the time on.
      return api_.QueryInfoKey(key, info) == kErrorSuccess;
    }
    if (status != kErrorSuccess) {
      return false;
    }
    // A name restore would leave out, too long for the platform, keeps the key as a name the
    // file cannot hold does.
    contents->writableNames = contents->writableNames && WritableValueName(value.name) &&
                              value.name.size() <= kLongestValueNameLength;
    // A name's units escaped at most one each, four units at most a byte of hex data with its
    // wrapping, and room for the line's own signs.
    contents->textBound += 2 * (2 * value.name.size() + 4 * value.data.size() + 32);
    contents->onlyLinkValue = contents->values == 0 && IsLinkValue(value);
    MixValue(&contents->digest, value);
    // A small key's values are kept to be written as read; a large one's are read again in
    // pieces as they are written.
    contents->holdsAll = contents->holdsAll && contents->textBound <= kHeldText;
    if (contents->holdsAll) {
      contents->held.push_back(std::move(value));
    } else {
      contents->held = std::vector<RegValue>();
    }
  }
}

bool KeyBackup::WriteKey(RegHandle key, const std::string& keyName, bool link, std::uint64_t bound,
                         const Contents& before, Contents* written) {
  if (broken_) {
    return Fail("the backup file could not be cut back after a section it could not finish");
  }
  std::uint64_t free = 0;
  if (!FreeSpace(bound, &free)) {
    return Fail("cannot tell how much room the backup's volume has: " + file_.Failure());
  }
  if (free < bound + kVolumeReserve) {
    return Fail("writing " + keyName + " could leave the backup's volume less than " +
                std::to_string(kVolumeReserve >> 20) + " MB free");
  }
  bool fileFailed = false;
  bool grew = false;
  std::uint64_t sectionBytes = 0;
  // Pieces go to the file a batch at a time, the last with the section's end.
  std::string pending;
  const auto writePending = [&] {
    fileFailed = !file_.Write(pending);
    pending.clear();
    return !fileFailed;
  };
  SectionWriter writer([&](const std::u16string& piece) {
    // A value that grew since the first look could take the volume below its reserve: the
    // section stops at its bound, unfinished, and the key stays.
    sectionBytes += 2 * piece.size();
    grew = sectionBytes > bound;
    pending += Utf16LeBytes(piece);
    return !grew && (pending.size() < kWriteBatch || writePending());
  });
  *written = Contents();
  written->digest = kDigestStart;
  // Values kept from the first look are written as they were read then.
  const auto next = [&](RegValue* value) {
    if (!before.holdsAll) {
      return api_.EnumValue(key, written->values, value);
    }
    if (written->values == before.held.size()) {
      return kErrorNoMoreItems;
    }
    *value = before.held[written->values];
    return kErrorSuccess;
  };
  bool ok = link || writer.Key(keyName);
  for (RegValue value; ok; value = RegValue()) {
    const RegStatus status = next(&value);
    if (status == kErrorNoMoreItems) {
      break;
    }
    std::string target;
    // A link's one value is its target; a name made unwritable since the first look ends the
    // section unfinished: the key stays, and a reader takes the section for one cut short.
    ok = status == kErrorSuccess && (link ? written->values == 0 && IsLinkValue(value) &&
                                                ExactUtf8(Utf16FromLeBytes(value.data), &target) &&
                                                writer.Link(keyName, target)
                                          : WritableValueName(value.name) && writer.Value(value));
    if (ok) {
      MixValue(&written->digest, value);
      ++written->values;
    }
  }
  // A link that lost its target meanwhile has had nothing written.
  ok = ok && (!link || written->values == 1) && writer.End() && writePending();
  if (!ok) {
    // What was written of it goes, so the sections after it, of keys in other users' hives,
    // follow whole ones; a file that cannot be cut back takes no more.
    broken_ = broken_ || (sectionBytes != 0 && !file_.CutTo(size_));
    return Fail(grew         ? keyName + " grew while it was backed up"
                : fileFailed ? "cannot write " + keyName + " to the backup file: " + file_.Failure()
                             : "cannot read all of " + keyName + " exactly");
  }
  size_ += sectionBytes;
  return true;
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
  Contents recorded;
  if (!Write(key, parent, name, keyName, &recorded, &start)) {
    return false;
  }
  if (!StillAsRecorded(key, recorded)) {
    CutBack(start);
    return Fail(keyName + " changed while it was backed up");
  }
  if (!file_.Flush()) {
    return Fail("cannot write " + keyName + " to the backup file: " + file_.Failure());
  }
  return Passed(start);
}

bool KeyBackup::Write(RegHandle key, RegHandle parent, const std::u16string& name,
                      const std::string& keyName, Contents* recorded, std::uint64_t* start,
                      bool watched) {
  // One restore would leave out, too long for the platform.
  if (Utf8ToUtf16(keyName.substr(keyName.rfind('\\') + 1)).size() > kLongestKeyNameLength) {
    return Fail(keyName + " has a name longer than restore could give back");
  }
  Contents before;
  if (!ReadContents(key, &before, true, watched)) {
    return Fail("cannot read all of " + keyName);
  }
  if (before.subkeys != 0) {
    return Fail(keyName + " changed while it was backed up");
  }
  if (!before.writableNames) {
    return Fail("a value of " + keyName + " has a name a .reg file cannot hold exactly, or one " +
                "longer than restore could give back");
  }
  const bool link =
      before.values == 1 && before.onlyLinkValue && IsOpenedLink(api_, key, parent, name, view_);
  // A key's or link's comment escapes a unit in six at most.
  const std::uint64_t bound = before.textBound + 2 * (6 * keyName.size() + 64);
  *start = size_;
  if (!WriteKey(key, keyName, link, bound, before, recorded)) {
    return false;
  }
  // What the key held when its values were first read, as written: a change since shows in its
  // time, or in the values read again.
  recorded->lastWrite = before.lastWrite;
  recorded->holdsAll = before.holdsAll;
  recorded->held = std::move(before.held);
  recorded->textBound = before.textBound;
  return true;
}

bool KeyBackup::StillAsRecorded(RegHandle key, const Contents& recorded) {
  // A small key's values are compared whole: a digest could be matched on purpose.
  Contents now;
  return ReadContents(key, &now, recorded.holdsAll) && now.subkeys == 0 &&
         now.values == recorded.values && now.digest == recorded.digest &&
         (!recorded.holdsAll || now.held == recorded.held) &&
         now.lastWrite.low == recorded.lastWrite.low &&
         now.lastWrite.high == recorded.lastWrite.high;
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
  std::uint64_t free = 0;
  std::string listName;
  if (!watches_ || !ahead_.empty() || comingNext_ == coming_.size() || !file_.FreeSpace(&free) ||
      !ListName(ModuleUsageEntry(coming_[comingNext_]).viewFlags, &listName)) {
    return;
  }
  aheadFree_ = free;
  aheadFrom_ = size_;
  // Written in order until one cannot be; the rest go the usual way when their turn comes.
  const std::size_t end = std::min(coming_.size(), comingNext_ + kAheadBatch);
  for (std::size_t index = comingNext_; index < end; ++index) {
    const CleanTarget target = ModuleUsageEntry(coming_[index]);
    const LoggedKey shown = target.Logged();
    const std::u16string name = Utf8ToUtf16(BelowRoot(target.path));
    view_ = target.viewFlags;
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
    Contents recorded;
    if (!next.key.Watched() ||
        !Write(opened, target.root, name, next.keyName, &recorded, &next.start, true)) {
      break;
    }
    next.written = true;
    ahead_.push_back(std::move(next));
  }
  aheadFree_.reset();
  if (!ahead_.empty() && !file_.Flush()) {
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

bool KeyBackup::FreeSpace(std::uint64_t bound, std::uint64_t* free) {
  // Read again before a batch would write a little more on one reading, so another's file that
  // fills the volume meanwhile is seen about as soon as before a section of its own.
  if (aheadFree_ && size_ - aheadFrom_ + bound < kRoomReadAgain) {
    const std::uint64_t written = size_ - aheadFrom_;
    *free = *aheadFree_ > written ? *aheadFree_ - written : 0;
    return true;
  }
  if (!file_.FreeSpace(free)) {
    return false;
  }
  if (aheadFree_) {
    aheadFree_ = *free;
    aheadFrom_ = size_;
  }
  return true;
}

void KeyBackup::Finish() {
  DropAhead();
}

void KeyBackup::DropAhead() {
  // The held entry's section, where it is still there, comes before those still ahead.
  const bool heldWritten = held_ && held_->written;
  if (heldWritten || !ahead_.empty()) {
    CutBack(heldWritten ? held_->start : ahead_.front().start);
  }
  if (held_) {
    held_->written = false;
  }
  ahead_.clear();
}

void KeyBackup::NotDeleted() {
  // Sections written ahead follow this key's: they go with it, and come again the usual way.
  CutBack(lastStart_);
  ahead_.clear();
  --passed_;
}

void KeyBackup::CutBack(std::uint64_t size) {
  broken_ = broken_ || !file_.CutTo(size) || !file_.Flush();
  size_ = size;
}
