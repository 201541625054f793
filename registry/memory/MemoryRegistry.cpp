#include "registry/memory/MemoryRegistry.h"

#include "registry/memory/MemoryRegistryNode.h"

#include <algorithm>
#include <cstring>

#include "registry/AsciiCase.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"

namespace {

constexpr RegStatus kErrorBadPathname = 161;
// How many links one open may pass through before the platform takes them for a loop.
constexpr int kLinkLimit = 16;

// How the platform spells a root in a key's full name. The store's own roots for the current
// user and the classes keep their names, standing where the platform has a key of a hive.
std::string FullNameOf(const std::string& path) {
  const std::size_t end = path.find('\\');
  const std::string root = path.substr(0, end);
  const std::string rest = end == std::string::npos ? std::string() : path.substr(end);
  const std::string platformRoot = root == "HKEY_USERS"           ? "USER"
                                   : root == "HKEY_LOCAL_MACHINE" ? "MACHINE"
                                                                  : root;
  return "\\REGISTRY\\" + platformRoot + rest;
}

// The names of a path as the platform walks it: empty names, as in "a\\b" or "a\", are passed
// over.
std::vector<std::string> WalkedNames(const std::string& path) {
  std::vector<std::string> names = SplitNames(path);
  names.erase(std::remove(names.begin(), names.end(), std::string()), names.end());
  return names;
}

// A value of the same name (ASCII letters matched without regard to case) is replaced in its
// place; a new one goes last.
void PutValue(std::vector<RegValue>& values, const RegValue& value) {
  for (RegValue& existing : values) {
    if (SameIgnoringAsciiCase(existing.name, value.name)) {
      existing = value;
      return;
    }
  }
  values.push_back(value);
}

}  // namespace

MemoryRegistry::MemoryRegistry() {
  for (RegHandle root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
    auto node = std::make_shared<Node>();
    node->name = RootText(root);
    roots_.push_back(node);
  }
}

MemoryRegistry::~MemoryRegistry() = default;

std::string MemoryRegistry::RootText(RegHandle root) {
  const char* name = RootName(root);
  return name ? name : std::string();
}

MemoryRegistry::NodePtr MemoryRegistry::RootNode(RegHandle root) const {
  if (root < kHkeyClassesRoot || root > kHkeyUsers) {
    return nullptr;
  }
  return roots_[root - kHkeyClassesRoot];
}

MemoryRegistry::NodePtr MemoryRegistry::NodeFor(RegHandle handle, RegStatus* status) const {
  NodePtr node = RootNode(handle);
  if (!node) {
    auto it = handles_.find(handle);
    if (it == handles_.end()) {
      *status = kErrorInvalidHandle;
      return nullptr;
    }
    node = it->second.node;
  }
  if (node->deleted) {
    *status = kErrorKeyDeleted;
    return nullptr;
  }
  *status = kErrorSuccess;
  return node;
}

MemoryRegistry::NodePtr MemoryRegistry::Walk(const NodePtr& base, const std::string& subKey,
                                             bool followLast, RegStatus* status,
                                             int linksFollowed) const {
  if (!base) {
    *status = kErrorFileNotFound;
    return nullptr;
  }
  const std::vector<std::string> names = WalkedNames(subKey);
  NodePtr node = base;
  for (std::size_t i = 0; i < names.size(); ++i) {
    node = node->Child(names[i]);
    if (!node) {
      *status = kErrorFileNotFound;
      return nullptr;
    }
    if (node->linkTarget && (followLast || i + 1 < names.size())) {
      if (linksFollowed == kLinkLimit) {
        *status = kErrorInvalidParameter;
        return nullptr;
      }
      node = Walk(RootNode(node->linkTarget->first), node->linkTarget->second, true, status,
                  linksFollowed + 1);
      if (!node) {
        return nullptr;
      }
    }
  }
  *status = kErrorSuccess;
  return node;
}

