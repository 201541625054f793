#pragma once

#include <optional>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"

// The one grammar of key names that the targets, check, restore and the report share.

// A key as the log, the console and the report show it: its root's line, then its path from the
// root, leading backslash included ("HKEY_CLASSES_ROOT", "\CLSID\{...}").
struct ShownKey {
  std::string root;
  std::string path;
};

// How the log and .reg files spell the predefined roots ("HKEY_CLASSES_ROOT", ...); null for any
// other handle.
const char* RootName(RegHandle root);
// The predefined root spelled so, ASCII letters matched without regard to case; kNoHandle for any
// other name.
RegHandle RootNamed(const std::string& name);

// The names of a path, cut at every backslash; where two backslashes meet, or one starts or ends
// the path, an empty name stands.
std::vector<std::string> SplitNames(const std::string& path);
// Whether every name names one key only: none is empty, holds a zero, or is "." or "..", which a
// layer on the way might read as the key itself or its parent.
bool PlainNames(const std::vector<std::string>& names);
// The clean's form of a path, "\a\b", as the platform takes it below the root: "a\b".
std::string BelowRoot(const std::string& path);

// A key named from its root: "ROOT\a\b", the root spelled in full.
struct KeyName {
  RegHandle root = kNoHandle;
  std::vector<std::string> names;  // below the root, each plain

  // "ROOT\a\b".
  std::string Text() const;
  // The path from the root, "\a\b".
  std::string Path() const;
  ShownKey Shown() const { return {RootName(root), Path()}; }
};

// "ROOT\a\b" read strictly: a predefined root spelled in full and at least one name below it,
// each plain; nothing otherwise.
std::optional<KeyName> ParseKeyName(const std::string& text);
// The key at root\path, the path in the clean's form ("\a\b"); nothing unless its names are plain.
std::optional<KeyName> KeyAt(RegHandle root, const std::string& path);
// The key a HKEY_CLASSES_ROOT name stands for among the machine's classes,
// HKEY_LOCAL_MACHINE\Software\Classes; a key of another root as it is.
KeyName InMachineClasses(KeyName key);

// The platform's name of a hive loaded under HKEY_USERS: "\REGISTRY\USER\<hive>"; empty when
// the hive's name is not one plain name.
std::string UsersHivePlatformName(const std::string& hive);
// Whether a key's full name as the platform reports it is the named key's or lies below it, ASCII
// case ignored; a key reached through a link may lie anywhere. Nothing lies within an empty name.
bool LiesWithin(const std::string& platformName, const std::string& topPlatformName);
