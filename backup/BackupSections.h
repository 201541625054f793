#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/RegFile.h"
#include "backup/SectionBounds.h"
#include "registry/RegistryApi.h"

// Writes keys' sections to the backup file, one after another, each whole or not at all. Values
// are read and written one at a time, large ones in pieces. A key that cannot be read, or written
// exactly, or that changed while it was written, or whose section the file would not take, is
// not written; nor is one whose section could leave its volume less than kVolumeReserve free, so
// no run fills a disk, or would pass the bound it is given. What was written of such a section is
// cut out of the file again, so the sections before it are followed by whole ones only.
class BackupSections {
 public:
  BackupSections(RegistryReads& api, BackupFile& file, BackupOrigin origin);

  // Whether the file is made, with its heading, making it at the first call; a file that could
  // not be made is not tried again. False tells why in Failure().
  bool Started();
  // Writes the section of the key, opened as itself as parent\name in the registry view given,
  // from the file's end, *start, no larger than the bound, reads the key again and has the
  // section on disk once the key is seen unchanged, with no subkey. False leaves nothing of it in
  // the file, Failure() telling why.
  bool WriteChecked(RegHandle key, RegHandle parent, const std::u16string& name,
                    const std::string& keyName, std::uint32_t view, const SectionBound& bound,
                    std::uint64_t* start);
  // The same for a key watched since before it is read, for Flush to have on disk: it is read
  // once, as many values as it tells first, as a change after that marks its watch.
  bool WriteWatched(RegHandle key, RegHandle parent, const std::u16string& name,
                    const std::string& keyName, std::uint32_t view, std::uint64_t* start);
  // Has what was written so far on disk; false when the file could not.
  bool Flush();
  // Takes the file back to the size given, and has that on disk; a file that cannot be cut back
  // takes no more sections.
  void CutBack(std::uint64_t size);

  // Sections written from now until EndBatch count down the volume's free space read now, and
  // read it again only before the batch would have written kRoomReadAgain bytes on one reading.
  // False, with nothing changed, when the free space cannot be read.
  bool StartBatch();
  // Each section reads the volume's free space again.
  void EndBatch();

  // The file's bytes up to the end of its last whole section.
  std::uint64_t Size() const { return size_; }
  // Why the last call that failed did.
  const std::string& Failure() const { return failure_; }
  // Whether it failed because the key changed while it was read: a later run may find it still.
  bool FailedForChange() const { return changed_; }

 private:
  // What a key has, as far as a change to it shows: its counts and a digest of its values.
  struct Contents {
    std::uint32_t subkeys = 0;
    std::uint32_t valueCount = 0;
    FileTime lastWrite;
    std::uint64_t digest = 0;
    bool writableNames = true;
    bool onlyLinkValue = false;
    std::uint64_t textBound = 0;  // no section of these values takes more bytes
    // Whether values has them all, as read, while their text stays small.
    bool allValues = false;
    std::vector<RegValue> values;
  };
  // The most text a key's values may take to be read once, at the first look, and written as
  // read then.
  static constexpr std::uint64_t kAllValuesText = 1 << 20;
  // The bytes of a section gathered before they go to the file.
  static constexpr std::size_t kPendingBytes = 1 << 16;
  // A batch reads the volume's free space again before it would write this much on one reading.
  static constexpr std::uint64_t kRoomReadAgain = 1 << 16;

  bool Fail(const std::string& why);
  bool Changed(const std::string& keyName);
  // Makes the file and writes its heading.
  bool Start();
  // Writes the section of the key from its end *start, no larger than the bound, *recorded
  // telling what the key had when it was first read; false keeps the key, with nothing of it left
  // in the file. A watched key is read as ReadContents reads one.
  bool Write(RegHandle key, RegHandle parent, const std::u16string& name,
             const std::string& keyName, std::uint32_t view, const SectionBound& bound,
             Contents* recorded, std::uint64_t* start, bool watched);
  // Reads the key's values one at a time, with them all where asked and small enough; false when
  // they cannot all be read. A key watched since before takes the figures it tells first for
  // its own, so no read past its last value is asked for.
  bool ReadContents(RegHandle key, Contents* contents, bool withValues, bool watched);
  // Whether the file can take a section of at most bound bytes: no section it could not finish
  // stayed in it, and its volume has its reserve free after this one.
  bool CanTake(const std::string& keyName, std::uint64_t bound);
  // Writes the key's section, no larger than the bound, for the caller to have on disk; what was
  // written is told in *written. A section it could not finish is cut out again, one that would
  // pass the bound failing as `passing` says.
  bool WriteKey(RegHandle key, const std::string& keyName, bool link, std::uint64_t bound,
                const std::string& passing, const Contents& before, Contents* written);
  // Writes the key's values, or a link's target, as before says: those it has, read as they are
  // written, or those read whole then; *written counts and digests them. False when one could
  // not be read or written.
  bool WriteValues(RegHandle key, const std::string& keyName, bool link, const Contents& before,
                   SectionWriter& writer, Contents* written);
  // Whether the key has, read again now, what its section recorded, with no subkey.
  bool StillAsRecorded(RegHandle key, const Contents& recorded);
  // The volume's free space before the next section, of at most bound bytes: read now, or
  // during a batch what it was when last read less what was written since.
  bool FreeSpace(std::uint64_t bound, std::uint64_t* free, std::string* why);

  RegistryReads& api_;
  BackupFile& file_;
  BackupOrigin origin_;
  bool started_ = false;
  std::string startFailure_;  // why the file could not be made
  std::uint64_t size_ = 0;    // the file's bytes up to the end of its last whole section
  bool broken_ = false;       // a section could not be cut out again: the file takes no more
  // During a batch: the volume's free space when last read, and the file's size then.
  std::optional<std::uint64_t> batchFree_;
  std::uint64_t batchFrom_ = 0;
  std::string failure_;
  bool changed_ = false;
};
