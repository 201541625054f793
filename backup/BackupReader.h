#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/BackupFormat.h"

// A backup file read back whole and checked.
struct ParsedBackup {
  // False for a file that is not a backup this program wrote, or that is malformed or cut
  // anywhere before its last section; nothing of it may then be used.
  bool valid = false;
  std::string error;                    // why it is not valid, for the user
  std::vector<BackupSection> sections;  // the complete sections, in the file's order
  // The key of a last section that was cut short (its end mark missing): that key was never
  // deleted, and nothing of its section is among the sections.
  std::optional<std::string> cutKey;
};

// Reads the bytes of a whole backup file.
ParsedBackup ReadBackup(const std::string& fileBytes);
