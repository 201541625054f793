#pragma once

#include <string>

// Reads the whole file at the UTF-8 path; false, with why, when it cannot be read or is larger
// than any backup this program can restore.
bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* failure);
