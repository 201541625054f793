#pragma once

#include "registry/RegistryApi.h"

// Move-only owner of one open key: closes it through the registry interface on every path.
class KeyHandle {
 public:
  KeyHandle() = default;
  KeyHandle(RegistryCalls& api, RegHandle handle) : api_(&api), handle_(handle) {}
  KeyHandle(KeyHandle&& other) noexcept : api_(other.api_), handle_(other.release()) {}
  KeyHandle& operator=(KeyHandle&& other) noexcept {
    if (this != &other) {
      reset();
      api_ = other.api_;
      handle_ = other.release();
    }
    return *this;
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  ~KeyHandle() { reset(); }

  RegHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != kNoHandle; }

  // Gives up ownership without closing.
  RegHandle release() {
    RegHandle handle = handle_;
    handle_ = kNoHandle;
    return handle;
  }

  // Closes the key, if any; the close result is of no use to anyone.
  void reset() {
    if (handle_ != kNoHandle) {
      api_->CloseKey(release());
    }
  }

 private:
  RegistryCalls* api_ = nullptr;
  RegHandle handle_ = kNoHandle;
};
