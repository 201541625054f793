#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/RegistryApi.h"
#include "registry/TStringList.h"

// Read access that a probe asks for: KEY_READ without KEY_NOTIFY.
constexpr std::uint32_t kProbeAccess = 0x20009;
// Room for the longest key name: 255 characters of up to four bytes, and the terminator.
constexpr std::uint32_t kLargestNameBytes = 255 * 4 + 1;

// The figures of a key, as RegQueryInfoKeyA reports them.
struct KeyInfo {
  std::int32_t SubkeyCount = 0;
  std::int32_t MaxSubkeyNameLength = 0;  // in characters, without the terminator
  std::int32_t ValueCount = 0;
  std::int32_t MaxValueNameLength = 0;
  std::int32_t MaxValueDataLength = 0;
  FileTime LastWriteTime;
};

// The cleaner's one way to the registry: a selected root and at most one open current key.
// No operation throws a platform error or passes one on; the result is the whole outcome.
class TRegistry {
 public:
  // Root HKEY_CURRENT_USER, no current key, full access for every open.
  explicit TRegistry(RegistryCalls& api);
  // The same, with the given rights for every open instead of full access: for reading only.
  TRegistry(RegistryCalls& api, std::uint32_t access);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  // Selecting another root releases the current key; the same root keeps it.
  void SelectRoot(RegHandle root);
  // True when the key can be opened for reading; a key that denies reading counts as absent.
  // Leaves the root, the current key and the access mask as they were.
  bool KeyPresent(const std::string& path);
  // Opens an existing key as the current key. On failure nothing changes: the previous current
  // key stays open and current.
  bool OpenPath(const std::string& path);
  void CloseCurrent();
  // Deletes the key and what it can below it, deepest first. True only when the key itself was
  // deleted; subkeys already removed stay removed either way. Every key is opened as itself and
  // deleted through that handle, so a symbolic link goes as the link and what it points at
  // stays. A key that grants DELETE but not full access still goes when it has no subkeys; one
  // that cannot be opened at all stays. The current key is as before when it returns.
  bool DeleteTree(const std::string& path);
  // Replaces the list with the current key's subkey names in the platform's order; empty when
  // the key's figures cannot be read (no current key, for one).
  void ListSubkeyNames(TStringList& list);
  // Fills the record for the current key; on false the record holds nothing of use.
  bool QueryKeyInfo(KeyInfo& info);

  RegHandle Root() const { return RootHandle; }
  RegHandle CurrentKey() const { return CurrentHandle; }
  const std::string& CurrentPath() const { return CurrentKeyPath; }
  std::uint32_t Access() const { return AccessMask; }

 private:
  struct ResolvedPath {
    std::string path;  // what goes to the platform, below BaseFor(relative)
    bool relative;
  };

  static ResolvedPath Resolve(const std::string& path);
  RegHandle BaseFor(bool relative) const;
  RegStatus Open(const ResolvedPath& resolved, std::uint32_t options, std::uint32_t access,
                 RegHandle* handle);
  // The opened handle, owned by the caller, or 0; the object's state does not change.
  RegHandle OpenHandle(const std::string& path);
  void DeleteSubkeys(RegHandle key);
  // Enumerates one subkey name into the buffer, telling the platform the length sized from the
  // reported maximum; a name that needs more room is asked for again with a buffer large enough
  // for any name. False when no name came back.
  bool EnumName(RegHandle key, std::int32_t index, std::uint32_t length, std::vector<char>& name);

  RegHandle CurrentHandle = kNoHandle;
  RegHandle RootHandle = kHkeyCurrentUser;
  std::string CurrentKeyPath;
  std::uint32_t AccessMask = kKeyAllAccess;
  RegistryCalls& api_;  // the platform registry, or a store that behaves like it
};
