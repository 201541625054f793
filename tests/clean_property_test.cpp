// Thousands of random registries: after a run, exactly the keys that must go are gone, the log
// and the notice are exactly as they must be, and no key is left open. The expectation comes from
// a model of the rules written here, independent of the code under test.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CleanFixture.h"

namespace {

enum class Access { Full, ReadOnly, None };

struct ModelKey {
  std::string name;
  std::map<std::string, ModelKey> children;  // by upper-cased name: the platform's order
  Access access = Access::Full;
  bool deleteFails = false;
  std::optional<std::size_t> enumFailsAt;
};

std::string Upper(const std::string& text) {
  std::string result;
  for (unsigned char c : text) {
    result += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  }
  return result;
}

const std::array<RegHandle, 3> kRoots = {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine};
const std::array<const char*, 3> kRootNames = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                               "HKEY_LOCAL_MACHINE"};

struct Target {
  int root;
  std::string path;  // below the root, as the control's keys are written
  std::string openFailed;
  std::string deleteFailed;
};

const std::vector<Target> kTargets = {
    {0, traces::kProgId, "It failed to open ActiveFormProj1.ActiveFormX",
     "It failed to delte ActiveFormProj1.ActiveFormX"},
    {0, traces::kClsid, "It failed to Open CLSID", "It failed to delte CLSID"},
    {1, traces::kStats, "It failed to Open Ext Stats in Current User",
     "It failed to delte Ext Stats"},
    {2, traces::kDistributionUnit, "It failed to Open Distribution Unit in Local Machine",
     "It failed to delte Distribution Unit in Local Machine"},
};

struct Outcome {
  std::vector<std::string> log;
  std::vector<std::string> notices;
  std::string status;
  std::set<std::string> removed;  // "ROOT\PATH", upper-cased
};

class RandomRegistry {
 public:
  explicit RandomRegistry(std::uint32_t seed) : random_(seed) {}

  // A registry where each target and the module-usage list may or may not be, with trees,
  // restrictions, failures and unrelated keys at random places.
  void Build() {
    for (const Target& target : kTargets) {
      AddUnrelated(target.root, Parent(target.path));
      if (Chance(0.6)) {
        Spoil(AddTree(Key(target.root, target.path), Chance(0.5) ? 4 : 1));
      }
    }
    AddUnrelated(0, "");
    AddUnrelated(1, "software");
    if (Chance(0.85)) {
      ModelKey& list = Key(2, traces::kModuleUsage);
      const int entries = Pick(0, 12);
      for (int i = 0; i < entries; ++i) {
        ModelKey& entry = Child(list, EntryName());
        Spoil(AddTree(entry, Chance(0.3) ? 3 : 0));
      }
      if (Chance(0.05)) {
        list.access = Chance(0.5) ? Access::ReadOnly : Access::None;
      }
      if (Chance(0.05) && !list.children.empty()) {
        list.enumFailsAt = Pick(0, static_cast<int>(list.children.size()) - 1);
      }
    }
  }

  void Seed(MemoryRegistry& store) const {
    for (int root = 0; root < 3; ++root) {
      for (const auto& [upper, child] : roots_[root].children) {
        SeedKey(store, root, child.name, child);
      }
    }
  }

  std::set<std::string> AllKeys() const {
    std::set<std::string> keys;
    for (int root = 0; root < 3; ++root) {
      for (const auto& [upper, child] : roots_[root].children) {
        Collect(child, Upper(kRootNames[root]) + "\\" + upper, keys);
      }
    }
    return keys;
  }

  // What a run must do to this registry.
  Outcome Expected() const {
    Outcome outcome;
    for (const Target& target : kTargets) {
      const ModelKey* key = Find(target.root, target.path);
      if (!key || key->access == Access::None) {
        continue;  // absent, or not readable: skipped without a word
      }
      if (!Remove(*key, target.root, target.path, target.openFailed, target.deleteFailed,
                  outcome)) {
        return outcome;
      }
    }
    const ModelKey* list = Find(2, traces::kModuleUsage);
    if (list && list->access != Access::None) {
      if (list->access != Access::Full) {
        outcome.notices.push_back("It failed to Open Module Usage in Local Machine");
        return outcome;
      }
      std::vector<const ModelKey*> listed;
      std::size_t index = 0;
      for (const auto& [upper, entry] : list->children) {
        if (!(list->enumFailsAt && *list->enumFailsAt == index)) {
          listed.push_back(&entry);
        }
        ++index;
      }
      for (const ModelKey* entry : listed) {
        if (Upper(entry->name).find("TESSALINEWEB_EN.OCX") != std::string::npos &&
            !Remove(*entry, 2, std::string(traces::kModuleUsage) + "\\" + entry->name,
                    "It failed to open Sub Module usage", "It failed to Delete Sub Module usage",
                    outcome)) {
          return outcome;
        }
      }
    }
    outcome.status = "Done!";
    return outcome;
  }

