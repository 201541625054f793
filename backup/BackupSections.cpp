#include "backup/BackupSections.h"

#include <utility>

#include "common/VolumeReserve.h"
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

}  // namespace

BackupSections::BackupSections(RegistryReads& api, BackupFile& file, BackupOrigin origin)
    : api_(api), file_(file), origin_(std::move(origin)) {}

bool BackupSections::Fail(const std::string& why) {
  failure_ = why;
  changed_ = false;
  return false;
}

bool BackupSections::Changed(const std::string& keyName) {
  Fail(keyName + " changed while it was backed up");
  changed_ = true;
  return false;
}

bool BackupSections::Start() {
  std::string why;
  if (!file_.Create(&why)) {
    return Fail(why);
  }
  const std::string header = Utf16LeBytes(RegFileHeader(origin_, file_.Name()));
  if (!file_.Write(header, &why) || !file_.Flush(&why)) {
    return Fail("cannot write the backup file: " + why);
  }
  size_ = header.size();
  return true;
}

bool BackupSections::Started() {
  // Made once: a file that could not be made is not tried again for every key.
  if (!started_ && startFailure_.empty()) {
    started_ = Start();
    startFailure_ = started_ ? std::string() : failure_;
  }
  return started_ || Fail(startFailure_);
}

bool BackupSections::WriteChecked(RegHandle key, RegHandle parent, const std::u16string& name,
                                  const std::string& keyName, std::uint32_t view,
                                  const SectionBound& bound, std::uint64_t* start) {
  Contents recorded;
  if (!Write(key, parent, name, keyName, view, bound, &recorded, start, false)) {
    return false;
  }
  if (!StillAsRecorded(key, recorded)) {
    CutBack(*start);
    return Changed(keyName);
  }
  std::string why;
  if (!file_.Flush(&why)) {
    return Fail("cannot write " + keyName + " to the backup file: " + why);
  }
  return true;
}

bool BackupSections::WriteWatched(RegHandle key, RegHandle parent, const std::u16string& name,
                                  const std::string& keyName, std::uint32_t view,
                                  std::uint64_t* start) {
  Contents recorded;
  return Write(key, parent, name, keyName, view, SectionBound(), &recorded, start, true);
}

bool BackupSections::Flush() {
  std::string why;
  return file_.Flush(&why);
}

void BackupSections::CutBack(std::uint64_t size) {
  std::string why;
  broken_ = broken_ || !file_.CutTo(size, &why) || !file_.Flush(&why);
  size_ = size;
}

bool BackupSections::StartBatch() {
  std::uint64_t free = 0;
  std::string why;
  if (!file_.FreeSpace(&free, &why)) {
    return false;
  }
  batchFree_ = free;
  batchFrom_ = size_;
  return true;
}

void BackupSections::EndBatch() {
  batchFree_.reset();
}

bool BackupSections::Write(RegHandle key, RegHandle parent, const std::u16string& name,
                           const std::string& keyName, std::uint32_t view,
                           const SectionBound& bound, Contents* recorded, std::uint64_t* start,
                           bool watched) {
  // A name a line cannot hold, as a module-usage entry's may be: any program may write one.
  if (!WritableKeyName(keyName)) {
    return Fail(keyName + " has a name a .reg file cannot hold exactly");
  }
  // One restore would leave out, too long for the platform.
  if (Utf8ToUtf16(keyName.substr(keyName.rfind('\\') + 1)).size() > kLongestKeyNameLength) {
    return Fail(keyName + " has a name longer than restore could give back");
  }
  Contents before;
  if (!ReadContents(key, &before, true, watched)) {
    return Fail("cannot read all of " + keyName);
  }
  if (before.subkeys != 0) {
    return Changed(keyName);
  }
  if (!before.writableNames) {
    return Fail("a value of " + keyName + " has a name a .reg file cannot hold exactly, or one " +
                "longer than restore could give back");
  }
  // A link opened as itself shows its target alone, or nothing when it was never given one.
  const bool link = before.valueCount == 1
                        ? before.onlyLinkValue && IsOpenedLink(api_, key, parent, name, view)
                        : before.valueCount == 0 && LeadsToNoKey(api_, parent, name, view);
  // A key's or link's comment escapes a unit in six at most. A section that could be larger than
  // the bound given is written until it passes it, as the text's size is known only then.
  const std::uint64_t most = before.textBound + 2 * (6 * keyName.size() + 64);
  const bool bounded = bound.bytes < most;
  const std::string grew = keyName + " grew while it was backed up";
  *start = size_;
  if (!WriteKey(key, keyName, link, bounded ? bound.bytes : most,
                bounded ? keyName + " " + bound.passing : grew, before, recorded)) {
    // Past what it held when first read, it changed meanwhile; past its bound, it did not.
    changed_ = !bounded && failure_ == grew;
    return false;
  }
  // What the key had when its values were first read, as written: a change since shows in its
  // time, or in the values read again.
  recorded->lastWrite = before.lastWrite;
  recorded->allValues = before.allValues;
  recorded->values = std::move(before.values);
  recorded->textBound = before.textBound;
  return true;
}

