#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/RegFile.h"
#include "clean/CleanProcedure.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"
#include "registry/WatchedKey.h"

// Writes each key to the backup file and has it on disk before it is deleted, deepest first,
// through the very handle its deletion goes through, so nothing is deleted that the file does not
// hold, even if the process dies right after. A batch of module-usage entries announced together
// is written and put on disk at once, each entry opened, watched and only then read; each is
// deleted later through that handle, only while its watch shows no change to it and the handle
// still reaches a key. Values are read
// and written one at a time, large ones in pieces. A key that cannot be read, or written exactly,
// or that changed while it was written, or whose section the file would not take, stays, and the
// run stops; so does one whose section could leave its volume less than kVolumeReserve free, so
// no run fills a disk. The section of a key that stays is cut out of the file again, so the file
// holds only keys deleted, each section whole.

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
  // Takes the file back to the size given, and has that on disk.
  void CutBack(std::uint64_t size);
  // Takes the sections written ahead of keys still to come out of the file, the held one's too.
  void DropAhead();
  // The volume's free space before the next section, of at most bound bytes: read now, or
  // during a batch written ahead what it was when last read less what was written since.
  bool FreeSpace(std::uint64_t bound, std::uint64_t* free);
  // The platform's name of the module-usage list, in the view given, as its entries' names
  // start.
  bool ListName(std::uint32_t view, std::string* name);
  // Writes the sections of the entry, which is about to be deleted, and of the entries after it
  // in the list, unless they are written already, and has them on disk.
  void WriteAhead(const CleanTarget& entry);
  // Whether the file is made, making it at the first call.
  bool Started();

  // What the key holds, as far as a change to it shows: its counts and a digest of its values.
  struct Contents {
    std::uint32_t subkeys = 0;
    std::uint32_t values = 0;
    FileTime lastWrite;
    std::uint64_t digest = 0;
    bool writableNames = true;
    bool onlyLinkValue = false;
    std::uint64_t textBound = 0;  // no section of these values takes more bytes
    // The values as read, kept while their text stays small.
    bool holdsAll = false;
    std::vector<RegValue> held;
  };
  // The text a key's values may take and still be kept from the first look to the writing.
  static constexpr std::uint64_t kHeldText = 1 << 20;
  // The bytes of a section gathered before they go to the file.
  static constexpr std::size_t kWriteBatch = 1 << 16;

  // Writes the section of the key, opened as itself as parent\name, from its end *start, and
  // has *recorded hold what it held; false keeps the key, with nothing of it left in the file.
  // A watched key is read as ReadContents reads one.
  bool Write(RegHandle key, RegHandle parent, const std::u16string& name,
             const std::string& keyName, Contents* recorded, std::uint64_t* start,
             bool watched = false);
  // Whether the key holds, read again now, what its section recorded, with no subkey.
  bool StillAsRecorded(RegHandle key, const Contents& recorded);
  // The key goes, its section starting at start on disk.
  bool Passed(std::uint64_t start);
  bool Fail(const std::string& why);
  // Starts the file if need be, then runs the deletion; how it went.
  GuardedDeletion Guarded(const CleanTarget& target, const std::function<bool()>& deletion,
                          std::string* why);
  // Makes the file and writes its heading.
  bool Start();
  // Reads the key's values one at a time, keeping them where asked and small enough; false when
  // they cannot all be read. A key watched since before takes the figures it tells first for
  // its own, so no read past its last value is asked for.
  bool ReadContents(RegHandle key, Contents* contents, bool hold = false, bool watched = false);
  // Writes the key's section, no larger than the bound, for the caller to have on disk; what was
  // written is told in *written. A section it could not finish is cut out again.
  bool WriteKey(RegHandle key, const std::string& keyName, bool link, std::uint64_t bound,
                const Contents& before, Contents* written);

  RegistryReads& api_;
  BackupFile& file_;
  BackupOrigin origin_;
  bool started_ = false;
  std::uint64_t size_ = 0;       // the file's bytes up to the end of its last whole section
  bool broken_ = false;          // a section could not be cut out again: the file takes no more
  std::uint64_t passed_ = 0;     // the keys let go to their deletion
  std::uint64_t lastStart_ = 0;  // where the section of the key last let go begins
  std::string startFailure_;     // why the file could not be made
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
  // While a batch is written ahead: the volume's free space when last read, and the file's size
  // then; read again before the batch would have written kRoomReadAgain bytes on it.
  std::optional<std::uint64_t> aheadFree_;
  std::uint64_t aheadFrom_ = 0;
  static constexpr std::uint64_t kRoomReadAgain = 1 << 16;
  // The entries of the list that name the control, and the first not yet deleted.
  std::vector<std::string> coming_;
  std::size_t comingNext_ = 0;
  // The entries written ahead together.
  static constexpr std::size_t kAheadBatch = 100;
  std::string topName_;     // the target being deleted, "ROOT\path" as the backup shows it
  std::uint32_t view_ = 0;  // the registry view the target's keys are opened in
  std::string failure_;
};
