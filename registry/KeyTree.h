#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// One key of a tree as read.
struct TreeKey {
  std::string path;  // below the tree's top: "" for the top, else names joined by backslashes
  // A symbolic link as IsOpenedLink tells, read as the link: what it points at is never reached.
  bool link = false;
  std::vector<RegValue> values;  // a link's own target value is not among them
  // For a link: where it points, as the platform names it, UTF-8; none when it was never given
  // a target.
  std::optional<std::string> linkTarget;
};

// Whether the key, opened as itself as parent\name and holding a link's target value alone, is a
// link as the platform has it: a plain open of the same name lands elsewhere or nowhere. An
// ordinary key that merely holds such a value opens as itself either way.
// The plain open asks for the registry view given, as the key itself was opened.
bool IsOpenedLink(RegistryReads& api, RegHandle key, RegHandle parent, const std::u16string& name,
                  std::uint32_t view = 0);
// Whether parent\name, a key opened as itself, leads to no key when its name is followed: a link
// never given a target, or whose target is gone.
bool LeadsToNoKey(RegistryReads& api, RegHandle parent, const std::u16string& name,
                  std::uint32_t view = 0);
// The value a link holds its target in, "SymbolicLinkValue" of type REG_LINK.
bool IsLinkValue(const RegValue& value);

// Reads the key at root\path (the clean's form, leading backslash included) and every key below
// it, each before its subkeys and the subkeys in the platform's order, and hands each to the
// visitor as it is read. Every key is opened as itself with read rights, one name at a time.
// False, once the keys read so far were handed on, when a key could not be opened or listed or a
// value could not be read, or when the visitor returned false.
// Each open asks for the registry view given.
bool ReadTree(RegistryReads& api, RegHandle root, const std::string& path,
              const std::function<bool(const TreeKey&)>& visit, std::uint32_t view = 0);
