#pragma once

#include <memory>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "users/HiveMounts.h"

// What loading hives takes of Windows: the files checked and held through their handles, the
// privileges enabled for each load and unload alone, and the runs of this program by their
// processes.
class WindowsHivePlatform : public HivePlatform {
 public:
  std::string Expand(const std::string& value) override;
  // From RtlGenRandom, the platform's cryptographic random source.
  std::string Unpredictable() override;
  bool MayLoadHives() override;
  std::string NewCopyPlace(const HiveFile& file) override;
  std::unique_ptr<HeldHive> Hold(const HiveFile& file, const std::string& copyPlace,
                                 HiveLoading* loading, std::string* why) override;
  RegStatus LoadHive(const std::string& as, const std::string& file) override;
  RegStatus UnloadHive(const std::string& as) override;
  void RemoveCopyLeft(const std::string& file) override;
  void Pause() override;
  // The process's id and the time it started: an id alone may be another process's by now.
  std::string RunName() override;
  bool RunGoing(const std::string& run) override;
};
