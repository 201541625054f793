#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "backup/BackupSource.h"
#include "console/RunLog.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"
#include "users/Profiles.h"

// What the console program runs against: the platform's pieces on Windows, stand-ins in tests.
struct ConsoleContext {
  RegistryApi& registry;
  // The backup file named on the command line, not yet made: that file, or in `inFolder` a new
  // file of its own in that folder.
  std::function<std::unique_ptr<BackupFile>(const std::string& path, bool inFolder)> backupFile;
  // The time now, in UTC.
  std::function<UtcTime()> now;
  std::ostream& out;
  std::ostream& err;
  // Opens the backup restore is to read, held unchanged while it is open; null, with why, when it
  // cannot be opened or is not in a place only the trusted could have written it.
  std::function<std::unique_ptr<BackupSource>(const std::string& path, std::string* failure)>
      openBackup;
  // What reaches the hives of the profiles whose users are not logged on; without it,
  // --all-users reaches only the hives loaded under HKEY_USERS.
  ProfileHives* profiles = nullptr;
  // What tells the backup that a key read a while ago is unchanged; without it, each key is
  // written and read again just before it goes.
  KeyWatches* watches = nullptr;
  // Where the run log goes; without it, no run writes one.
  LogPlatform* log = nullptr;
  // The computer's name, as the JSON report gives it; without it, the report gives none.
  std::function<std::string()> computer = nullptr;
  // Whether a file is at a path the registry named (ControlFilePath); without it, no file is named.
  std::function<bool(const std::string& path)> fileExists = nullptr;
};

// Runs the command line (the arguments after the program's name, UTF-8) and returns the exit
// status. Failures the run did not expect are reported with status 4, not passed on; so is
// output that could not be written, after the run ended as it would have.
int RunConsole(const std::vector<std::string>& arguments, const ConsoleContext& context);

// The program's version, as --version prints it.
const char* ConsoleVersion();
