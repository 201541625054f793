#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "registry/AsciiCase.h"
#include "registry/memory/MemoryRegistry.h"

// Every right a key may grant an open.
constexpr std::uint32_t kAnyRight = 0xFFFFFFFF;

// One key of the store, shared by its parent and the handles open on it.
struct MemoryRegistry::Node {
  // The folded name sits beside the pointer, so a search reads one array and follows no pointer
  // until it has found its key.
  struct Entry {
    std::string folded;  // upper-cased: the platform orders and matches names by it
    NodePtr node;
  };

  std::string name;
  Node* parent = nullptr;
  std::vector<Entry> children;  // sorted by folded name
  std::uint32_t allowed = kAnyRight;
  bool deleted = false;
  // Set on a symbolic link: where it points. A link has no subkeys and one value.
  std::optional<std::pair<RegHandle, std::string>> linkTarget;
  std::vector<RegValue> values;
  // Counts the changes to the key's values and subkeys, reported as its last write time, which
  // the platform moves on with each.
  std::uint32_t writes = 0;

  std::vector<Entry>::iterator LowerBound(const std::string& folded) {
    // Keys are mostly added and removed at the end (created in order, deleted from the highest
    // index down), so the last place is tried before a search.
    if (children.empty() || children.back().folded < folded) {
      return children.end();
    }
    if (children.back().folded == folded) {
      return children.end() - 1;
    }
    return std::lower_bound(
        children.begin(), children.end(), folded,
        [](const Entry& child, const std::string& key) { return child.folded < key; });
  }

  NodePtr Child(const std::string& childName) {
    const std::string key = AsciiUpper(childName);
    auto it = LowerBound(key);
    return it != children.end() && it->folded == key ? it->node : nullptr;
  }

  NodePtr AddChild(const std::string& childName) {
    auto node = std::make_shared<Node>();
    node->name = childName;
    node->parent = this;
    std::string folded = AsciiUpper(childName);
    auto at = LowerBound(folded);
    children.insert(at, Entry{std::move(folded), node});
    ++writes;
    return node;
  }

  void RemoveChild(const Node& child) {
    children.erase(LowerBound(AsciiUpper(child.name)));
    ++writes;
  }
};