 private:
  bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  static std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? "" : path.substr(0, slash);
  }

  ModelKey& Child(ModelKey& parent, const std::string& name) {
    ModelKey& child = parent.children[Upper(name)];
    if (child.name.empty()) {
      child.name = name;
    }
    return child;
  }

  ModelKey& Key(int root, const std::string& path) {
    ModelKey* key = &roots_[root];
    std::size_t start = 0;
    while (start < path.size()) {
      std::size_t end = path.find('\\', start);
      end = end == std::string::npos ? path.size() : end;
      key = &Child(*key, path.substr(start, end - start));
      start = end + 1;
    }
    return *key;
  }

  const ModelKey* Find(int root, const std::string& path) const {
    const ModelKey* key = &roots_[root];
    std::size_t start = 0;
    while (start < path.size() && key) {
      std::size_t end = path.find('\\', start);
      end = end == std::string::npos ? path.size() : end;
      auto it = key->children.find(Upper(path.substr(start, end - start)));
      key = it == key->children.end() ? nullptr : &it->second;
      start = end + 1;
    }
    return key;
  }

  // Any byte a key name may hold: letters, digits, punctuation, and bytes above 0x7F.
  std::string Name() {
    static const std::string kBytes =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ._-{}[]`@^~\x7f\xe9\xc9"
        "\xff\x81";
    std::string name;
    for (int length = Pick(1, 10); length > 0; --length) {
      name += kBytes[Pick(0, static_cast<int>(kBytes.size()) - 1)];
    }
    return name;
  }

  // Matches in any case, near misses the upper-casing must not turn into matches, and others.
  std::string EntryName() {
    static const std::vector<std::string> kFiles = {"TessalineWeb_EN.ocx",
                                                    "tessalineweb_en.ocx",
                                                    "TESSALINEWEB_EN.OCX",
                                                    "tESSALINEwEB_en.oCX",
                                                    "TessalineWeb.ocx",
                                                    "TessalineWeb_E-N.ocx",
                                                    "TessalineWeb\x7f"
                                                    "EN.ocx",
                                                    "TessalineWeb_EN.oc",
                                                    "Tessal\xc9neWeb_EN.ocx",
                                                    "TessalineWeb_EN\xae"
                                                    "ocx",
                                                    "Tessaline{eb_EN.ocx",
                                                    "mscomctl.ocx"};
    const std::string& file = kFiles[Pick(0, static_cast<int>(kFiles.size()) - 1)];
    const std::string prefix = Chance(0.5) ? "C:/" + Name() + "/" : "";
    const std::string suffix = Chance(0.2) ? Name() : "";
    return prefix + file + suffix;
  }

  ModelKey& AddTree(ModelKey& key, int depth) {
    for (int children = depth > 0 ? Pick(0, 3) : 0; children > 0; --children) {
      AddTree(Child(key, Name()), depth - 1);
    }
    return key;
  }

  // Restrictions and failures here and there in a tree that must go.
  void Spoil(ModelKey& key) {
    if (Chance(0.012)) {
      key.access = Chance(0.5) ? Access::ReadOnly : Access::None;
    }
    if (Chance(0.008)) {
      key.deleteFails = true;
    }
    if (Chance(0.008) && !key.children.empty()) {
      key.enumFailsAt = Pick(0, static_cast<int>(key.children.size()) - 1);
    }
    for (auto& [upper, child] : key.children) {
      Spoil(child);
    }
  }

  // Keys that must survive whatever happens: beside the targets, and restricted now and then.
  void AddUnrelated(int root, const std::string& parent) {
    for (int count = Pick(0, 3); count > 0; --count) {
      ModelKey& key = AddTree(Key(root, parent.empty() ? Name() : parent + "\\" + Name()), 2);
      if (Chance(0.2)) {
        key.access = Access::ReadOnly;
      }
    }
  }

  static void SeedKey(MemoryRegistry& store, int root, const std::string& path,
                      const ModelKey& key) {
    store.CreateKey(kRoots[root], path);
    for (const auto& [upper, child] : key.children) {
      SeedKey(store, root, path + "\\" + child.name, child);
    }
    if (key.access != Access::Full) {
      store.SetAllowedAccess(kRoots[root], path, key.access == Access::ReadOnly ? kKeyRead : 0);
    }
    if (key.deleteFails) {
      store.FailCall(MemoryRegistry::Call::Delete, kRoots[root], path, kErrorAccessDenied);
    }
    if (key.enumFailsAt) {
      store.FailCall(MemoryRegistry::Call::Enum, kRoots[root], path, kErrorAccessDenied,
                     static_cast<std::uint32_t>(*key.enumFailsAt));
    }
  }

  static void Collect(const ModelKey& key, const std::string& path, std::set<std::string>& keys) {
    keys.insert(path);
    for (const auto& [upper, child] : key.children) {
      Collect(child, path + "\\" + upper, keys);
    }
  }

  // Removes the key and what can go below it, deepest first, as the platform allows: a key goes
  // when it can be opened for full access, every subkey went, and its own deletion is allowed.
  static bool RemoveTree(const ModelKey& key, const std::string& path, Outcome& outcome) {
    bool subkeysGone = key.children.empty();
    if (key.access == Access::Full) {
      subkeysGone = true;
      std::size_t index = 0;
      for (const auto& [upper, child] : key.children) {
        const bool reached = !(key.enumFailsAt && *key.enumFailsAt == index++);
        subkeysGone = reached && RemoveTree(child, path + "\\" + upper, outcome) && subkeysGone;
      }
    }
    const bool gone = subkeysGone && key.access == Access::Full && !key.deleteFails;
    if (gone) {
      outcome.removed.insert(path);
    }
    return gone;
  }

  // One present key: opened, removed and logged, or a notice that stops the run.
  static bool Remove(const ModelKey& key, int root, const std::string& path,
                     const std::string& openFailed, const std::string& deleteFailed,
                     Outcome& outcome) {
    if (key.access != Access::Full) {
      outcome.notices.push_back(openFailed);
      return false;
    }
    if (!RemoveTree(key, Upper(kRootNames[root]) + "\\" + Upper(path), outcome)) {
      outcome.notices.push_back(deleteFailed);
      return false;
    }
    outcome.log.push_back(kRootNames[root]);
    outcome.log.push_back("\\" + path);
    return true;
  }

  std::mt19937 random_;
  std::array<ModelKey, 3> roots_;
};

std::set<std::string> UpperKeys(const std::vector<std::string>& keys) {
  std::set<std::string> upper;
  for (const std::string& key : keys) {
    upper.insert(Upper(key));
  }
  return upper;
}

TEST(CleanPropertyTest, OnlyTheControlsKeysAreEverDeleted) {
  constexpr std::uint32_t kCases = 3000;
  int runsThatStopped = 0;
  int keysRemoved = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    RandomRegistry model(seed);
    model.Build();
    MemoryRegistry store;
    model.Seed(store);
    RecordingWindow window;
    RunClean(store, window);

    const Outcome expected = model.Expected();
    std::set<std::string> remaining = model.AllKeys();
    for (const std::string& key : expected.removed) {
      remaining.erase(key);
    }
    ASSERT_EQ(UpperKeys(store.AllKeys()), remaining) << "seed " << seed;
    ASSERT_EQ(window.log, expected.log) << "seed " << seed;
    ASSERT_EQ(window.notices, expected.notices) << "seed " << seed;
    ASSERT_EQ(window.status, expected.status) << "seed " << seed;
    ASSERT_EQ(store.OpenHandleCount(), 0u) << "seed " << seed;
    runsThatStopped += expected.notices.empty() ? 0 : 1;
    keysRemoved += static_cast<int>(expected.removed.size());
  }
  // The cases must reach both ends: runs that stop, runs that finish, and real deletions.
  EXPECT_GT(runsThatStopped, static_cast<int>(kCases) / 20);
  EXPECT_LT(runsThatStopped, static_cast<int>(kCases) / 2);
  EXPECT_GT(keysRemoved, static_cast<int>(kCases));
  std::printf("%u cases, %d stopped at a failure, %d keys removed\n", kCases, runsThatStopped,
              keysRemoved);
}

}  // namespace
