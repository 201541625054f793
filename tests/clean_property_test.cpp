// Thousands of random registries: after a run, exactly the keys that must go are gone, the log
// and the notice are exactly as they must be, and no key is left open. The expectation comes from
// a model of the rules written here, independent of the code under test. Symbolic links are
// planted among the keys: inside the trees that go, as targets and as module-usage entries,
// pointing at unrelated keys, at other targets, back at an ancestor, or nowhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "CleanFixture.h"
#include "clean/CheckProcedure.h"
#include "registry/AsciiCase.h"

namespace {

// ReadAndDelete: cannot be opened for full access, but a key without subkeys can be deleted.
enum class Access { Full, ReadOnly, ReadAndDelete, None };

struct KeyPath {
  int root;
  std::string path;  // with the names as stored
};

struct ModelKey {
  std::string name;
  std::map<std::string, ModelKey> children;  // by upper-cased name: the platform's order
  Access access = Access::Full;
  bool deleteFails = false;
  std::optional<std::size_t> enumFailsAt;
  std::optional<KeyPath> link;  // a link has no children
};

// A key reached through the model, with its upper-cased "ROOT\PATH".
struct Reached {
  const ModelKey* key;
  std::string upperPath;
};

// How many links the platform follows in one open before it takes them for a loop.
constexpr int kLinkLimit = 16;

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
    {1, traces::kUserProgId, "It failed to open ActiveFormProj1.ActiveFormX",
     "It failed to delte ActiveFormProj1.ActiveFormX"},
    {0, traces::kProgId, "It failed to open ActiveFormProj1.ActiveFormX",
     "It failed to delte ActiveFormProj1.ActiveFormX"},
    {1, traces::kUserClsid, "It failed to Open CLSID", "It failed to delte CLSID"},
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
      } else if (Chance(0.15)) {
        linkedTargets_.push_back(&Key(target.root, target.path));
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
    PlantLinks();
  }

  bool HasLinks() const { return hasLinks_; }
  // Whether an entry of the module-usage list cannot be enumerated: check, changing nothing,
  // lists the list once, and the clean's later listings reach what that one missed.
  bool ListingSkipsAnEntry() const {
    const ModelKey* key = &roots_[2];
    for (const std::string& name : Names(traces::kModuleUsage)) {
      const auto child = key->children.find(Upper(name));
      if (child == key->children.end()) {
        return false;
      }
      key = &child->second;
    }
    return key->enumFailsAt.has_value();
  }

  // Whether some link's destination is reached through another link.
  bool HasChainedLinks() const {
    for (int root = 0; root < 3; ++root) {
      if (HasChainedLinks(roots_[root])) {
        return true;
      }
    }
    return false;
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
      // The probe follows links; the deletion takes the key of that name itself.
      const std::optional<Reached> probed = Resolve(target.root, target.path, true, outcome);
      if (!probed || probed->key->access == Access::None) {
        continue;  // absent, or not readable: skipped without a word
      }
      const Reached own = *Resolve(target.root, target.path, false, outcome);
      if (!Remove(probed->key, own, target.root, target.path, target.openFailed,
                  target.deleteFailed, outcome)) {
        return outcome;
      }
    }
    const std::optional<Reached> list = Resolve(2, traces::kModuleUsage, true, outcome);
    if (list && list->key->access != Access::None) {
      // The list is listed again after its entries went, up to eight times, until a whole listing
      // holds none of the control's; the enumeration failing at the same index each time.
      bool named = true;
      bool whole = false;
      for (int listing = 0; listing < 8 && (named || !whole); ++listing) {
        std::vector<const ModelKey*> listed;
        std::size_t index = 0;
        for (const auto& [upper, entry] : list->key->children) {
          if (outcome.removed.count(list->upperPath + "\\" + upper)) {
            continue;
          }
          if (!(list->key->enumFailsAt && *list->key->enumFailsAt == index) && Matches(entry)) {
            listed.push_back(&entry);
          }
          ++index;
        }
        named = !listed.empty();
        whole = !(list->key->enumFailsAt && *list->key->enumFailsAt < index);
        // A list that may only be read stops the run only when it names the control, or may:
        // when an entry could not be read.
        if (list->key->access != Access::Full) {
          if (named || list->key->enumFailsAt) {
            outcome.notices.push_back("It failed to Open Module Usage in Local Machine");
            return outcome;
          }
          break;
        }
        for (const ModelKey* entry : listed) {
          const std::string path = std::string(traces::kModuleUsage) + "\\" + entry->name;
          const std::optional<Reached> opened = Resolve(2, path, true, outcome);
          if (!Remove(opened ? opened->key : nullptr,
                      Reached{entry, list->upperPath + "\\" + Upper(entry->name)}, 2, path,
                      "It failed to open Sub Module usage", "It failed to Delete Sub Module usage",
                      outcome)) {
            return outcome;
          }
        }
      }
      if (list->key->access == Access::Full && !whole) {
        outcome.notices.push_back("It failed to Open Module Usage in Local Machine");
        return outcome;
      }
      if (named && list->key->access == Access::Full) {
        outcome.notices.push_back("It failed to Delete Sub Module usage");
        return outcome;
      }
    }
    // Every target is probed again at the end.
    for (const Target& target : kTargets) {
      const std::optional<Reached> left = Resolve(target.root, target.path, true, outcome);
      if (left && left->key->access != Access::None) {
        outcome.notices.push_back(target.deleteFailed);
        return outcome;
      }
    }
    outcome.status = "Done!";
    return outcome;
  }

 private:
  static bool Matches(const ModelKey& entry) {
    return Upper(entry.name).find("TESSALINEWEB_EN.OCX") != std::string::npos;
  }

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

  static std::vector<std::string> Names(const std::string& path) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < path.size()) {
      std::size_t end = path.find('\\', start);
      end = end == std::string::npos ? path.size() : end;
      names.push_back(path.substr(start, end - start));
      start = end + 1;
    }
    return names;
  }

  // The key a path leads to as the run finds it: keys removed so far are missing, and a link is
  // followed where it stands in the path, the last name's only when followLast.
  std::optional<Reached> Resolve(int root, const std::string& path, bool followLast,
                                 const Outcome& sofar, int linksFollowed = 0) const {
    Reached reached{&roots_[root], Upper(kRootNames[root])};
    const std::vector<std::string> names = Names(path);
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto it = reached.key->children.find(Upper(names[i]));
      if (it == reached.key->children.end()) {
        return std::nullopt;
      }
      reached = {&it->second, reached.upperPath + "\\" + it->first};
      if (sofar.removed.count(reached.upperPath) != 0) {
        return std::nullopt;
      }
      const std::optional<KeyPath>& link = reached.key->link;
      if (link && (followLast || i + 1 < names.size())) {
        if (linksFollowed == kLinkLimit) {
          return std::nullopt;
        }
        const std::optional<Reached> next =
            Resolve(link->root, link->path, true, sofar, linksFollowed + 1);
        if (!next) {
          return std::nullopt;
        }
        reached = *next;
      }
    }
    return reached;
  }

  bool HasChainedLinks(const ModelKey& key) const {
    if (key.link) {
      const ModelKey* step = &roots_[key.link->root];
      for (const std::string& name : Names(key.link->path)) {
        auto it = step->children.find(Upper(name));
        if (it == step->children.end()) {
          return false;
        }
        step = &it->second;
        if (step->link) {
          return true;
        }
      }
    }
    for (const auto& [upper, child] : key.children) {
      if (HasChainedLinks(child)) {
        return true;
      }
    }
    return false;
  }

  // Every key as root and stored path, parents before children.
  void CollectPaths(const ModelKey& key, int root, const std::string& path,
                    std::vector<KeyPath>& paths) const {
    for (const auto& [upper, child] : key.children) {
      const std::string childPath = path.empty() ? child.name : path + "\\" + child.name;
      paths.push_back({root, childPath});
      CollectPaths(child, root, childPath, paths);
    }
  }

  // Where a planted link points: an unrelated or any other key, a target or the list, a key
  // above the link, or a key that is not there.
  KeyPath LinkDestination(const std::vector<KeyPath>& keys, const KeyPath& at) {
    switch (Pick(0, 3)) {
      case 0:
        if (!keys.empty()) {
          return keys[Pick(0, static_cast<int>(keys.size()) - 1)];
        }
        [[fallthrough]];
      case 1: {
        const int which = Pick(0, static_cast<int>(kTargets.size()));
        return which == static_cast<int>(kTargets.size())
                   ? KeyPath{2, traces::kModuleUsage}
                   : KeyPath{kTargets[which].root, kTargets[which].path};
      }
      case 2: {
        const std::vector<std::string> names = Names(at.path);
        std::string ancestor = names.front();
        for (int i = 1, keep = Pick(1, static_cast<int>(names.size())); i < keep; ++i) {
          ancestor += "\\" + names[i];
        }
        return {at.root, ancestor};
      }
      default:
        return {Pick(0, 2), "software\\nowhere\\" + Name()};
    }
  }

  void MakeLink(ModelKey& key, const std::vector<KeyPath>& keys, const KeyPath& at) {
    if (!key.children.empty() || key.link) {
      return;
    }
    key.link = LinkDestination(keys, at);
    if (Chance(0.15)) {
      key.access = Chance(0.5) ? Access::ReadOnly : Access::ReadAndDelete;
    }
    hasLinks_ = true;
  }

  // Links below the trees that go, as targets, and as module-usage entries.
  void PlantLinks() {
    std::vector<KeyPath> keys;
    for (int root = 0; root < 3; ++root) {
      CollectPaths(roots_[root], root, "", keys);
    }
    for (const Target& target : kTargets) {
      ModelKey* key = &Key(target.root, target.path);
      std::string path = target.path;
      if (std::find(linkedTargets_.begin(), linkedTargets_.end(), key) != linkedTargets_.end()) {
        MakeLink(*key, keys, {target.root, path});
        continue;
      }
      if (key->children.empty() || !Chance(0.25)) {
        continue;
      }
      // Somewhere down the tree, a new subkey that is a link.
      while (!key->children.empty() && Chance(0.6)) {
        auto it = key->children.begin();
        std::advance(it, Pick(0, static_cast<int>(key->children.size()) - 1));
        path += "\\" + it->second.name;
        key = &it->second;
      }
      if (key->link) {
        continue;
      }
      const std::string name = Name();
      path += "\\" + name;
      MakeLink(Child(*key, name), keys, {target.root, path});
    }
    if (Chance(0.2)) {
      const std::string name = EntryName();
      MakeLink(Child(Key(2, traces::kModuleUsage), name), keys,
               {2, std::string(traces::kModuleUsage) + "\\" + name});
    }
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
      const Access restricted[] = {Access::ReadOnly, Access::ReadAndDelete, Access::None};
      key.access = restricted[Pick(0, 2)];
    }
    if (Chance(0.005)) {
      key.deleteFails = true;
    }
    if (Chance(0.005) && !key.children.empty()) {
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
    if (key.link) {
      store.SeedLink(kRoots[root], path, kRoots[key.link->root], key.link->path);
    } else {
      store.SeedKey(kRoots[root], path);
    }
    for (const auto& [upper, child] : key.children) {
      SeedKey(store, root, path + "\\" + child.name, child);
    }
    if (key.access != Access::Full) {
      const std::uint32_t allowed = key.access == Access::ReadOnly        ? kKeyRead
                                    : key.access == Access::ReadAndDelete ? kKeyRead | kDelete
                                                                          : 0;
      store.SeedAccess(kRoots[root], path, allowed);
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
  // A link goes as itself, a key without subkeys; what it points at is never reached.
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
    const bool deletable = key.access == Access::Full || key.access == Access::ReadAndDelete;
    const bool gone = subkeysGone && deletable && !key.deleteFails;
    if (gone) {
      outcome.removed.insert(path);
    }
    return gone;
  }

  // One present key: opened (through a link, where it is one), removed as itself and logged, or
  // a notice that stops the run.
  static bool Remove(const ModelKey* opened, const Reached& own, int root, const std::string& path,
                     const std::string& openFailed, const std::string& deleteFailed,
                     Outcome& outcome) {
    if (!opened || opened->access != Access::Full) {
      outcome.notices.push_back(openFailed);
      return false;
    }
    if (!RemoveTree(*own.key, own.upperPath, outcome)) {
      outcome.notices.push_back(deleteFailed);
      return false;
    }
    outcome.log.push_back(kRootNames[root]);
    outcome.log.push_back("\\" + path);
    return true;
  }

  std::mt19937 random_;
  std::array<ModelKey, 3> roots_;
  std::vector<ModelKey*> linkedTargets_;  // targets to be made links
  bool hasLinks_ = false;
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
  int casesWithLinks = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    RandomRegistry model(seed);
    model.Build();
    MemoryRegistry store;
    model.Seed(store);
    RecordingWindow window;
    RunCleanInWindow(store, window);

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
    casesWithLinks += model.HasLinks() ? 1 : 0;
  }
  // The cases must reach both ends: runs that stop, runs that finish, and real deletions.
  EXPECT_GT(runsThatStopped, static_cast<int>(kCases) / 20);
  EXPECT_LT(runsThatStopped, static_cast<int>(kCases) / 2);
  EXPECT_GT(keysRemoved, static_cast<int>(kCases));
  EXPECT_GT(casesWithLinks, static_cast<int>(kCases) / 5);
  std::printf("%u cases, %d stopped at a failure, %d keys removed, %d with links\n", kCases,
              runsThatStopped, keysRemoved, casesWithLinks);
}

