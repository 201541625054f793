#pragma once

#include <memory>
#include <string>

#include "backup/BackupFile.h"

// The backup file on disk at the path given, in UTF-8; made new, never one that exists.
std::unique_ptr<BackupFile> OpenFileBackup(const std::string& path);
