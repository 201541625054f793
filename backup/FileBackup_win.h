#pragma once

#include <memory>
#include <string>

#include "backup/BackupFile.h"

// The backup file on disk, named in UTF-8: the file `path`, or with `inFolder` a new file of
// its own in the folder `path`, made with any folders missing above it. Always a new file,
// never reached through a link, in a folder nobody but the program's account and the machine's
// administrators can change.
std::unique_ptr<BackupFile> MakeFileBackup(const std::string& path, bool inFolder);