bool BackupSections::ReadContents(RegHandle key, Contents* contents, bool withValues,
                                  bool watched) {
  *contents = Contents();
  contents->digest = kDigestStart;
  contents->allValues = withValues;
  const KeyInfoOut info{&contents->subkeys,  nullptr, nullptr, nullptr, nullptr,
                        &contents->lastWrite};
  // A watched key's values are as many as it tells first: one added later marks its watch.
  std::uint32_t count = 0;
  if (watched && api_.QueryInfoKey(key, {&contents->subkeys, nullptr, &count, nullptr, nullptr,
                                         &contents->lastWrite}) != kErrorSuccess) {
    return false;
  }
  for (;; ++contents->valueCount) {
    if (watched && contents->valueCount == count) {
      return true;
    }
    RegValue value;
    const RegStatus status = api_.EnumValue(key, contents->valueCount, &value);
    if (status == kErrorNoMoreItems && !watched) {
      // Read after the values: a change to one already read moves the time on.
      return api_.QueryInfoKey(key, info) == kErrorSuccess;
    }
    if (status != kErrorSuccess) {
      return false;
    }
    // A name restore would leave out, too long for the platform, keeps the key as a name the
    // file cannot take does.
    contents->writableNames = contents->writableNames && WritableValueName(value.name) &&
                              value.name.size() <= kLongestValueNameLength;
    // A name's units escaped at most one each, four units at most a byte of hex data with its
    // wrapping, and room for the line's own signs.
    contents->textBound += 2 * (2 * value.name.size() + 4 * value.data.size() + 32);
    contents->onlyLinkValue = contents->valueCount == 0 && IsLinkValue(value);
    MixValue(&contents->digest, value);
    // A small key's values are written as read now; a large one's are read again in pieces as
    // they are written.
    contents->allValues = contents->allValues && contents->textBound <= kAllValuesText;
    if (contents->allValues) {
      contents->values.push_back(std::move(value));
    } else {
      contents->values = std::vector<RegValue>();
    }
  }
}

bool BackupSections::CanTake(const std::string& keyName, std::uint64_t bound) {
  if (broken_) {
    return Fail("the backup file could not be cut back after a section it could not finish");
  }
  std::uint64_t free = 0;
  std::string why;
  if (!FreeSpace(bound, &free, &why)) {
    return Fail("cannot tell how much room the backup's volume has: " + why);
  }
  if (free < bound + kVolumeReserve) {
    return Fail("writing " + keyName + " could leave the backup's volume less than " +
                std::to_string(kVolumeReserve >> 20) + " MB free");
  }
  return true;
}

