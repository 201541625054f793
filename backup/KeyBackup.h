#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "backup/BackupFile.h"
#include "backup/BackupSections.h"
#include "backup/RegFile.h"
#include "backup/SectionBounds.h"
#include "backup/WriteAhead.h"
#include "clean/DeletionGuard.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"

// Writes each key to the backup file and has it on disk before it is deleted, deepest first,
// through the very handle its deletion goes through, so nothing is deleted that the file does not
// have, even if the process dies right after. Module-usage entries are written ahead of their
// turn (WriteAhead). A key whose section is not written (BackupSections) stays, and the run
// stops. The section of a key that stays after all is cut out of the file again, so the file has
// only keys deleted, each section whole. The sections of keys in users' hives are bounded
// (SectionBounds): a key whose section would pass its bound stays, named.
class KeyBackup : public DeletionGuard, private KeyDeletionCheck {
 public:
  // Without watches, no entry is written ahead of its turn.
  KeyBackup(RegistryReads& api, BackupFile& file, BackupOrigin origin,
            KeyWatches* watches = nullptr);

  // Deletes the tree with each key backed up just before it goes; makes the file at the first.
  GuardedDeletion DeleteTree(TRegistry& registry, const CleanTarget& key,
                             std::string* why) override;
  // The same for a counterpart in a user's hive, open as itself: backed up and deleted through that
  // handle, under the name it has while its user is logged on.
  GuardedDeletion DeleteOpenTree(RegHandle key, const CleanTarget& target,
                                 std::string* why) override;

  // Expects the deletions of the module-usage entries that name the control, in the list's
  // order: the deletion of one writes its section with those of the entries after it, a batch at
  // a time, and has them on disk at once; each is deleted later through the handle it was read
  // through, only while the watch set on it before shows no change and the platform still names
  // it where it was read.
  void EntriesListed(const TStringList& entries) override;
  void Finish() override;

  // Whether any key was let go to its deletion, its section on disk: then the file may have a
  // key deleted, even by a run that stopped inside its first target.
  bool HoldsAnyKey() const { return passed_ != 0; }

 private:
  bool BeforeDeleteKey(RegHandle key, RegHandle parent, const std::u16string& name,
                       const std::u16string& below) override;
  // The section of a key that stays after all goes from the file.
  void NotDeleted() override;
  // Whether the file is made, making it at the first call.
  bool Started();
  // The key goes, its section starting at start on disk.
  bool Passed(std::uint64_t start);
  bool Fail(const std::string& why, bool forChange = false);
  // Starts the file if need be, then runs the deletion; how it went.
  GuardedDeletion Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                          std::string* why);

  RegistryReads& api_;
  BackupSections sections_;
  WriteAhead writeAhead_;
  std::uint64_t passed_ = 0;     // the keys let go to their deletion
  std::uint64_t lastStart_ = 0;  // where the section of the key last let go begins
  std::string topName_;          // the target being deleted, "ROOT\path" as the backup shows it
  std::uint32_t view_ = 0;       // the registry view the target's keys are opened in
  SectionBounds bounds_;
  std::string failure_;
  bool failedForChange_ = false;  // the key changed while it was read: a later run may take it
};