// What check lists, read on the untouched registry, is what the clean then deletes, in its order:
// all of it when the clean finishes, the start of it when the clean stops at a failure. Check
// follows one link per name on a key's way; where links lead through links it may list a key
// that the clean, having deleted a link on the way, no longer reaches.
TEST(CleanPropertyTest, CheckListsWhatTheCleanDeletes) {
  constexpr std::uint32_t kCases = 3000;
  int stoppedRuns = 0;
  int listedKeys = 0;
  int chainedCases = 0;
  int listedMore = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    RandomRegistry model(seed);
    model.Build();
    MemoryRegistry store;
    model.Seed(store);
    const std::vector<std::string> before = store.AllKeys();
    const CheckResult check = RunCheck(store, {});
    ASSERT_EQ(store.AllKeys(), before) << "seed " << seed;
    ASSERT_EQ(store.OpenHandleCount(), 0u) << "seed " << seed;

    RecordingWindow window;
    RunCleanInWindow(store, window);
    const std::vector<std::string> listed = LoggedLines(check);
    const bool done = window.status == "Done!";
    std::vector<std::string> compared = listed;
    if (!done) {
      compared.resize(std::min(listed.size(), window.log.size()));
      ++stoppedRuns;
    }
    chainedCases += model.HasChainedLinks() ? 1 : 0;
    if (model.ListingSkipsAnEntry() && compared.size() < window.log.size() &&
        std::equal(compared.begin(), compared.end(), window.log.begin())) {
      continue;
    }
    if (compared != window.log) {
      ASSERT_TRUE(model.HasChainedLinks()) << "seed " << seed;
      ++listedMore;
      continue;
    }
    if (done && !model.ListingSkipsAnEntry()) {
      ASSERT_EQ(check.stopText, "") << "seed " << seed;
    }
    listedKeys += static_cast<int>(check.keys.size());
  }
  EXPECT_GT(stoppedRuns, static_cast<int>(kCases) / 20);
  EXPECT_GT(listedKeys, static_cast<int>(kCases));
  EXPECT_GT(chainedCases, static_cast<int>(kCases) / 50);
  std::printf(
      "%u cases, %d stopped, %d keys listed; %d with links through links, %d of them "
      "listing more\n",
      kCases, stoppedRuns, listedKeys, chainedCases, listedMore);
}

}  // namespace

