#pragma once

#include <memory>
#include <string>

#include "backup/BackupFile.h"

// The backup file on disk, its name in UTF-8; every append goes to the end and to the disk.
std::unique_ptr<BackupFile> OpenFileBackup(const std::string& path);
