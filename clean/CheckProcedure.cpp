#include "clean/CheckProcedure.h"

#include <map>
#include <set>
#include <tuple>

#include "clean/ControlFiles.h"
#include "clean/TargetWalk.h"
#include "registry/AsciiCase.h"
#include "registry/KeyHandle.h"
#include "registry/KeyTree.h"

namespace {

// The names as the platform knows them, letters folded, of keys reached from a root: each looked
// up once a run, since every module-usage entry shares the keys above it and check changes
// nothing.
class KeyNames {
 public:
  explicit KeyNames(RegistryReads& api) : api_(api) {}

  // The name of the key at root\path itself (a link as the link) or of the key it stands for (a
  // link followed), in the registry view given; empty when it cannot be read.
  const std::string& Folded(RegHandle root, const std::string& path, std::uint32_t options,
                            std::uint32_t view) {
    const auto [found, isNew] = names_.try_emplace({root, path, options, view});
    if (isNew) {
      found->second = Read(root, path, options, view);
    }
    return found->second;
  }

 private:
  std::string Read(RegHandle root, const std::string& path, std::uint32_t options,
                   std::uint32_t view) {
    RegHandle opened = kNoHandle;
    if (api_.OpenKey(root, path.c_str(), options, kProbeAccess | view, &opened) != kErrorSuccess) {
      return {};
    }
    const KeyHandle owner(api_, opened);
    std::string name;
    return api_.QueryKeyName(owner.get(), &name) == kErrorSuccess ? AsciiUpper(name)
                                                                  : std::string();
  }

  RegistryReads& api_;
  std::map<std::tuple<RegHandle, std::string, std::uint32_t, std::uint32_t>, std::string> names_;
};

// The keys the platform passes through to reach the key, itself included: each name on the
// path as itself and, where it is a link, what it stands for.
std::vector<std::string> KeysOnTheWay(KeyNames& names, const KeyName& key, std::uint32_t view) {
  std::vector<std::string> onTheWay;
  std::string prefix;
  for (const std::string& name : key.names) {
    prefix += prefix.empty() ? name : "\\" + name;
    for (std::uint32_t options : {kRegOptionOpenLink, 0u}) {
      const std::string& reached = names.Folded(key.root, prefix, options, view);
      if (!reached.empty()) {
        onTheWay.push_back(reached);
      }
    }
  }
  return onTheWay;
}

class Finding : public TargetAction {
 public:
  Finding(RegistryReads& api, CheckResult& result) : api_(api), names_(api), result_(result) {}

  bool Take(TRegistry&, const CleanTarget& key) override {
    // An entry of the module-usage list is a key of its own, which no target before it holds;
    // the keys above it were looked at once, when the list was found.
    if (key.listEntry) {
      files_.TargetFound(api_, key);
      Count(key, KeyName{key.root, SplitNames(BelowRoot(key.path))});
      return true;
    }
    // The clean would find absent a key it had already deleted, or one it reaches through a key
    // it had deleted: the same key by another name (a user's own hive under HKEY_USERS, cleaned
    // through HKEY_CURRENT_USER), or through a link. It deletes a link as the link. Through
    // HKEY_CLASSES_ROOT, where the user's own key was deleted, the machine's shows instead.
    KeyName place{key.root, SplitNames(BelowRoot(key.path))};
    if (Reached(place, key.viewFlags)) {
      place = InMachineClasses(place);
      if (key.root != kHkeyClassesRoot || Folded(place, 0, 0).empty() || Reached(place, 0)) {
        return true;
      }
    }
    const std::string& name = Folded(place, kRegOptionOpenLink, key.viewFlags);
    if (!name.empty()) {
      taken_.insert(name);
    }
    if (key.classKey) {
      files_.ReadServer(api_, place.root, place.Path(), key.viewFlags);
    }
    Count(key, place);
    return true;
  }

  bool TakeInHive(RegHandle, const CleanTarget& key) override {
    TRegistry unused(api_, kProbeAccess);
    return Take(unused, key);
  }

  // There, but unreadable: found, with nothing known of what it holds.
  bool Unopened(const CleanTarget& key, const std::string&) override {
    result_.keys.push_back({key.Shown(), std::nullopt});
    return true;
  }

  void ListOpenFailed(const char* text) override { result_.stopText = text; }

  const ControlFiles& Files() const { return files_; }

 private:
  const std::string& Folded(const KeyName& key, std::uint32_t options, std::uint32_t view) {
    return names_.Folded(key.root, BelowRoot(key.Path()), options, view);
  }

  bool Reached(const KeyName& key, std::uint32_t view) {
    for (const std::string& name : KeysOnTheWay(names_, key, view)) {
      if (AlreadyTaken(name)) {
        return true;
      }
    }
    return false;
  }

  // Whether the name, or a key above it, was taken: each of its ancestors is looked up, so the
  // cost follows the depth of the name, not the number of keys taken before it.
  bool AlreadyTaken(const std::string& name) const {
    for (std::size_t end = name.find('\\'); end != std::string::npos;
         end = name.find('\\', end + 1)) {
      if (taken_.count(name.substr(0, end)) != 0) {
        return true;
      }
    }
    return taken_.count(name) != 0;
  }

  // Reports the key found, with how much it holds where it can be read whole.
  void Count(const CleanTarget& key, const KeyName& place) {
    KeyCounts counts;
    const bool whole = ReadTree(
        api_, place.root, place.Path(),
        [&](const TreeKey& treeKey) {
          counts.subkeys += treeKey.path.empty() ? 0 : 1;
          counts.values += treeKey.values.size();
          return true;
        },
        key.viewFlags);
    FoundKey found{key.Shown(), std::nullopt};
    if (whole) {
      found.counts = counts;
    }
    result_.keys.push_back(std::move(found));
  }

  RegistryReads& api_;
  KeyNames names_;
  CheckResult& result_;
  std::set<std::string> taken_;
  ControlFiles files_;
};

}  // namespace

CheckResult RunCheck(RegistryReads& api, UsersHives* users) {
  CheckResult result;
  Finding finding(api, result);
  WalkResult walk = WalkTargets(api, kProbeAccess, users, finding);
  result.profiles = std::move(walk.profiles);
  result.swept = std::move(walk.swept);
  result.files = finding.Files().Paths();
  result.outcome = !result.stopText.empty()         ? CheckOutcome::kStopped
                   : !result.keys.empty()           ? CheckOutcome::kPresent
                   : AnyUnfinished(result.profiles) ? CheckOutcome::kIncomplete
                                                    : CheckOutcome::kAbsent;
  return result;
}