bool BackupSections::WriteKey(RegHandle key, const std::string& keyName, bool link,
                              std::uint64_t bound, const std::string& passing,
                              const Contents& before, Contents* written) {
  if (!CanTake(keyName, bound)) {
    return false;
  }
  bool fileFailed = false;
  std::string fileFailure;
  bool grew = false;
  std::uint64_t sectionBytes = 0;
  // Pieces are gathered and go to the file kPendingBytes at a time, the last with the section's
  // end.
  std::string pending;
  const auto writePending = [&] {
    fileFailed = !file_.Write(pending, &fileFailure);
    pending.clear();
    return !fileFailed;
  };
  SectionWriter writer([&](const std::u16string& piece) {
    // A value that grew since the first look could take the volume below its reserve, and a
    // section of a user's key could pass the bound of what users may have backed up: the section
    // stops at its bound, unfinished, and the key stays.
    sectionBytes += 2 * piece.size();
    grew = sectionBytes > bound;
    pending += Utf16LeBytes(piece);
    return !grew && (pending.size() < kPendingBytes || writePending());
  });
  *written = Contents();
  written->digest = kDigestStart;
  const bool head = !link                    ? writer.Key(keyName)
                    : before.valueCount == 0 ? writer.Link(keyName, std::nullopt)
                                             : true;
  const bool ok = head && WriteValues(key, keyName, link, before, writer, written) &&
                  writer.End() && writePending();
  if (!ok) {
    // What was written of it goes, so the sections after it, of keys in other users' hives,
    // follow whole ones; a file that cannot be cut back takes no more.
    std::string why;
    broken_ = broken_ || (sectionBytes != 0 && !file_.CutTo(size_, &why));
    return Fail(grew         ? passing
                : fileFailed ? "cannot write " + keyName + " to the backup file: " + fileFailure
                             : "cannot read all of " + keyName + " exactly");
  }
  size_ += sectionBytes;
  return true;
}

bool BackupSections::WriteValues(RegHandle key, const std::string& keyName, bool link,
                                 const Contents& before, SectionWriter& writer, Contents* written) {
  // Values read whole at the first look are written as they were read then.
  const auto next = [&](RegValue* value) {
    if (!before.allValues) {
      return api_.EnumValue(key, written->valueCount, value);
    }
    if (written->valueCount == before.values.size()) {
      return kErrorNoMoreItems;
    }
    *value = before.values[written->valueCount];
    return kErrorSuccess;
  };
  bool ok = true;
  for (RegValue value; ok; value = RegValue()) {
    const RegStatus status = next(&value);
    if (status == kErrorNoMoreItems) {
      break;
    }
    std::string target;
    // A link's one value is its target; a name made unwritable since the first look ends the
    // section unfinished: the key stays, and a reader takes the section for one cut short.
    ok =
        status == kErrorSuccess &&
        (link ? before.valueCount == 1 && written->valueCount == 0 && IsLinkValue(value) &&
                    ExactUtf8(Utf16FromLeBytes(value.data), &target) && writer.Link(keyName, target)
              : WritableValueName(value.name) && writer.Value(value));
    if (ok) {
      MixValue(&written->digest, value);
      ++written->valueCount;
    }
  }
  // A link that lost its target meanwhile has had nothing written.
  return ok && (!link || written->valueCount == before.valueCount);
}

bool BackupSections::StillAsRecorded(RegHandle key, const Contents& recorded) {
  // A small key's values are compared whole: a digest could be matched on purpose.
  Contents now;
  return ReadContents(key, &now, recorded.allValues, false) && now.subkeys == 0 &&
         now.valueCount == recorded.valueCount && now.digest == recorded.digest &&
         (!recorded.allValues || now.values == recorded.values) &&
         now.lastWrite.low == recorded.lastWrite.low &&
         now.lastWrite.high == recorded.lastWrite.high;
}

bool BackupSections::FreeSpace(std::uint64_t bound, std::uint64_t* free, std::string* why) {
  // Read again before a batch would write a little more on one reading, so another's file that
  // fills the volume meanwhile is seen about as soon as before a section of its own.
  if (batchFree_ && size_ - batchFrom_ + bound < kRoomReadAgain) {
    const std::uint64_t written = size_ - batchFrom_;
    *free = *batchFree_ > written ? *batchFree_ - written : 0;
    return true;
  }
  if (!file_.FreeSpace(free, why)) {
    return false;
  }
  if (batchFree_) {
    batchFree_ = *free;
    batchFrom_ = size_;
  }
  return true;
}
