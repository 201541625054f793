#include <functional>

#include "registry/Utf16.h"
#include "registry/memory/MemoryRegistry.h"
#include "registry/memory/MemoryRegistryNode.h"

RegStatus MemoryRegistry::LoadHive(const std::string& as, const std::string& file) {
  const NodePtr users = RootNode(kHkeyUsers);
  if (as.empty() || as.find('\\') != std::string::npos) {
    return kErrorInvalidParameter;
  }
  if (users->Child(as)) {
    return kErrorAlreadyExists;
  }
  for (const auto& [name, loaded] : loadedHives_) {
    if (loaded == file) {
      return kErrorSharingViolation;
    }
  }
  NodePtr& hive = hiveFiles_[file];
  if (!hive) {
    hive = std::make_shared<Node>();
  }
  hive->name = as;
  hive->parent = users.get();
  std::string folded = AsciiUpper(as);
  users->children.insert(users->LowerBound(folded), Node::Entry{folded, hive});
  ++users->writes;
  loadedHives_[folded] = file;
  return kErrorSuccess;
}

RegStatus MemoryRegistry::UnloadHive(const std::string& as) {
  const auto loaded = loadedHives_.find(AsciiUpper(as));
  if (loaded == loadedHives_.end()) {
    return kErrorAccessDenied;
  }
  const NodePtr users = RootNode(kHkeyUsers);
  const NodePtr hive = users->Child(as);
  for (const auto& [handle, entry] : handles_) {
    if (entry.top == hive.get()) {
      return kErrorAccessDenied;
    }
  }
  users->RemoveChild(*hive);
  hive->parent = nullptr;
  hive->name.clear();
  loadedHives_.erase(loaded);
  return kErrorSuccess;
}

void MemoryRegistry::CopyHiveFile(const std::string& from, const std::string& to) {
  const std::function<NodePtr(const Node&, Node*)> copy = [&](const Node& node, Node* parent) {
    auto made = std::make_shared<Node>();
    made->name = node.name;
    made->parent = parent;
    made->allowed = node.allowed;
    made->linkTarget = node.linkTarget;
    made->values = node.values;
    made->writes = node.writes;
    for (const Node::Entry& child : node.children) {
      made->children.push_back({child.folded, copy(*child.node, made.get())});
    }
    return made;
  };
  NodePtr made = copy(*hiveFiles_.at(from), nullptr);
  made->name.clear();
  hiveFiles_[to] = made;
}

std::string MemoryRegistry::HiveFileText(const std::string& file) const {
  std::string text;
  const std::function<void(const Node&, const std::string&)> visit = [&](const Node& node,
                                                                         const std::string& path) {
    text += "[" + path + "]\n";
    if (node.linkTarget) {
      text += "-> " + RootText(node.linkTarget->first) + "\\" + node.linkTarget->second + "\n";
    }
    for (const RegValue& value : node.values) {
      text += Utf16ToUtf8(value.name) + " " + std::to_string(value.type) + " " +
              std::string(value.data.begin(), value.data.end()) + "\n";
    }
    for (const Node::Entry& child : node.children) {
      visit(*child.node, path + "\\" + child.node->name);
    }
  };
  const auto found = hiveFiles_.find(file);
  if (found != hiveFiles_.end()) {
    visit(*found->second, "");
  }
  return text;
}

std::vector<std::string> MemoryRegistry::LoadedHives() const {
  std::vector<std::string> names;
  for (const auto& [folded, file] : loadedHives_) {
    names.push_back(RootNode(kHkeyUsers)->Child(folded)->name);
  }
  return names;
}

void MemoryRegistry::SetCurrentUser(const std::string& hive) {
  SeedKey(kHkeyUsers, hive);
  roots_[kHkeyCurrentUser - kHkeyClassesRoot] = RootNode(kHkeyUsers)->Child(hive);
}
