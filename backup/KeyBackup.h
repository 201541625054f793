#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BackupSections.h"
#include "backup/RegFile.h"
#include "clean/DeletionGuard.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"
#include "registry/WatchedKey.h"

// Writes each key to the backup file and has it on disk before it is deleted, deepest first,
// through the very handle its deletion goes through, so nothing is deleted that the file does not
// have, even if the process dies right after. A batch of module-usage entries announced together
// is written and put on disk at once, each entry opened, watched and only then read; each is
// deleted later through that handle, only while its watch shows no change to it and the platform
// still names it where it was read. A key whose section is not written (BackupSections) stays,
// and the run stops. The section of a key that stays after all is cut out of the file again, so
// the file has only keys deleted, each section whole.
class KeyBackup : public DeletionGuard, private KeyDeletionCheck {
 public:
  // Without watches, no entry is written ahead of its turn.
  KeyBackup(RegistryReads& api, BackupFile& file, BackupOrigin origin,
            KeyWatches* watches = nullptr);

  // Deletes the tree with each key backed up just before it goes; makes the file at the first.
  GuardedDeletion DeleteTree(TRegistry& registry, const CleanTarget& key,
                             std::string* why) override;
  // The same for a copy in a user's hive, open as itself: backed up and deleted through that
  // handle, under the name it has while its user is logged on.
  GuardedDeletion DeleteOpenTree(RegHandle key, const CleanTarget& target,
                                 std::string* why) override;

  // Keeps the names of the module-usage entries that name the control, in the list's order: the
  // deletion of one writes its section with those of the entries after it, a batch at a time,
  // and has them on disk at once; each is deleted later through the handle it was read through,
  // only while the watch set on it before shows no change and the handle still reaches a key.
  void Ahead(const TStringList& entries) override;
  void Finish() override;

  // Whether any key was let go to its deletion, its section on disk: then the file may hold a
  // key deleted, even by a run that stopped inside its first target.
  bool HoldsAnyKey() const { return passed_ != 0; }

 private:
  bool BeforeDeleteKey(RegHandle key, RegHandle parent, const std::u16string& name,
                       const std::u16string& below) override;
  // The section of a key that stays after all goes from the file.
  void NotDeleted() override;
  // Takes the sections written ahead of keys still to come out of the file, the held one's too.
  void DropAhead();
  // The platform's name of the module-usage list, in the view given, as its entries' names
  // start.
  bool ListName(std::uint32_t view, std::string* name);
  // Writes the sections of the entry, which is about to be deleted, and of the entries after it
  // in the list, unless they are written already, and has them on disk.
  void WriteAhead(const CleanTarget& entry);
  // Whether the file is made, making it at the first call.
  bool Started();
  // The key goes, its section starting at start on disk.
  bool Passed(std::uint64_t start);
  bool Fail(const std::string& why);
  // Starts the file if need be, then runs the deletion; how it went.
  GuardedDeletion Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                          std::string* why);

  RegistryReads& api_;
  BackupSections sections_;
  std::uint64_t passed_ = 0;     // the keys let go to their deletion
  std::uint64_t lastStart_ = 0;  // where the section of the key last let go begins
  // A module-usage entry whose section is on disk ahead of its deletion: where the section
  // begins, whether it is still there, and the handle it was read through, watched since before
  // that reading.
  struct AheadKey {
    std::string keyName;
    std::string platformName;  // as the platform names it while it stands where it was read
    std::uint64_t start = 0;
    bool written = false;
    WatchedKey key;
  };
  std::deque<AheadKey> ahead_;
  // The entry written ahead whose deletion runs now, through its handle.
  std::optional<AheadKey> held_;
  KeyWatches* watches_;
  // The entries of the list that name the control, and the first not yet deleted.
  std::vector<std::string> coming_;
  std::size_t comingNext_ = 0;
  // The entries written ahead together.
  static constexpr std::size_t kAheadBatch = 100;
  std::string topName_;     // the target being deleted, "ROOT\path" as the backup shows it
  std::uint32_t view_ = 0;  // the registry view the target's keys are opened in
  std::string failure_;
};
