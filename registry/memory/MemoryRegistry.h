#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"

// A registry held in memory that answers the five calls as the platform does: names matched
// without regard to ASCII case and kept as given, subkeys enumerated in the platform's order,
// handles that outlive their deleted key, per-key access rules, no deletion of a key that still
// has subkeys, and symbolic links (followed wherever they stand in a path but last under the
// open-link option, dangling ones, loops ended with the platform's error), and values kept as
// bytes, and watches that a change to their key or the close of their handle marks (not the
// key's deletion, which Wine does not tell). Tests seed it, restrict it and make chosen calls fail.
class MemoryRegistry : public RegistryApi, public KeyWatches {
 public:
  // Name is told once QueryKeyName has read the key's name, so what its hook changes comes
  // right after the caller learnt it.
  enum class Call { Open, Close, Query, Enum, Delete, Value, Create, Set, Name, Watch };

  // The call about to be made: the key it concerns, written as "ROOT\path" with the names as
  // they are stored (or as asked for, where the key does not exist), and for Enum and Value the
  // index.
  struct CallSite {
    Call call;
    std::string keyPath;
    std::uint32_t index;
  };
  // Returns a status to fail the call with, or nothing to let it run. May change the store.
  using Hook = std::function<std::optional<RegStatus>(const CallSite&)>;

  MemoryRegistry();
  ~MemoryRegistry() override;

  RegStatus OpenKey(RegHandle base, const char* subKey, std::uint32_t options, std::uint32_t access,
                    RegHandle* result) override;
  RegStatus CloseKey(RegHandle key) override;
  RegStatus QueryInfoKey(RegHandle key, const KeyInfoOut& out) override;
  RegStatus EnumKey(RegHandle key, std::uint32_t index, char* name,
                    std::uint32_t* nameLength) override;
  RegStatus DeleteOpenKey(RegHandle key) override;
  RegStatus EnumValue(RegHandle key, std::uint32_t index, RegValue* value) override;
  RegStatus QueryKeyName(RegHandle key, std::string* name) override;

  // Writing, for restore: the platform's rules, KEY_CREATE_SUB_KEY needed on a key to make one
  // below it, and a link's target read from the platform's name of a key in this store
  // ("\REGISTRY\HKEY_LOCAL_MACHINE\path"); any other target leaves the link dangling.
  RegStatus CreateKey(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                      std::uint32_t access, RegHandle* result, bool* created) override;
  RegStatus SetValue(RegHandle key, const RegValue& value) override;
  // Names are held in UTF-8 and handed out converted, as the platform converts them.
  RegStatus OpenKeyW(RegHandle base, const std::u16string& subKey, std::uint32_t options,
                     std::uint32_t access, RegHandle* result) override;
  RegStatus EnumKeyW(RegHandle key, std::uint32_t index, std::u16string* name) override;

  // A watch needs KEY_NOTIFY on its handle; a change to the key's access counts as one to its
  // security.
  WatchId Watch(RegHandle key) override;
  bool Changed(WatchId watch) override;
  void EndWatch(WatchId watch) override;
  std::size_t WatchCount() const { return watches_.size(); }

  // Set-up, named apart from the calls under test.
  // Creates the key and any missing keys above it; an existing key is left as it is.
  void SeedKey(RegHandle root, const std::string& path);
  // Makes the key at root\path, created where missing, a link to targetRoot\targetPath, which
  // need not exist. The key must have no subkeys, and no link may stand above it.
  void SeedLink(RegHandle root, const std::string& path, RegHandle targetRoot,
                const std::string& targetPath);
  // Sets a value of the key, created where missing; a value of the same name (ASCII letters
  // matched without regard to case) is replaced in its place, a new one goes last.
  void SeedValue(RegHandle root, const std::string& path, const RegValue& value);
  // Whether the key itself exists: a link counts, wherever it points. Links above it are followed.
  bool KeyExists(RegHandle root, const std::string& path) const;
  // Rights an open may be granted on this key; DELETE among them allows its deletion.
  void SeedAccess(RegHandle root, const std::string& path, std::uint32_t allowed);
  // Every key below the root, as "ROOT\path" with stored names, parents before children.
  std::vector<std::string> AllKeys() const;
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // Hive files, as the platform loads them under HKEY_USERS. Loading mounts the file's keys as
  // HKEY_USERS\as, so what changes there is in the file once it is unloaded; a file that does
  // not exist is made, empty, as the platform makes it; a name already taken is refused with
  // kErrorAlreadyExists and a file already loaded with kErrorSharingViolation. Unloading refuses
  // a name that is no loaded hive, and one while any handle is open on a key of it, with
  // kErrorAccessDenied.
  RegStatus LoadHive(const std::string& as, const std::string& file);
  RegStatus UnloadHive(const std::string& as);
  bool HiveFileExists(const std::string& file) const { return hiveFiles_.count(file) != 0; }
  // Copies a hive file, as a program copies the file's bytes.
  void CopyHiveFile(const std::string& from, const std::string& to);
  void RemoveHiveFile(const std::string& file) { hiveFiles_.erase(file); }
  // Every key and value the file holds, in one text: two files hold the same when they are equal.
  std::string HiveFileText(const std::string& file) const;
  // The hives loaded now, by the names they are loaded as.
  std::vector<std::string> LoadedHives() const;

  void SetHook(Hook hook) { hook_ = std::move(hook); }
  // Fails the given call on the key at root\path (and for Enum and Value, at that index only).
  void FailCall(Call call, RegHandle root, const std::string& path, RegStatus status,
                std::optional<std::uint32_t> index = std::nullopt);

