#include "registry/CheckedDeletion.h"

#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"

namespace {

bool DeleteLeaf(RegistryReads& api, RegHandle key, RegHandle parent, const std::u16string& name,
                const std::u16string& below, KeyDeletionCheck& check) {
  if (!check.BeforeDeleteKey(key, parent, name, below)) {
    return false;
  }
  if (api.DeleteOpenKey(key) != kErrorSuccess) {
    check.NotDeleted();
    return false;
  }
  return true;
}

bool DeleteOpen(RegistryReads& api, RegHandle key, RegHandle parent, const std::u16string& name,
                const std::u16string& below, std::uint32_t access, KeyDeletionCheck& check);

bool DeleteChecked(RegistryReads& api, RegHandle parent, const std::u16string& name,
                   const std::u16string& below, std::uint32_t access, KeyDeletionCheck& check) {
  RegHandle handle = kNoHandle;
  // The check reads the key, so a key that grants DELETE needs read rights here too; the view
  // asked for stays.
  const std::uint32_t view = access & kViewFlags;
  if (api.OpenKeyW(parent, name, kRegOptionOpenLink, access, &handle) != kErrorSuccess &&
      api.OpenKeyW(parent, name, kRegOptionOpenLink, kDelete | kKeyRead | view, &handle) !=
          kErrorSuccess) {
    return false;
  }
  const KeyHandle key(api, handle);
  return DeleteOpen(api, key.get(), parent, name, below, access, check);
}

bool DeleteOpen(RegistryReads& api, RegHandle key, RegHandle parent, const std::u16string& name,
                const std::u16string& below, std::uint32_t access, KeyDeletionCheck& check) {
  // Always the first subkey until there is none, so one made meanwhile goes the same way.
  std::u16string child;
  RegStatus status;
  while ((status = api.EnumKeyW(key, 0, &child)) == kErrorSuccess) {
    if (!DeleteChecked(api, key, child, below.empty() ? child : below + u"\\" + child, access,
                       check)) {
      return false;
    }
  }
  return status == kErrorNoMoreItems && DeleteLeaf(api, key, parent, name, below, check);
}

}  // namespace

bool DeleteCheckedTree(RegistryReads& api, RegHandle root, const std::string& path,
                       std::uint32_t access, KeyDeletionCheck& check) {
  return DeleteChecked(api, root, Utf8ToUtf16(BelowRoot(path)), u"", access, check);
}

bool DeleteCheckedOpenTree(RegistryReads& api, RegHandle key, RegHandle parent,
                           const std::u16string& name, std::uint32_t access,
                           KeyDeletionCheck& check) {
  return DeleteOpen(api, key, parent, name, u"", access, check);
}

bool DeleteCheckedOpenLeaf(RegistryReads& api, RegHandle key, RegHandle parent,
                           const std::u16string& name, KeyDeletionCheck& check) {
  return DeleteLeaf(api, key, parent, name, u"", check);
}

void DeleteKeyIfEmpty(RegistryReads& api, RegHandle base, const std::u16string& subKey,
                      std::uint32_t view) {
  RegHandle opened = kNoHandle;
  if (api.OpenKeyW(base, subKey, kRegOptionOpenLink, kKeyRead | kDelete | view, &opened) !=
      kErrorSuccess) {
    return;
  }
  const KeyHandle key(api, opened);
  std::uint32_t subkeys = 0;
  std::uint32_t values = 0;
  // One that gains a subkey meanwhile stays: the platform deletes no key that has subkeys.
  if (api.QueryInfoKey(key.get(), {&subkeys, nullptr, &values, nullptr, nullptr, nullptr}) ==
          kErrorSuccess &&
      subkeys == 0 && values == 0) {
    api.DeleteOpenKey(key.get());
  }
}
