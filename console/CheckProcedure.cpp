#include "console/CheckProcedure.h"

#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyTree.h"
#include "unitMain/TargetWalk.h"

namespace {

// Where the machine's classes are, below HKEY_LOCAL_MACHINE.
constexpr const char* kMachineClasses = "\\Software\\Classes";

// The name as the platform knows it, letters folded, of the key at root\path itself (a link as
// the link) or of the key it stands for (a link followed); empty when it cannot be read.
std::string FoldedKeyName(RegistryApi& api, RegHandle root, const std::string& path,
                          std::uint32_t options) {
  RegHandle opened = kNoHandle;
  if (api.OpenKey(root, path.c_str(), options, kProbeAccess, &opened) != kErrorSuccess) {
    return {};
  }
  const KeyHandle owner(api, opened);
  std::string name;
  return api.QueryKeyName(owner.get(), &name) == kErrorSuccess ? AsciiUpper(name) : std::string();
}

// The keys the platform passes through to reach the key, itself included: each name on the
// path as itself and, where it is a link, what it stands for.
std::vector<std::string> KeysOnTheWay(RegistryApi& api, const CleanTarget& key) {
  std::vector<std::string> names;
  const std::string path = key.path.substr(1);
  for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
    const std::string prefix = path.substr(0, end);
    for (std::uint32_t options : {kRegOptionOpenLink, 0u}) {
      std::string name = FoldedKeyName(api, key.root, prefix, options);
      if (!name.empty()) {
        names.push_back(std::move(name));
      }
    }
    if (end == std::string::npos) {
      return names;
    }
  }
}

class Finding : public TargetAction {
 public:
  Finding(RegistryApi& api, CheckResult& result) : api_(api), result_(result) {}

  bool Take(TRegistry&, const CleanTarget& key) override {
    // The clean would find absent a key it had already deleted, or one it reaches through a key
    // it had deleted: the same key by another name (a user's own hive under HKEY_USERS, cleaned
    // through HKEY_CURRENT_USER), or through a link. It deletes a link as the link. Through
    // HKEY_CLASSES_ROOT, where the user's copy was deleted, the machine's shows instead.
    RegHandle root = key.root;
    std::string path = key.path;
    if (Reached(key)) {
      root = kHkeyLocalMachine;
      path = kMachineClasses + key.path;
      if (key.root != kHkeyClassesRoot || FoldedKeyName(api_, root, path.substr(1), 0).empty() ||
          Reached({root, "", path})) {
        return true;
      }
    }
    taken_.push_back(FoldedKeyName(api_, root, path.substr(1), kRegOptionOpenLink));
    KeyCounts counts;
    const bool whole = ReadTree(api_, root, path, [&](const TreeKey& treeKey) {
      counts.subkeys += treeKey.path.empty() ? 0 : 1;
      counts.values += treeKey.values.size();
      return true;
    });
    ReportedKey found{key.rootName, key.path, std::nullopt};
    if (whole) {
      found.counts = counts;
    }
    result_.keys.push_back(std::move(found));
    return true;
  }

  void ListOpenFailed(const char* text) override { result_.stopText = text; }

 private:
  bool Reached(const CleanTarget& key) const {
    for (const std::string& name : KeysOnTheWay(api_, key)) {
      if (AlreadyTaken(name)) {
        return true;
      }
    }
    return false;
  }

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
