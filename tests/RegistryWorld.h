#pragma once

#include <memory>
#include <string>

#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"

// A registry the contract suite runs against, with a scratch key below HKEY_CURRENT_USER that
// is empty at the start of every case. Paths given here are relative to the scratch key.
class RegistryWorld {
 public:
  static constexpr const char* kScratch = "Software\\TessalineCleanerContract";

  virtual ~RegistryWorld() = default;
  virtual RegistryApi& Api() = 0;
  virtual KeyWatches& Watches() = 0;
  virtual void Create(const std::string& path) = 0;
  // Whether the key itself exists; a link is not followed.
  virtual bool Exists(const std::string& path) = 0;
  // The key can be read, but an open for full access or a delete is refused.
  virtual void MakeReadOnly(const std::string& path) = 0;
  // Every open of the key is refused.
  virtual void DenyAll(const std::string& path) = 0;
  // Creates path as a symbolic link to target, which need not exist.
  virtual void CreateLink(const std::string& path, const std::string& target) = 0;
  // Sets a value with exact bytes, creating the key where missing.
  virtual void SetValue(const std::string& path, const RegValue& value) = 0;
};
