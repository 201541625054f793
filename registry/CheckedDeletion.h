#pragma once

#include <cstdint>
#include <string>

#include "registry/RegistryApi.h"

// Told of each key a checked deletion is about to delete, once nothing is left below it.
class KeyDeletionCheck {
 public:
  virtual ~KeyDeletionCheck() = default;
  // The key, opened as itself as parent\name (for the tree's top, name may hold several levels),
  // is the one the deletion will go through; below is its path under the tree's top in UTF-16,
  // empty for the top. False keeps the key and ends the deletion.
  virtual bool BeforeDeleteKey(RegHandle key, RegHandle parent, const std::u16string& name,
                               const std::u16string& below) = 0;
  // The key last passed could not be deleted after all, as when a subkey was made meanwhile: it
  // stays, and the deletion ends.
  virtual void NotDeleted() {}
};

// Deletes root\path (the clean's form, leading backslash included) and everything below it,
// deepest first, each key opened as itself with the given rights and passed by the check just
// before it goes, through the handle it is deleted with; a link goes as the link. Names are
// listed and opened through the wide calls, so they are exact on every code page, and subkeys
// are deleted until none is left, one made meanwhile too. The first key that cannot be opened
// for reading and deletion, listed, passed or deleted ends the whole deletion, with false.
bool DeleteCheckedTree(RegistryReads& api, RegHandle root, const std::string& path,
                       std::uint32_t access, KeyDeletionCheck& check);
// The same for a key already open as itself as parent\name, through that very handle: what was
// checked of it is what goes.
bool DeleteCheckedOpenTree(RegistryReads& api, RegHandle key, RegHandle parent,
                           const std::u16string& name, std::uint32_t access,
                           KeyDeletionCheck& check);

// The same for a key known to have no subkey, as one watched since it was seen to have none: it
// is passed by the check and deleted, with no listing first. One that has a subkey after all
// stays, as the platform deletes no key that has one, and the check is told.
bool DeleteCheckedOpenLeaf(RegistryReads& api, RegHandle key, RegHandle parent,
                           const std::u16string& name, KeyDeletionCheck& check);

// Deletes base\subKey, opened as itself in the registry view given, when it holds neither a
// subkey nor a value; a key that is not there, or not empty, stays as it is.
void DeleteKeyIfEmpty(RegistryReads& api, RegHandle base, const std::u16string& subKey,
                      std::uint32_t view = 0);
