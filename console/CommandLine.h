#pragma once

#include <string>
#include <vector>

// What the command line asks for.
struct Command {
  enum class Verb { kCheck, kClean, kRestore, kHelp, kVersion };
  Verb verb = Verb::kHelp;
  bool allUsers = false;
  bool withTemplate = false;  // --include-default-profile: clean the new users' template too
  bool json = false;
  std::string backupPath;       // empty without --backup or --backup-dir
  bool backupInFolder = false;  // --backup-dir: a new file of its own in the folder backupPath
  std::string restorePath;      // restore's FILE
  bool log = false;             // the run writes its log: clean and restore unless --no-log
  std::string logPath;          // --log FILE; empty for the default log
};

// The command line read, or why it cannot be.
struct ParsedCommand {
  bool valid = false;
  Command command;
  std::string error;  // for an invalid one
};

// Reads the arguments after the program's name, in UTF-8.
ParsedCommand ParseCommandLine(const std::vector<std::string>& arguments);

// The usage with the table of exit statuses, as --help prints it.
const char* UsageText();
