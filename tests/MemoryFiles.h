#pragma once

#include <map>
#include <string>

// Whole files by name, read as the console program reads one; a name not among them cannot be
// opened.
class MemoryFiles {
 public:
  bool Read(const std::string& path, std::string* bytes, std::string* failure) const {
    const auto found = files.find(path);
    if (found == files.end()) {
      *failure = "cannot be opened for reading (error 2)";
      return false;
    }
    *bytes = found->second;
    return true;
  }

  std::map<std::string, std::string> files;
};