std::optional<std::vector<std::string>> MemoryRegistry::ClassesPathOf(RegHandle handle) const {
  if (handle == kHkeyClassesRoot) {
    return mergedClasses_ ? std::optional<std::vector<std::string>>(std::vector<std::string>())
                          : std::nullopt;
  }
  auto it = handles_.find(handle);
  return it != handles_.end() ? it->second.classesPath : std::nullopt;
}

MemoryRegistry::NodePtr MemoryRegistry::ClassesKey(RegHandle root,
                                                   const std::vector<std::string>& names,
                                                   bool followLast, RegStatus* status) const {
  const NodePtr classes = Walk(RootNode(root), "Software\\Classes", true, status);
  return classes ? Walk(classes, BelowRoot(KeyName{root, names}.Path()), followLast, status)
                 : nullptr;
}

MemoryRegistry::NodePtr MemoryRegistry::WalkClasses(const std::vector<std::string>& names,
                                                    bool followLast, RegStatus* status) const {
  NodePtr node = ClassesKey(kHkeyCurrentUser, names, followLast, status);
  return node ? node : ClassesKey(kHkeyLocalMachine, names, followLast, status);
}

std::vector<const MemoryRegistry::Node*> MemoryRegistry::MergedSubkeys(
    const std::vector<std::string>& classesPath) const {
  std::vector<const Node*> subkeys;
  std::vector<std::string> userNames;
  for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    RegStatus status;
    const NodePtr node = ClassesKey(root, classesPath, true, &status);
    if (!node) {
      continue;
    }
    for (const Node::Entry& child : node->children) {
      if (root == kHkeyCurrentUser) {
        userNames.push_back(child.folded);
        subkeys.push_back(child.node.get());
      } else if (std::find(userNames.begin(), userNames.end(), child.folded) == userNames.end()) {
        subkeys.push_back(child.node.get());
      }
    }
  }
  return subkeys;
}

std::pair<RegHandle, std::string> MemoryRegistry::SeedPlace(RegHandle root,
                                                            const std::string& path) const {
  if (mergedClasses_ && root == kHkeyClassesRoot) {
    return {kHkeyLocalMachine, path.empty() ? "Software\\Classes" : "Software\\Classes\\" + path};
  }
  return {root, path};
}

std::string MemoryRegistry::PathOf(const Node& node) {
  return node.parent ? PathOf(*node.parent) + "\\" + node.name : node.name;
}

std::string MemoryRegistry::JoinPath(const Node& base, const std::string& subKey) {
  return subKey.empty() ? PathOf(base) : PathOf(base) + "\\" + subKey;
}

template <typename PathOfKey>
std::optional<RegStatus> MemoryRegistry::RunHook(Call call, PathOfKey pathOfKey,
                                                 std::uint32_t index) {
  // Paths are only built when a test listens, so large stores stay fast.
  if (!hook_) {
    return std::nullopt;
  }
  return hook_(CallSite{call, pathOfKey(), index});
}

