#pragma once

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BackupReader.h"
#include "backup/BackupSource.h"
#include "backup/RegFile.h"
#include "common/FailWith.h"

// A backup file's bytes in memory, read as restore reads a file.
class MemorySource : public BackupSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}

  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::size_t* read,
              std::string*) override {
    ++reads;
    const std::size_t from =
        static_cast<std::size_t>(std::min<std::uint64_t>(offset, bytes_.size()));
    *read = std::min(size, bytes_.size() - from);
    std::memcpy(buffer, bytes_.data() + from, *read);
    return true;
  }
  std::size_t reads = 0;

 private:
  std::string bytes_;
};

// Whole files by name, opened as the console program opens a backup to restore; a name not among
// them cannot be opened.
class MemoryFiles {
 public:
  std::unique_ptr<BackupSource> Open(const std::string& path, std::string* failure) const {
    const auto found = files.find(path);
    if (found == files.end()) {
      *failure = "cannot be opened for reading (error 2)";
      return nullptr;
    }
    return std::make_unique<MemorySource>(found->second);
  }

  std::map<std::string, std::string> files;
};

// A backup read back whole: every section the reader told of from its start to its end.
struct ParsedBackup {
  bool valid = false;
  std::string error;
  std::vector<BackupSection> sections;
  std::optional<std::string> cutKey;
};

inline ParsedBackup ReadWhole(const std::string& bytes) {
  class Collector : public SectionVisitor {
   public:
    void Begin(const BackupSection& head) override { current = head; }
    void Value(RegValue value) override { current.values.push_back(std::move(value)); }
    void End() override { sections.push_back(current); }

    BackupSection current;
    std::vector<BackupSection> sections;
  };
  MemorySource source(bytes);
  Collector collector;
  const BackupReading reading = ReadBackup(source, collector);
  ParsedBackup parsed;
  parsed.valid = reading.valid;
  parsed.error = reading.error;
  if (reading.valid) {
    parsed.sections = std::move(collector.sections);
    parsed.cutKey = reading.cutKey;
  }
  return parsed;
}

// The bytes of a backup of these sections as the writer writes it: the heading, then each
// section with its end mark.
inline std::string BackupFileOf(const std::vector<BackupSection>& sections) {
  std::u16string text = RegFileHeader({"1.0.0", "2026-12-09 03:00:00"}, "C:\\b.reg");
  for (const BackupSection& section : sections) {
    WriteSection(section, [&](const std::u16string& piece) {
      text += piece;
      return true;
    });
  }
  return Utf16LeBytes(text);
}

// A backup file that exists once made; only what was flushed counts as on disk.
class MemoryBackupFile : public BackupFile {
 public:
  std::string Name() const override { return made ? "C:\\work\\" + path : std::string(); }
  bool Create(std::string* why) override {
    if (made || exists) {
      return FailWith(why, path + " exists already");
    }
    made = true;
    return true;
  }
  bool Write(const std::string& more, std::string* why) override {
    if (failWrite) {
      return FailWith(why, "the disk is full");
    }
    written += more;
    return true;
  }
  bool CutTo(std::uint64_t size, std::string* why) override {
    if (failCut) {
      return FailWith(why, "the file cannot be cut");
    }
    written.resize(std::min<std::uint64_t>(size, written.size()));
    return true;
  }
  bool Flush(std::string*) override {
    ++flushes;
    bytes = written;
    return true;
  }
  bool FreeSpace(std::uint64_t* free, std::string*) override {
    *free = freeSpace - std::min<std::uint64_t>(freeSpace, written.size());
    return true;
  }
  bool Discard(std::string*) override {
    made = false;
    discarded = true;
    written.clear();
    bytes.clear();
    return true;
  }
  std::string path = "b.reg";
  std::string written;
  std::string bytes;                     // what was flushed
  std::uint64_t freeSpace = 1ull << 40;  // the volume's, before anything was written
  bool made = false;
  bool exists = false;
  bool failWrite = false;
  bool failCut = false;
  std::size_t flushes = 0;
  bool discarded = false;
};
