#pragma once

#include <memory>
#include <string>
#include <vector>

#include "clean/HiveMounts.h"
#include "clean/Profiles.h"
#include "registry/RegistryApi.h"

// What loading hives takes of Windows: the files checked and held through their handles, the
// privileges enabled for each load and unload alone, and the runs of this program by their
// processes.
class WindowsHivePlatform : public HivePlatform {
 public:
  bool MayLoadHives() override;
  std::unique_ptr<HeldHive> Hold(const HiveFile& file, bool copy, HiveLoading* loading,
                                 std::string* why) override;
  RegStatus LoadHive(const std::string& as, const std::string& file) override;
  RegStatus UnloadHive(const std::string& as) override;
  void RemoveCopyLeft(const std::string& file) override;
  void Pause() override;
  // The process's id and the time it started: an id alone may be another process's by now.
  std::string RunName() override;
  bool RunGoing(const std::string& run) override;
};

// The hives of the profiles whose users are not logged on, reached through the platform's
// registry.
class WindowsProfileHives : public ProfileHives {
 public:
  explicit WindowsProfileHives(RegistryApi& registry) : mounts_(registry, platform_) {}

  std::string Expand(const std::string& value) override;
  std::vector<std::string> SweepLeftovers() override { return mounts_.SweepLeftovers(); }
  HiveLoading Load(const HiveFile& file, bool copy, const std::string& as,
                   std::string* why) override {
    return mounts_.Load(file, copy, as, why);
  }
  bool Unload(const std::string& as, std::string* why) override { return mounts_.Unload(as, why); }

 private:
  WindowsHivePlatform platform_;
  HiveMounts mounts_;
};