std::uint32_t MemoryRegistry::CharCount(const std::string& name) const {
  if (!utf8Names_) {
    return static_cast<std::uint32_t>(name.size());
  }
  // Every byte but a continuation byte starts a character.
  return static_cast<std::uint32_t>(std::count_if(name.begin(), name.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

RegStatus MemoryRegistry::OpenKey(RegHandle base, const char* subKey, std::uint32_t options,
                                  std::uint32_t access, RegHandle* result) {
  RegStatus status;
  NodePtr baseNode = NodeFor(base, &status);
  if (!baseNode) {
    return status;
  }
  if (subKey[0] == '\\') {
    return kErrorBadPathname;
  }
  const bool followLast = (options & kRegOptionOpenLink) == 0;
  std::optional<std::vector<std::string>> classesPath = ClassesPathOf(base);
  NodePtr node;
  if (classesPath) {
    for (std::string& name : WalkedNames(subKey)) {
      classesPath->push_back(std::move(name));
    }
    node = WalkClasses(*classesPath, followLast, &status);
  } else {
    node = Walk(baseNode, subKey, followLast, &status);
  }
  auto path = [&] { return node ? PathOf(*node) : JoinPath(*baseNode, subKey); };
  if (auto fault = RunHook(Call::Open, path, 0)) {
    return *fault;
  }
  if (!node) {
    return status;
  }
  if ((access & ~kViewFlags & ~node->allowed) != 0) {
    return kErrorAccessDenied;
  }
  *result = NewHandle(node, access, std::move(classesPath));
  return kErrorSuccess;
}

RegHandle MemoryRegistry::NewHandle(const NodePtr& node, std::uint32_t granted,
                                    std::optional<std::vector<std::string>> classesPath) {
  const RegHandle handle = nextHandle_;
  nextHandle_ += 4;
  const Node* top = node.get();
  while (top->parent && top->parent->parent) {
    top = top->parent;
  }
  handles_[handle] = OpenKeyEntry{node, granted, std::move(classesPath), top};
  return handle;
}

RegStatus MemoryRegistry::CloseKey(RegHandle key) {
  if (RootNode(key)) {
    return kErrorSuccess;
  }
  auto it = handles_.find(key);
  if (it == handles_.end()) {
    return kErrorInvalidHandle;
  }
  const NodePtr node = it->second.node;
  handles_.erase(it);
  for (auto& [id, watch] : watches_) {
    watch.closed = watch.closed || watch.handle == key;
  }
  return RunHook(
             Call::Close, [&] { return PathOf(*node); }, 0)
      .value_or(kErrorSuccess);
}

RegStatus MemoryRegistry::QueryInfoKey(RegHandle key, const KeyInfoOut& out) {
  RegStatus status;
  NodePtr node = NodeFor(key, &status);
  if (!node) {
    return status;
  }
  if (auto fault = RunHook(
          Call::Query, [&] { return PathOf(*node); }, 0)) {
    return *fault;
  }
  std::vector<const Node*> subkeys;
  if (const auto classesPath = ClassesPathOf(key)) {
    subkeys = MergedSubkeys(*classesPath);
  } else {
    for (const Node::Entry& child : node->children) {
      subkeys.push_back(child.node.get());
    }
  }
  std::uint32_t longest = 0;
  for (const Node* subkey : subkeys) {
    longest = std::max(longest, CharCount(subkey->name));
  }
  std::uint32_t longestValueName = 0;
  std::uint32_t largestData = 0;
  const std::vector<RegValue> values = ValuesOf(*node);
  for (const RegValue& value : values) {
    longestValueName = std::max(longestValueName, static_cast<std::uint32_t>(value.name.size()));
    largestData = std::max(largestData, static_cast<std::uint32_t>(value.data.size()));
  }
  // The time is a count of the key\'s changes, which is all a test compares.
  out.Fill({static_cast<std::uint32_t>(subkeys.size()), longest,
            static_cast<std::uint32_t>(values.size()), longestValueName, largestData},
           FileTime{node->writes, 0});
  return kErrorSuccess;
}

MemoryRegistry::NodePtr MemoryRegistry::NodeForIndexedCall(RegHandle key, std::uint32_t right,
                                                           Call call, std::uint32_t index,
                                                           RegStatus* status) {
  NodePtr node = NodeFor(key, status);
  if (!node) {
    return nullptr;
  }
  auto entry = handles_.find(key);
  if (entry != handles_.end() && (entry->second.granted & right) == 0) {
    *status = kErrorAccessDenied;
    return nullptr;
  }
  if (auto fault = RunHook(
          call, [&] { return PathOf(*node); }, index)) {
    *status = *fault;
    return nullptr;
  }
  return node;
}

std::optional<std::string> MemoryRegistry::SubkeyAt(RegHandle key, const Node& node,
                                                    std::uint32_t index) const {
  // Only a key of the merged view has its list built; others are read in place, so a long
  // enumeration stays linear.
  if (const auto classesPath = ClassesPathOf(key)) {
    const std::vector<const Node*> merged = MergedSubkeys(*classesPath);
    return index < merged.size() ? std::optional<std::string>(merged[index]->name) : std::nullopt;
  }
  return index < node.children.size() ? std::optional<std::string>(node.children[index].node->name)
                                      : std::nullopt;
}

RegStatus MemoryRegistry::EnumKey(RegHandle key, std::uint32_t index, char* name,
                                  std::uint32_t* nameLength) {
  RegStatus status;
  const NodePtr node = NodeForIndexedCall(key, kKeyEnumerateSubKeys, Call::Enum, index, &status);
  if (!node) {
    return status;
  }
  const std::optional<std::string> childName = SubkeyAt(key, *node, index);
  if (!childName) {
    return kErrorNoMoreItems;
  }
  if (childName->size() + 1 > *nameLength) {
    return kErrorMoreData;
  }
  std::memcpy(name, childName->c_str(), childName->size() + 1);
  *nameLength = static_cast<std::uint32_t>(childName->size());
  return kErrorSuccess;
}

RegStatus MemoryRegistry::DeleteOpenKey(RegHandle key) {
  RegStatus status;
  NodePtr node = NodeFor(key, &status);
  if (!node) {
    return status;
  }
  if (auto fault = RunHook(
          Call::Delete, [&] { return PathOf(*node); }, 0)) {
    return *fault;
  }
  // A root cannot be deleted, whether named by its own value or opened.
  auto entry = handles_.find(key);
  const bool root = std::find(roots_.begin(), roots_.end(), node) != roots_.end();
  if (entry == handles_.end() || root || !node->parent || (entry->second.granted & kDelete) == 0 ||
      !node->children.empty()) {
    return kErrorAccessDenied;
  }
  node->parent->RemoveChild(*node);
  node->parent = nullptr;
  node->deleted = true;
  return kErrorSuccess;
}

WatchId MemoryRegistry::Watch(RegHandle key) {
  RegStatus status;
  const NodePtr node = NodeForIndexedCall(key, kKeyNotify, Call::Watch, 0, &status);
  if (!node || handles_.count(key) == 0) {
    return kNoWatch;
  }
  const WatchId id = nextWatch_++;
  watches_[id] = WatchEntry{key, node, node->writes, node->allowed};
  return id;
}

bool MemoryRegistry::Changed(WatchId watch) {
  const auto it = watches_.find(watch);
  if (it == watches_.end()) {
    return true;
  }
  const WatchEntry& entry = it->second;
  // The key's deletion leaves it clear, as under Wine: a handle to a deleted key deletes nothing.
  return entry.closed || entry.node->writes != entry.writes || entry.node->allowed != entry.allowed;
}

void MemoryRegistry::EndWatch(WatchId watch) {
  watches_.erase(watch);
}

std::vector<RegValue> MemoryRegistry::ValuesOf(const Node& node) {
  if (!node.linkTarget) {
    return node.values;
  }
  // A link made but not yet given a target holds nothing; one whose target is no key here keeps
  // the text it was given.
  const auto& [targetRoot, targetPath] = *node.linkTarget;
  if (targetRoot == kNoHandle && targetPath.empty()) {
    return {};
  }
  // A link holds one value: where it points, in UTF-16 without a terminator, as the platform keeps
  // it.
  const std::u16string target = Utf8ToUtf16(
      targetRoot == kNoHandle ? targetPath : FullNameOf(RootText(targetRoot) + "\\" + targetPath));
  return {RegValue{u"SymbolicLinkValue", kRegLink, LeBytesFromUtf16(target)}};
}

RegStatus MemoryRegistry::EnumValue(RegHandle key, std::uint32_t index, RegValue* value) {
  RegStatus status;
  const NodePtr node = NodeForIndexedCall(key, kKeyQueryValue, Call::Value, index, &status);
  if (!node) {
    return status;
  }
  const std::vector<RegValue> values = ValuesOf(*node);
  if (index >= values.size()) {
    return kErrorNoMoreItems;
  }
  *value = values[index];
  return kErrorSuccess;
}

RegStatus MemoryRegistry::QueryKeyName(RegHandle key, std::string* name) {
  RegStatus status;
  NodePtr node = NodeFor(key, &status);
  if (!node) {
    return status;
  }
  const std::string path = PathOf(*node);
  if (auto fault = RunHook(
          Call::Name, [&] { return path; }, 0)) {
    return *fault;
  }
  *name = FullNameOf(path);
  return kErrorSuccess;
}

void MemoryRegistry::SeedValue(RegHandle givenRoot, const std::string& givenPath,
                               const RegValue& value) {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  SeedKey(root, path);
  RegStatus status;
  const NodePtr node = Walk(RootNode(root), path, false, &status);
  ++node->writes;
  PutValue(node->values, value);
}

void MemoryRegistry::SeedKey(RegHandle givenRoot, const std::string& givenPath) {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  NodePtr node = RootNode(root);
  for (const std::string& name : WalkedNames(path)) {
    NodePtr child = node->Child(name);
    node = child ? child : node->AddChild(name);
  }
}

void MemoryRegistry::SeedLink(RegHandle givenRoot, const std::string& givenPath,
                              RegHandle targetRoot, const std::string& targetPath) {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  SeedKey(root, path);
  RegStatus status;
  Walk(RootNode(root), path, false, &status)->linkTarget = SeedPlace(targetRoot, targetPath);
}

bool MemoryRegistry::KeyExists(RegHandle givenRoot, const std::string& givenPath) const {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  RegStatus status;
  return Walk(RootNode(root), path, false, &status) != nullptr;
}

void MemoryRegistry::SeedAccess(RegHandle givenRoot, const std::string& givenPath,
                                std::uint32_t allowed) {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  RegStatus status;
  NodePtr node = Walk(RootNode(root), path, false, &status);
  if (node) {
    node->allowed = allowed;
  }
}

std::vector<std::string> MemoryRegistry::AllKeys() const {
  std::vector<std::string> keys;
  std::function<void(const Node&)> visit = [&](const Node& node) {
    for (const Node::Entry& child : node.children) {
      keys.push_back(PathOf(*child.node));
      visit(*child.node);
    }
  };
  for (const NodePtr& root : roots_) {
    // A root that is a hive of another is listed there.
    if (!root->parent) {
      visit(*root);
    }
  }
  return keys;
}

void MemoryRegistry::FailCall(Call call, RegHandle givenRoot, const std::string& givenPath,
                              RegStatus status, std::optional<std::uint32_t> index) {
  const auto [root, path] = SeedPlace(givenRoot, givenPath);
  const std::string keyPath =
      AsciiUpper(path.empty() ? RootText(root) : RootText(root) + "\\" + path);
  Hook previous = std::move(hook_);
  hook_ = [=](const CallSite& site) -> std::optional<RegStatus> {
    if (site.call == call && AsciiUpper(site.keyPath) == keyPath &&
        (!index || *index == site.index)) {
      return status;
    }
    return previous ? previous(site) : std::nullopt;
  };
}

std::pair<RegHandle, std::string> MemoryRegistry::KeyOfPlatformName(const std::string& name) {
  const std::string folded = AsciiUpper(name);
  for (RegHandle root : {kHkeyClassesRoot, kHkeyCurrentUser, kHkeyLocalMachine, kHkeyUsers}) {
    const std::string rootName = AsciiUpper(FullNameOf(RootText(root)));
    if (folded == rootName) {
      return {root, std::string()};
    }
    if (folded.compare(0, rootName.size() + 1, rootName + "\\") == 0) {
      return {root, name.substr(rootName.size() + 1)};
    }
  }
  return {kNoHandle, name};
}

MemoryRegistry::NodePtr MemoryRegistry::WalkCreating(const NodePtr& base, const std::string& subKey,
                                                     std::uint32_t options, bool* created,
                                                     RegStatus* status, int linksFollowed) {
  if (!base) {
    *status = kErrorFileNotFound;
    return nullptr;
  }
  const std::vector<std::string> names = WalkedNames(subKey);
  NodePtr node = base;
  *created = false;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    const bool makeLink = last && (options & kRegOptionCreateLink) != 0;
    NodePtr child = node->Child(names[i]);
    if (child && makeLink) {
      *status = kErrorAlreadyExists;
      return nullptr;
    }
    if (!child) {
      if ((node->allowed & kKeyCreateSubKey) == 0) {
        *status = kErrorAccessDenied;
        return nullptr;
      }
      child = node->AddChild(names[i]);
      *created = last;
      if (makeLink) {
        child->linkTarget = std::make_pair(kNoHandle, std::string());
      }
    } else if (child->linkTarget && !(last && (options & kRegOptionOpenLink) != 0)) {
      if (linksFollowed == kLinkLimit) {
        *status = kErrorInvalidParameter;
        return nullptr;
      }
      // As the platform does, a link whose target is missing gets its target made.
      child = WalkCreating(RootNode(child->linkTarget->first), child->linkTarget->second, 0,
                           created, status, linksFollowed + 1);
      if (!child) {
        return nullptr;
      }
      *created = *created && last;
    }
    node = child;
  }
  *status = kErrorSuccess;
  return node;
}

RegStatus MemoryRegistry::CreateKey(RegHandle base, const std::u16string& subKey,
                                    std::uint32_t options, std::uint32_t access, RegHandle* result,
                                    bool* created) {
  RegStatus status;
  const NodePtr baseNode = NodeFor(base, &status);
  if (!baseNode) {
    return status;
  }
  const std::string path = Utf16ToUtf8(subKey);
  if (!path.empty() && path[0] == '\\') {
    return kErrorBadPathname;
  }
  if (auto fault = RunHook(
          Call::Create, [&] { return JoinPath(*baseNode, path); }, 0)) {
    return *fault;
  }
  bool made = false;
  const NodePtr node = WalkCreating(baseNode, path, options, &made, &status);
  if (!node) {
    return status;
  }
  if ((access & ~kViewFlags & ~node->allowed) != 0) {
    return kErrorAccessDenied;
  }
  *result = NewHandle(node, access);
  if (created) {
    *created = made;
  }
  return kErrorSuccess;
}

RegStatus MemoryRegistry::SetValue(RegHandle key, const RegValue& value) {
  RegStatus status;
  const NodePtr node = NodeForIndexedCall(key, kKeySetValue, Call::Set, 0, &status);
  if (!node) {
    return status;
  }
  ++node->writes;
  if (!node->linkTarget) {
    PutValue(node->values, value);
    return kErrorSuccess;
  }
  // A link holds its target and nothing else.
  if (value.type != kRegLink || !SameIgnoringAsciiCase(value.name, u"SymbolicLinkValue")) {
    return kErrorAccessDenied;
  }
  node->linkTarget = KeyOfPlatformName(Utf16ToUtf8(Utf16FromLeBytes(value.data)));
  return kErrorSuccess;
}

RegStatus MemoryRegistry::OpenKeyW(RegHandle base, const std::u16string& subKey,
                                   std::uint32_t options, std::uint32_t access, RegHandle* result) {
  return OpenKey(base, Utf16ToUtf8(subKey).c_str(), options, access, result);
}

RegStatus MemoryRegistry::EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) {
  RegStatus status;
  const NodePtr node = NodeForIndexedCall(key, kKeyEnumerateSubKeys, Call::Enum, index, &status);
  if (!node) {
    return status;
  }
  const std::optional<std::string> childName = SubkeyAt(key, *node, index);
  if (!childName) {
    return kErrorNoMoreItems;
  }
  *name = Utf8ToUtf16(*childName);
  return kErrorSuccess;
}
