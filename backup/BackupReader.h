#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// One key's section of a backup, exactly as it was written before the key was deleted.
struct BackupSection {
  std::string keyName;  // "ROOT\path" in UTF-8, the root spelled in full (HKEY_CLASSES_ROOT, ...)
  bool link = false;    // a registry link, deleted as the link
  std::string linkTarget;        // for a link: its target as the platform names it, UTF-8
  std::vector<RegValue> values;  // every value with its exact bytes, in the order written
};

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
