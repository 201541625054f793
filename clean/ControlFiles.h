#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/RegistryApi.h"

// The control's files a run names as left on disk, read from the keys it finds. The registry,
// a user's hive included, may hold anything, and the run may be SYSTEM's: only a plain path on a
// local drive whose last name is the control's file name is ever named or looked for.

// The path as it may be named: text that is a path on a drive letter ("X:\..." with '/' read as
// '\', as the platform reads it), whose last name is the control's file name exactly (letters in
// either case), with no name of dots and spaces alone (which would move along the path), no ':'
// beyond the drive's (a stream), no character a file name may not hold, and no longer than the
// platform's plain paths. A network path (which would have the machine's account sign in to
// whoever serves it), a device path or a relative one is never named: nothing.
std::optional<std::string> ControlFilePath(std::string text);

// The paths the keys a run finds name, each once, letters in either case, in the order met.
class ControlFiles {
 public:
  // A target the run found: a class, before it goes, is read for its server, through `opened`
  // where the run holds it open as itself, else by its name; an entry of the module-usage list,
  // there or gone, gives its name, the path of the file whose use it counts.
  void TargetFound(RegistryReads& api, const CleanTarget& target, RegHandle opened = kNoHandle);
  // The class's server: the default value, REG_SZ or REG_EXPAND_SZ, of the InprocServer32 subkey
  // of base\classPath (the clean's form; empty for base itself), read in the view given.
  void ReadServer(RegistryReads& api, RegHandle base, const std::string& classPath,
                  std::uint32_t view);
  const std::vector<std::string>& Paths() const { return paths_; }

 private:
  void Add(const std::string& text);

  std::vector<std::string> paths_;
  std::set<std::string> folded_;
};

// How many files a run names at most; the others are only counted.
constexpr std::size_t kFilesNamed = 100;

// Of the paths, those the platform finds a file at: the first kFilesNamed named, the rest counted.
struct FilesLeft {
  std::vector<std::string> named;
  std::size_t more = 0;
};
FilesLeft FilesLeftOnDisk(const std::vector<std::string>& paths,
                          const std::function<bool(const std::string&)>& present);
