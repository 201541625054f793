#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupSections.h"
#include "clean/CleanTargets.h"
#include "registry/CheckedDeletion.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"
#include "registry/TStringList.h"
#include "registry/WatchedKey.h"

// Writes the sections of the module-usage entries that name the control ahead of their turn, a
// batch at a time, and has each batch on disk with one flush. Each entry is opened as its
// deletion opens it, watched, and only then read, so a change after the reading shows without a
// second one. It is deleted later through that very handle, only while its watch is unmarked and
// the platform still names the key where it was read. The sections of entries not deleted that
// way leave the file, and those entries go the usual way.
class WriteAhead {
 public:
  // Without watches, no entry is written ahead.
  WriteAhead(RegistryReads& api, BackupSections& sections, KeyWatches* watches);

  // Expects the deletions of the list's entries that name the control, in the list's order; the
  // sections written ahead before leave the file.
  void Expect(const TStringList& entries);
  // Writes the sections of the entry, which is about to be deleted, and of the entries after it,
  // unless some are written ahead already, and has them on disk. From the first that cannot be
  // written on, the entries go the usual way.
  void WriteFrom(const CleanTarget& entry);
  // Deletes the entry, keyName as the backup names it, with the check told of it, when it is the
  // next written ahead: through the handle it was read through, *deleted telling how that went.
  // False, with nothing done, when it is not.
  bool Delete(const CleanTarget& entry, const std::string& keyName, KeyDeletionCheck& check,
              bool* deleted);

  // What the section of a key about to be deleted is.
  enum class Section {
    kNotAhead,   // none written ahead: the key is not the entry being deleted, or it left the file
    kAsWritten,  // the key is unchanged since: its section, from *start, goes with its deletion
    kChanged,    // the key changed or moved since: all sections written ahead left the file
  };
  // For a key the check is told of: whether it is the entry written ahead being deleted, and
  // unchanged since its section was written.
  Section SectionOf(RegHandle key, std::uint64_t* start);
  // Takes the sections written ahead of entries still to come out of the file, that of the entry
  // being deleted too; those entries go the usual way.
  void Drop();
  // The file was cut back to before the sections written ahead of entries still to come: those
  // entries go the usual way.
  void Forget();

 private:
  // An entry whose section is on disk ahead of its deletion: where the section begins, whether
  // it is still there, and the handle it was read through, watched since before that reading.
  struct Entry {
    std::string keyName;
    std::string platformName;  // as the platform names it while it stands where it was read
    std::uint64_t start = 0;
    bool written = false;
    WatchedKey key;
  };
  // The entries written ahead together.
  static constexpr std::size_t kBatch = 100;

  // Writes the entry's section ahead, the list named by the platform as given; false when it
  // could not be, which ends the batch.
  bool WriteEntry(const std::string& entryName, const std::string& listName);
  // The platform's name of the module-usage list, in the view given, as its entries' names
  // start.
  bool ListName(std::uint32_t view, std::string* name);

  RegistryReads& api_;
  BackupSections& sections_;
  KeyWatches* watches_;
  std::deque<Entry> ahead_;
  // The entry written ahead whose deletion runs now, through its handle.
  std::optional<Entry> deleting_;
  // The entries of the list that name the control, and the first not yet deleted.
  std::vector<std::string> coming_;
  std::size_t comingNext_ = 0;
};
