#pragma once

#include <string>
#include <vector>

#include "RegistryWorld.h"
#include "registry/KeyWatches_win.h"
#include "registry/WindowsRegistry_win.h"

// The real registry: a scratch key below HKEY_CURRENT_USER, deleted before and after each case.
class WindowsWorld : public RegistryWorld {
 public:
  WindowsWorld();
  ~WindowsWorld() override;

  RegistryApi& Api() override { return registry_; }
  KeyWatches& Watches() override { return watches_; }
  void Create(const std::string& path) override;
  bool Exists(const std::string& path) override;
  void MakeReadOnly(const std::string& path) override;
  void DenyAll(const std::string& path) override;
  void CreateLink(const std::string& path, const std::string& target) override;
  void SetValue(const std::string& path, const RegValue& value) override;

 private:
  void SetDacl(const std::string& path, const char* sddl);

  WindowsRegistry registry_;
  WindowsKeyWatches watches_;
  std::vector<std::string> restricted_;
  std::vector<std::string> links_;
};
