#include "backup/CheckedDeletion.h"

#include "registry/KeyHandle.h"
#include "registry/KeyName.h"
#include "registry/Utf16.h"

namespace {

bool DeleteChecked(RegistryReads& api, RegHandle parent, const std::u16string& name,
                   const std::u16string& below, std::uint32_t access, KeyDeletionCheck& check) {
  RegHandle handle = kNoHandle;
  // The check reads the key, so a key that grants DELETE needs read rights here too.
  if (api.OpenKeyW(parent, name, kRegOptionOpenLink, access, &handle) != kErrorSuccess &&
      api.OpenKeyW(parent, name, kRegOptionOpenLink, kDelete | kKeyRead, &handle) !=
          kErrorSuccess) {
    return false;
  }
  const KeyHandle key(api, handle);
  // Always the first subkey until there is none, so one made meanwhile goes the same way.
  std::u16string child;
  RegStatus status;
  while ((status = api.EnumKeyW(key.get(), 0, &child)) == kErrorSuccess) {
    if (!DeleteChecked(api, key.get(), child, below.empty() ? child : below + u"\\" + child, access,
                       check)) {
      return false;
    }
  }
  return status == kErrorNoMoreItems && check.BeforeDeleteKey(key.get(), parent, name, below) &&
         api.DeleteOpenKey(key.get()) == kErrorSuccess;
}

}  // namespace

bool DeleteCheckedTree(RegistryReads& api, RegHandle root, const std::string& path,
                       std::uint32_t access, KeyDeletionCheck& check) {
  return DeleteChecked(api, root, Utf8ToUtf16(BelowRoot(path)), u"", access, check);
}
