#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "backup/BackupName.h"
#include "console/CmTrace.h"
#include "console/Report.h"

// The run log's file, open where only the trusted may change it, never reached through a link.
class LogFile {
 public:
  virtual ~LogFile() = default;
  virtual std::string Name() const = 0;  // in full
  virtual std::uint64_t Size() const = 0;
  // Each call that fails returns false with why.
  // Adds the bytes at the end.
  virtual bool Append(const std::string& bytes, std::string* why) = 0;
  // Renames the file to its RolledOverName, replacing an older one there, never through a link,
  // and begins a new, empty one in its place.
  virtual bool RollOver(std::string* why) = 0;
};

// Who runs the program where, as the log's header names them, and the thread its records name.
struct Runner {
  std::string computer;
  std::string account;
  std::uint32_t thread = 0;
};

// What the run log needs of the platform.
class LogPlatform {
 public:
  virtual ~LogPlatform() = default;
  // Opens the log `path` (UTF-8) to append to, or with an empty path the default log of the
  // account the program runs as; null, with why, where it may not be written.
  virtual std::unique_ptr<LogFile> Open(const std::string& path, std::string* why) = 0;
  virtual UtcTime Now() = 0;
  virtual Runner Who() = 0;
};

// The run's record in its log: a header, a line a key as each goes, and at the end the users'
// notes, the backup file, the message and the exit status. A log that cannot be written is said
// once on standard error and the run goes on without it: the log never changes what a run does
// nor its exit status.
class RunLog {
 public:
  // Opens the log `path` (empty: the default one); without a platform, the run writes none.
  RunLog(LogPlatform* platform, const std::string& path, std::ostream& err);
  // The program and its version, the computer, the account, the start time and the command line.
  void Header(const std::string& program, const std::vector<std::string>& arguments);
  // `what` ("Deleted", "Found", "Restored") and the key's full name.
  void Key(const char* what, const ShownKey& key);
  void Line(LogType type, const std::string& text);
  // All the report tells beyond its keys, and the exit status.
  void Ending(const Report& report, int status);

 private:
  void Fail(const std::string& why);

  LogPlatform* platform_;
  std::ostream& err_;
  std::unique_ptr<LogFile> file_;
  std::uint32_t thread_ = 0;
};