  // Names are UTF-8 bytes and the platform reports lengths in characters, as it does when the
  // ANSI code page is a multi-byte one; by default a byte is a character.
  void SetUtf8Names(bool utf8) { utf8Names_ = utf8; }

  // From now on HKEY_CLASSES_ROOT is the platform's merged view of the user's classes
  // (HKEY_CURRENT_USER\Software\Classes) over the machine's (HKEY_LOCAL_MACHINE\Software\Classes):
  // a key in both opens as the user's copy, deleting it shows the machine's, a subkey the user
  // lacks is opened in the machine's below a handle to a user's key, and a key's subkeys are the
  // user's followed by the machine's that the user has not. By default, as under Wine, it is a
  // root of its own. In a merged store the seeding calls above, given HKEY_CLASSES_ROOT, address
  // the machine's classes.
  void MergeClassesRoot() { mergedClasses_ = true; }
  // From now on HKEY_CURRENT_USER is the hive loaded as HKEY_USERS\<hive> (made where missing),
  // as on Windows: the platform names its keys "\REGISTRY\USER\<hive>\...". By default it is a
  // root of its own.
  void SetCurrentUser(const std::string& hive);

 private:
  struct Node;
  using NodePtr = std::shared_ptr<Node>;
  struct OpenKeyEntry {
    NodePtr node;
    std::uint32_t granted;
    // Set on a key opened through the merged classes root: its names below that root.
    std::optional<std::vector<std::string>> classesPath;
    // The key right below a root that the key lay under when it was opened: the root of a hive
    // loaded there, which no handle may outlive while the hive stays loaded.
    const Node* top = nullptr;
  };

  static std::string RootText(RegHandle root);
  // The root and path of a key named as QueryKeyName names it; no root when it names no key here.
  static std::pair<RegHandle, std::string> KeyOfPlatformName(const std::string& name);
  // The key's values in the platform's order; a link's own one included.
  static std::vector<RegValue> ValuesOf(const Node& node);
  NodePtr RootNode(RegHandle root) const;
  // The node a handle stands for; status tells why there is none.
  NodePtr NodeFor(RegHandle handle, RegStatus* status) const;
  // The node for an enumeration by index, once the handle's rights allow the call and the hook
  // has let it run; status tells why there is none.
  NodePtr NodeForIndexedCall(RegHandle key, std::uint32_t right, Call call, std::uint32_t index,
                             RegStatus* status);
  // Follows the path name by name, and every link on the way (the last name's only when
  // followLast); status tells why no key was reached.
  NodePtr Walk(const NodePtr& base, const std::string& subKey, bool followLast, RegStatus* status,
               int linksFollowed = 0) const;
  // The names below the merged classes root that a handle stands for; nothing when the handle
  // does not read through the merged view.
  std::optional<std::vector<std::string>> ClassesPathOf(RegHandle handle) const;
  // The key by these names below the root's Software\Classes; status tells why there is none.
  NodePtr ClassesKey(RegHandle root, const std::vector<std::string>& names, bool followLast,
                     RegStatus* status) const;
  // The user's key by these names below the merged root where the user has one, else the
  // machine's; status tells why there is none.
  NodePtr WalkClasses(const std::vector<std::string>& names, bool followLast,
                      RegStatus* status) const;
  // The subkeys a handle lists: the node's own, or for a key of the merged view the user's
  // followed by the machine's that the user has not.
  std::vector<const Node*> MergedSubkeys(const std::vector<std::string>& classesPath) const;
  // The name of the subkey a handle lists at the index; nothing past the last.
  std::optional<std::string> SubkeyAt(RegHandle key, const Node& node, std::uint32_t index) const;
  // Where a seeding call on root\path lands.
  std::pair<RegHandle, std::string> SeedPlace(RegHandle root, const std::string& path) const;
  // Walks the path as CreateKey does with these options, making what is missing; *created tells
  // whether the key reached was made, status why no key was reached.
  NodePtr WalkCreating(const NodePtr& base, const std::string& subKey, std::uint32_t options,
                       bool* created, RegStatus* status, int linksFollowed = 0);
  RegHandle NewHandle(const NodePtr& node, std::uint32_t granted,
                      std::optional<std::vector<std::string>> classesPath = std::nullopt);
  static std::string PathOf(const Node& node);
  static std::string JoinPath(const Node& base, const std::string& subKey);
  template <typename PathOfKey>
  std::optional<RegStatus> RunHook(Call call, PathOfKey pathOfKey, std::uint32_t index);
  std::uint32_t CharCount(const std::string& name) const;

  std::vector<NodePtr> roots_;
  std::map<std::string, NodePtr> hiveFiles_;        // each file's keys, its root unnamed
  std::map<std::string, std::string> loadedHives_;  // the file loaded as each name, upper-cased
  std::unordered_map<RegHandle, OpenKeyEntry> handles_;
  // What a watched key was like when its watch began.
  struct WatchEntry {
    RegHandle handle;
    NodePtr node;
    std::uint32_t writes;
    std::uint32_t allowed;
    bool closed = false;
  };
  std::unordered_map<WatchId, WatchEntry> watches_;
  WatchId nextWatch_ = 1;
  RegHandle nextHandle_ = 0x1000;
  Hook hook_;
  bool utf8Names_ = false;
  bool mergedClasses_ = false;
};
