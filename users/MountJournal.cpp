#include "users/MountJournal.h"

#include "registry/AsciiCase.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyHandle.h"
#include "registry/Utf16.h"

namespace {

constexpr const char16_t* kProgramKey = u"SOFTWARE\\TessalineClean";
constexpr const char16_t* kMountsKey = u"SOFTWARE\\TessalineClean\\Mounts";
constexpr const char16_t* kFileValue = u"File";
constexpr const char16_t* kRunValue = u"Run";

// SOFTWARE of a 32-bit program would be the 32-bit view's; every run, whatever its build, shares
// the one record.
constexpr std::uint32_t kView = kKeyWow64_64Key;

std::u16string EntryKey(const std::string& name) {
  return std::u16string(kMountsKey) + u"\\" + Utf8ToUtf16(name);
}

RegValue TextValue(const char16_t* name, const std::string& text) {
  return {name, kRegSz, LeBytesFromUtf16(Utf8ToUtf16(text) + u'\0')};
}

std::string Text(const RegValue& value) {
  std::u16string text = Utf16FromLeBytes(value.data);
  while (!text.empty() && text.back() == 0) {
    text.pop_back();
  }
  return Utf16ToUtf8(text);
}

}  // namespace

RegStatus MountJournal::Record(const Entry& entry) {
  RegHandle made = kNoHandle;
  bool created = false;
  RegStatus status = api_.CreateKey(kHkeyLocalMachine, EntryKey(entry.name), kRegOptionVolatile,
                                    kKeyWrite | kView, &made, &created);
  if (status != kErrorSuccess) {
    return status;
  }
  const KeyHandle key(api_, made);
  if (!created) {
    // Another run's record, which its run may still need.
    return kErrorAlreadyExists;
  }
  status = api_.SetValue(key.get(), TextValue(kFileValue, entry.file));
  return status != kErrorSuccess ? status
                                 : api_.SetValue(key.get(), TextValue(kRunValue, entry.run));
}

void MountJournal::Drop(const std::string& name) {
  RegHandle opened = kNoHandle;
  if (api_.OpenKeyW(kHkeyLocalMachine, EntryKey(name), 0, kDelete | kView, &opened) ==
      kErrorSuccess) {
    const KeyHandle key(api_, opened);
    api_.DeleteOpenKey(key.get());
  }
  DropEmptyKeys();
}

void MountJournal::DropEmptyKeys() {
  DeleteKeyIfEmpty(api_, kHkeyLocalMachine, kMountsKey, kView);
  DeleteKeyIfEmpty(api_, kHkeyLocalMachine, kProgramKey, kView);
}

std::vector<MountJournal::Entry> MountJournal::Entries() {
  std::vector<Entry> entries;
  RegHandle opened = kNoHandle;
  if (api_.OpenKeyW(kHkeyLocalMachine, kMountsKey, 0, kKeyRead | kView, &opened) != kErrorSuccess) {
    return entries;
  }
  const KeyHandle mounts(api_, opened);
  std::u16string name;
  for (std::uint32_t index = 0; api_.EnumKeyW(mounts.get(), index, &name) == kErrorSuccess;
       ++index) {
    Entry entry;
    entry.name = Utf16ToUtf8(name);
    RegHandle entryOpened = kNoHandle;
    if (api_.OpenKeyW(mounts.get(), name, 0, kKeyRead | kView, &entryOpened) == kErrorSuccess) {
      const KeyHandle key(api_, entryOpened);
      RegValue value;
      for (std::uint32_t at = 0; api_.EnumValue(key.get(), at, &value) == kErrorSuccess; ++at) {
        if (SameIgnoringAsciiCase(value.name, kFileValue)) {
          entry.file = Text(value);
        } else if (SameIgnoringAsciiCase(value.name, kRunValue)) {
          entry.run = Text(value);
        }
      }
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}
