#include "registry/TRegistry.h"

#include <algorithm>

#include "registry/KeyHandle.h"
#include "registry/PlatformLocale.h"
#include "registry/RestoreOnExit.h"

TRegistry::TRegistry(RegistryCalls& api) : api_(api) {}

TRegistry::TRegistry(RegistryCalls& api, std::uint32_t access) : AccessMask(access), api_(api) {}

TRegistry::~TRegistry() {
  CloseCurrent();
}

TRegistry::ResolvedPath TRegistry::Resolve(const std::string& path) {
  if (!path.empty() && path[0] == '\\') {
    return {path.substr(1), false};
  }
  return {path, true};
}

RegHandle TRegistry::BaseFor(bool relative) const {
  return relative && CurrentHandle != kNoHandle ? CurrentHandle : RootHandle;
}

RegStatus TRegistry::Open(const ResolvedPath& resolved, std::uint32_t options, std::uint32_t access,
                          RegHandle* handle) {
  *handle = kNoHandle;
  return api_.OpenKey(BaseFor(resolved.relative), resolved.path.c_str(), options, access, handle);
}

RegHandle TRegistry::OpenHandle(const std::string& path) {
  RegHandle handle;
  Open(Resolve(path), 0, AccessMask, &handle);
  return handle;
}

void TRegistry::SelectRoot(RegHandle root) {
  if (root == RootHandle) {
    return;
  }
  RootHandle = root;
  CloseCurrent();
}

bool TRegistry::KeyPresent(const std::string& path) {
  RestoreOnExit<std::uint32_t> restoreAccess(AccessMask);
  AccessMask = kProbeAccess;
  const KeyHandle probe(api_, OpenHandle(path));
  return static_cast<bool>(probe);
}

bool TRegistry::OpenPath(const std::string& path) {
  const ResolvedPath resolved = Resolve(path);
  RegHandle handle;
  if (Open(resolved, 0, AccessMask, &handle) != kErrorSuccess) {
    return false;
  }
  KeyHandle opened(api_, handle);
  std::string newPath = CurrentHandle != kNoHandle && resolved.relative
                            ? CurrentKeyPath + "\\" + resolved.path
                            : resolved.path;
  // The old key goes only now that the new one, possibly below it, is open.
  CloseCurrent();
  CurrentHandle = opened.release();
  CurrentKeyPath = std::move(newPath);
  return true;
}

void TRegistry::CloseCurrent() {
  if (CurrentHandle == kNoHandle) {
    return;
  }
  api_.CloseKey(CurrentHandle);
  CurrentHandle = kNoHandle;
  CurrentKeyPath.clear();
}

bool TRegistry::DeleteTree(const std::string& path) {
  const ResolvedPath resolved = Resolve(path);
  // Opened as itself: a link shows no subkeys and is deleted as the link, so no deletion ever
  // reaches through one. What is checked and what is deleted is the same handle.
  RegHandle handle;
  Open(resolved, kRegOptionOpenLink, AccessMask, &handle);
  KeyHandle key(api_, handle);
  if (key) {
    // Subkeys are opened by bare name, so they resolve below the key being deleted. The previous
    // current key comes back before the key itself is deleted.
    RestoreOnExit<RegHandle> restoreCurrent(CurrentHandle);
    CurrentHandle = key.get();
    DeleteSubkeys(key.get());
  } else {
    // A key that refuses full access may still allow its deletion.
    Open(resolved, kRegOptionOpenLink, kDelete, &handle);
    key = KeyHandle(api_, handle);
    if (!key) {
      return false;
    }
  }
  return api_.DeleteOpenKey(key.get()) == kErrorSuccess;
}

void TRegistry::DeleteSubkeys(RegHandle key) {
  KeyInfo info;
  if (!QueryKeyInfo(info)) {
    return;
  }
  const auto length = static_cast<std::uint32_t>(info.MaxSubkeyNameLength + 1);
  std::vector<char> name(length);
  // From the highest index down, so a removal never moves a subkey still to be visited.
  for (std::int32_t index = info.SubkeyCount - 1; index >= 0; --index) {
    if (EnumName(key, index, length, name)) {
      DeleteTree(name.data());
    }
  }
}

void TRegistry::ListSubkeyNames(TStringList& list) {
  list.Clear();
  KeyInfo info;
  if (!QueryKeyInfo(info)) {
    return;
  }
  const auto length = static_cast<std::uint32_t>(info.MaxSubkeyNameLength + 1);
  std::vector<char> name(length);
  list.Reserve(static_cast<std::size_t>(std::max(info.SubkeyCount, 0)));
  for (std::int32_t index = 0; index < info.SubkeyCount; ++index) {
    if (EnumName(CurrentHandle, index, length, name)) {
      list.Add(name.data());
    }
  }
}

bool TRegistry::EnumName(RegHandle key, std::int32_t index, std::uint32_t length,
                         std::vector<char>& name) {
  RegStatus status = api_.EnumKey(key, static_cast<std::uint32_t>(index), name.data(), &length);
  if (status == kErrorMoreData) {
    // The maximum is counted in characters, and an ANSI name may need more bytes than that (up to
    // four a character). Skipping the name would leave its key behind unnoticed, so the same index
    // is asked again with room for the longest name there can be.
    name.resize(std::max<std::size_t>(name.size(), kLargestNameBytes));
    length = static_cast<std::uint32_t>(name.size());
    status = api_.EnumKey(key, static_cast<std::uint32_t>(index), name.data(), &length);
  }
  return status == kErrorSuccess;
}

bool TRegistry::QueryKeyInfo(KeyInfo& info) {
  info = KeyInfo();
  // The platform writes its unsigned figures straight into the record's signed fields.
  const RegStatus status =
      api_.QueryInfoKey(CurrentHandle, {reinterpret_cast<std::uint32_t*>(&info.SubkeyCount),
                                        reinterpret_cast<std::uint32_t*>(&info.MaxSubkeyNameLength),
                                        reinterpret_cast<std::uint32_t*>(&info.ValueCount),
                                        reinterpret_cast<std::uint32_t*>(&info.MaxValueNameLength),
                                        reinterpret_cast<std::uint32_t*>(&info.MaxValueDataLength),
                                        &info.LastWriteTime});
  // Lengths are in characters, and a double-byte character can take two bytes of the buffer.
  if (gPlatformLocale.farEastLocale && gPlatformLocale.platformId == kPlatformWin32Nt) {
    info.MaxSubkeyNameLength *= 2;
    info.MaxValueNameLength *= 2;
  }
  return status == kErrorSuccess;
}
