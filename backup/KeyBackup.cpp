#include "backup/KeyBackup.h"

#include <utility>

#include "backup/RegFile.h"

KeyBackup::KeyBackup(RegistryApi& api, BackupFile& file, std::string comment)
    : api_(api), file_(file), comment_(std::move(comment)) {}

bool KeyBackup::Fail(const std::string& why) {
  failure_ = why;
  return false;
}

bool KeyBackup::Start() {
  const std::string header = Utf16LeBytes(RegFileHeader());
  std::string start;
  if (!file_.Open(header.size(), &start)) {
    return Fail("cannot open the backup file for writing");
  }
  // An earlier run's backup is added to, never replaced; anything else is left alone.
  if (!start.empty() && start != header) {
    return Fail("the backup file exists and is not a registry backup");
  }
  const std::string opening = Utf16LeBytes(
      start.empty() ? RegFileHeader() + RegFileComment(comment_) : RegFileComment(comment_));
  if (!file_.Append(opening)) {
    return Fail("cannot write the backup file");
  }
  started_ = true;
  return true;
}

bool KeyBackup::BeforeDelete(const CleanTarget& key) {
  if (!started_ && !Start()) {
    return false;
  }
  const std::string fullName = std::string(key.rootName) + key.path;
  std::u16string text;
  bool writable = true;
  const bool read = ReadTree(api_, key.root, key.path, [&](const TreeKey& treeKey) {
    writable = AppendRegFileKey(fullName, treeKey, text);
    return writable;
  });
  if (!writable) {
    return Fail("a name below " + fullName + " cannot be written to a .reg file exactly");
  }
  if (!read) {
    return Fail("cannot read all of " + fullName);
  }
  if (!file_.Append(Utf16LeBytes(text))) {
    return Fail("cannot write " + fullName + " to the backup file");
  }
  return true;
}
