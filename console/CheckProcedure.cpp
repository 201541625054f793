#include "console/CheckProcedure.h"

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyTree.h"
#include "unitMain/TargetWalk.h"

namespace {

// The key's own name as the platform knows it, letters folded; empty when it cannot be read.
std::string FoldedKeyName(RegistryApi& api, const CleanTarget& key) {
  RegHandle opened = kNoHandle;
  if (api.OpenKey(key.root, key.path.c_str() + 1, kRegOptionOpenLink, kProbeAccess, &opened) !=
      kErrorSuccess) {
    return {};
  }
  const KeyHandle owner(api, opened);
  std::string name;
  return api.QueryKeyName(owner.get(), &name) == kErrorSuccess ? AsciiUpper(name) : std::string();
}

class Finding : public TargetAction {
 public:
  Finding(RegistryApi& api, CheckResult& result) : api_(api), result_(result) {}

  bool Take(TRegistry&, const CleanTarget& key) override {
    // The clean would have deleted a key reached again by another name (a user's own hive under
    // HKEY_USERS, which it cleans through HKEY_CURRENT_USER) and it would find it absent.
    const std::string name = FoldedKeyName(api_, key);
    if (!name.empty() && AlreadyTaken(name)) {
      return true;
    }
    taken_.push_back(name);
    KeyCounts counts;
    const bool whole = ReadTree(api_, key.root, key.path, [&](const TreeKey& treeKey) {
      counts.subkeys += treeKey.path.empty() ? 0 : 1;
      counts.values += treeKey.values.size();
      return true;
    });
    ReportedKey found{key.rootName, key.path, true, std::nullopt};
    if (whole) {
      found.counts = counts;
    }
    result_.keys.push_back(std::move(found));
    return true;
  }

  void ListOpenFailed(const char* text) override { result_.stopText = text; }

 private:
  bool AlreadyTaken(const std::string& name) const {
    for (const std::string& earlier : taken_) {
      if (!earlier.empty() && name.compare(0, earlier.size(), earlier) == 0 &&
          (name.size() == earlier.size() || name[earlier.size()] == '\\')) {
        return true;
      }
    }
    return false;
  }

  RegistryApi& api_;
  CheckResult& result_;
  std::vector<std::string> taken_;
};

}  // namespace

CheckResult RunCheck(RegistryApi& api, bool allUsers) {
  CheckResult result;
  Finding finding(api, result);
  WalkTargets(api, kProbeAccess, allUsers, finding);
  return result;
}
