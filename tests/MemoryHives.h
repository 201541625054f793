#pragma once

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "registry/memory/MemoryRegistry.h"
#include "users/Profiles.h"

// The profiles' hive files in the store, loaded as the platform loads them. What the platform's
// checks of a file find is set per file; privileges may be missing; every load and unload is
// recorded. Like the platform, it remembers what it loaded across runs until it is unloaded, so
// a run that never unloaded leaves its mount behind for the next.
class MemoryHives : public ProfileHives {
 public:
  explicit MemoryHives(MemoryRegistry& store) : store_(store) {}

  static std::string PathOf(const HiveFile& file) { return file.folder + "\\" + file.relative; }

  std::string Expand(const std::string& value) override {
    std::string expanded = value;
    const std::string variable = "%SystemDrive%";
    const std::size_t at = expanded.find(variable);
    if (at != std::string::npos) {
      expanded.replace(at, variable.size(), "C:");
    }
    return expanded;
  }

  std::vector<std::string> Sweep() override {
    std::vector<std::string> swept;
    for (const std::string& as : std::set<std::string>(mounted_)) {
      std::string why;
      if (Unload(as, &why)) {
        swept.push_back(as);
      }
    }
    return swept;
  }

  // A new private name, its unpredictable part drawn from the test machine's random source, as
  // the platform's is: a test knows a mount only by the name it was given, kept in `named`.
  std::string NewMountName(const std::string& profile, HiveKind kind) override {
    std::random_device source;
    std::string part;
    while (part.size() < kUnpredictableDigits) {
      part += "0123456789abcdef"[source() % 16];
    }
    named.push_back(PrivateHiveName(profile, kind, part));
    return named.back();
  }

  HiveLoading Load(const HiveFile& file, bool copy, const std::string& as,
                   std::string* why) override {
    const std::string path = PathOf(file);
    events.push_back((copy ? "load a copy of " : "load ") + path + " as " + as);
    if (!HasUnpredictablePart(as)) {
      *why = "HKEY_USERS\\" + as + " is no name of this program's to load a hive as";
      return HiveLoading::kRefused;
    }
    if (!privileges) {
      *why = "the privileges to load a hive are not held";
      return HiveLoading::kRefused;
    }
    const auto unsafeFile = unsafe.find(path);
    if (unsafeFile != unsafe.end()) {
      *why = unsafeFile->second;
      return HiveLoading::kRefused;
    }
    // Loading a file that is not there would make it.
    if (!store_.HiveFileExists(path)) {
      return HiveLoading::kMissing;
    }
    std::string loaded = path;
    if (copy) {
      loaded = "copy of " + path;
      store_.CopyHiveFile(path, loaded);
    }
    const RegStatus status = store_.LoadHive(as, loaded);
    if (status != kErrorSuccess) {
      *why = "error " + std::to_string(status);
      return status == kErrorSharingViolation ? HiveLoading::kInUse : HiveLoading::kRefused;
    }
    mounted_.insert(as);
    copies_[as] = copy ? loaded : std::string();
    mostAtOnce = std::max(mostAtOnce, store_.LoadedHives().size());
    return HiveLoading::kLoaded;
  }

  bool Unload(const std::string& as, std::string* why) override {
    events.push_back("unload " + as);
    if (mounted_.count(as) == 0) {
      *why = "not loaded by this program";
      return false;
    }
    const RegStatus status =
        unloadRefusals > 0 ? (--unloadRefusals, kErrorAccessDenied) : store_.UnloadHive(as);
    if (status != kErrorSuccess) {
      *why = "error " + std::to_string(status);
      return false;
    }
    mounted_.erase(as);
    if (!copies_[as].empty()) {
      store_.RemoveHiveFile(copies_[as]);
    }
    return true;
  }

  // Why the platform's checks refuse a file, by its path.
  std::map<std::string, std::string> unsafe;
  bool privileges = true;
  int unloadRefusals = 0;  // unloads refused, whatever the handles, before they go as they would
  std::vector<std::string> events;
  std::vector<std::string> named;  // each name NewMountName gave, in order
  std::size_t mostAtOnce = 0;      // the most hives loaded at one time

 private:
  MemoryRegistry& store_;
  std::set<std::string> mounted_;
  std::map<std::string, std::string> copies_;  // the copy each name was loaded from, if any
};
