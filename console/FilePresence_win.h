#pragma once

#include <string>

// Whether a file, not a folder, is at the path (UTF-8, "X:\..." as ControlFilePath passes it) on
// a fixed disk, reached through no link or junction; false on any failure. Only attributes are
// asked: nothing is opened, and a share is never reached.
bool FilePresent(const std::string& path);
