#include "backup/KeyBackup.h"

#include <utility>

#include "registry/KeyTree.h"

KeyBackup::KeyBackup(RegistryApi& api, BackupFile& file, BackupOrigin origin)
    : api_(api), file_(file), origin_(std::move(origin)) {}

bool KeyBackup::Fail(const std::string& why) {
  failure_ = why;
  return false;
}

bool KeyBackup::Save(const std::string& bytes) {
  return file_.Write(bytes) && file_.Flush();
}

bool KeyBackup::Start() {
  if (!file_.Create()) {
    return Fail(file_.Failure());
  }
  if (!Save(Utf16LeBytes(RegFileHeader(origin_, file_.Name())))) {
    return Fail("cannot write the backup file: " + file_.Failure());
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
    BackupSection section;
    section.keyName = treeKey.path.empty() ? fullName : fullName + "\\" + treeKey.path;
    section.link = treeKey.link;
    section.linkTarget = treeKey.linkTarget;
    section.values = treeKey.values;
    writable = Writable(section);
    return writable && WriteSection(section, [&](const std::u16string& piece) {
             text += piece;
             return true;
           });
  });
  if (!writable) {
    return Fail("a name below " + fullName + " cannot be written to a .reg file exactly");
  }
  if (!read) {
    return Fail("cannot read all of " + fullName);
  }
  if (!Save(Utf16LeBytes(text))) {
    return Fail("cannot write " + fullName + " to the backup file: " + file_.Failure());
  }
  return true;
}