namespace {

// The class keys over HKEY_CLASSES_ROOT as Windows merges it: the user's copy and the machine's
// of the ProgID and of the class, each present or not, readable only or not, and now and then
// one made again while another goes. The clean must take the user's copy, then what shows
// through HKEY_CLASSES_ROOT, and say "Done!" only when none is left.
struct ClassPlace {
  RegHandle root;      // HKEY_CURRENT_USER for the user's copy, else the machine's
  const char* target;  // traces::kProgId or traces::kClsid
};

std::string PlacePath(const ClassPlace& place) {
  return std::string("Software\\Classes\\") + place.target;
}

TEST(CleanPropertyTest, OverTheMergedClassesRootNothingIsLeftWhenItSaysDone) {
  constexpr std::uint32_t kCases = 2000;
  const std::array<ClassPlace, 4> places = {{{kHkeyCurrentUser, traces::kProgId},
                                             {kHkeyLocalMachine, traces::kProgId},
                                             {kHkeyCurrentUser, traces::kClsid},
                                             {kHkeyLocalMachine, traces::kClsid}}};
  const std::array<const char*, 2> openFailed = {"It failed to open ActiveFormProj1.ActiveFormX",
                                                 "It failed to Open CLSID"};
  const std::array<const char*, 2> deleteFailed = {"It failed to delte ActiveFormProj1.ActiveFormX",
                                                   "It failed to delte CLSID"};
  int recreatedCaught = 0;
  int done = 0;
  for (std::uint32_t seed = 1; seed <= kCases; ++seed) {
    std::mt19937 random(seed);
    auto chance = [&](double p) { return std::bernoulli_distribution(p)(random); };
    std::array<bool, 4> present{};
    std::array<bool, 4> readOnly{};
    MemoryRegistry store;
    store.MergeClassesRoot();
    for (std::size_t at = 0; at < places.size(); ++at) {
      store.SeedKey(places[at].root, "Software\\Classes\\CLSID\\{other}");
      store.SeedKey(places[at].root, "Software\\Classes\\Other.ProgId");
      present[at] = chance(0.6);
      if (present[at]) {
        store.SeedKey(places[at].root,
                      PlacePath(places[at]) + "\\sub" + std::to_string(random() % 3) + "\\deep");
        readOnly[at] = chance(0.08);
        if (readOnly[at]) {
          store.SeedAccess(places[at].root, PlacePath(places[at]), kKeyRead);
        }
      }
    }
    const CheckResult check = RunCheck(store, {});
    // Now and then, deleting one copy makes another.
    std::optional<std::pair<std::size_t, std::size_t>> remake;
    if (chance(0.3)) {
      const std::size_t deleted = random() % 4;
      remake = std::make_pair(deleted, (deleted + 1 + random() % 3) % 4);
      const std::string deletedPath = AsciiUpper(
          std::string(places[deleted].root == kHkeyCurrentUser ? "HKEY_CURRENT_USER\\"
                                                               : "HKEY_LOCAL_MACHINE\\") +
          PlacePath(places[deleted]));
      const ClassPlace made = places[remake->second];
      store.SetHook([&store, deletedPath, made](const MemoryRegistry::CallSite& site) {
        if (site.call == MemoryRegistry::Call::Delete && AsciiUpper(site.keyPath) == deletedPath) {
          store.SeedKey(made.root, PlacePath(made));
        }
        return std::optional<RegStatus>();
      });
    }

    // The model: each class's user step, then the HKEY_CLASSES_ROOT step, which reaches the
    // user's copy while there is one, else the machine's.
    Outcome expected;
    bool stopped = false;
    bool fired = false;
    for (std::size_t step = 0; step < 4 && !stopped; ++step) {
      const std::size_t klass = step / 2;
      const bool throughRoot = step % 2 == 1;
      std::size_t at = 2 * klass;
      if (throughRoot && !present[at]) {
        at = 2 * klass + 1;
      }
      if (!present[at]) {
        continue;
      }
      if (readOnly[at]) {
        expected.notices.push_back(openFailed[klass]);
        stopped = true;
        break;
      }
      if (remake && !fired && remake->first == at) {
        // A copy made where one is kept its rights; a new one has all.
        fired = true;
        readOnly[remake->second] = present[remake->second] && readOnly[remake->second];
        present[remake->second] = true;
      }
      present[at] = false;
      expected.log.push_back(throughRoot ? "HKEY_CLASSES_ROOT" : "HKEY_CURRENT_USER");
      expected.log.push_back(throughRoot ? "\\" + std::string(places[at].target)
                                         : "\\" + PlacePath(places[at]));
    }
    for (std::size_t at = 0; at < 4 && !stopped; ++at) {
      if (present[at]) {
        expected.notices.push_back(deleteFailed[at / 2]);
        stopped = true;
        recreatedCaught += fired ? 1 : 0;
      }
    }
    expected.status = stopped ? "" : "Done!";

    RecordingWindow window;
    RunCleanInWindow(store, window);
    ASSERT_EQ(window.log, expected.log) << "seed " << seed;
    ASSERT_EQ(window.notices, expected.notices) << "seed " << seed;
    ASSERT_EQ(window.status, expected.status) << "seed " << seed;
    for (std::size_t at = 0; at < 4; ++at) {
      ASSERT_EQ(store.KeyExists(places[at].root, PlacePath(places[at])), present[at])
          << "seed " << seed << " place " << at;
      ASSERT_TRUE(store.KeyExists(places[at].root, "Software\\Classes\\CLSID\\{other}"));
      ASSERT_TRUE(store.KeyExists(places[at].root, "Software\\Classes\\Other.ProgId"));
    }
    ASSERT_EQ(store.OpenHandleCount(), 0u) << "seed " << seed;
    // Check on the untouched store lists what a run untroubled by the remade copy deletes.
    if (!remake && window.status == "Done!") {
      const std::vector<std::string> listed = LoggedLines(check);
      ASSERT_EQ(listed, window.log) << "seed " << seed;
      ++done;
    }
  }
  EXPECT_GT(recreatedCaught, static_cast<int>(kCases) / 50);
  EXPECT_GT(done, static_cast<int>(kCases) / 4);
  std::printf("%u cases, %d finished as check foretold, %d stopped by a remade copy\n", kCases,
              done, recreatedCaught);
}

}  // namespace
