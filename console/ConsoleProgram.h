#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "backup/BackupFile.h"
#include "registry/RegistryApi.h"

// What the console program runs against: the platform's pieces on Windows, stand-ins in tests.
struct ConsoleContext {
  RegistryApi& registry;
  // The backup file at the path given on the command line, not yet opened.
  std::function<std::unique_ptr<BackupFile>(const std::string& path)> backupFile;
  // The local time as the backup's comment tells it.
  std::function<std::string()> now;
  std::ostream& out;
  std::ostream& err;
  // Reads the whole file for restore; false, with why, when it cannot.
  std::function<bool(const std::string& path, std::string* bytes, std::string* failure)> readFile;
};

// Runs the command line (the arguments after the program's name, UTF-8) and returns the exit
// status. Failures the run did not expect are reported with status 4, not passed on.
int RunConsole(const std::vector<std::string>& arguments, const ConsoleContext& context);

// The program's version, as --version prints it.
const char* ConsoleVersion();
