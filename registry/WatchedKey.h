#pragma once

#include <utility>

#include "registry/KeyHandle.h"
#include "registry/KeyWatch.h"
#include "registry/RegistryApi.h"

// Move-only owner of one open key and the watch set on it, released together on every path: the
// key is closed first and only then the watch ended, as the close of a key whose watch has ended
// could mark a later watch.
class WatchedKey {
 public:
  WatchedKey() = default;
  // Owns the key, open with KEY_NOTIFY, and watches it from now on; the key is owned even when
  // no watch could be set, which Watched() then tells.
  WatchedKey(RegistryCalls& api, RegHandle key, KeyWatches& watches)
      : key_(api, key), watch_(watches, watches.Watch(key)) {}
  WatchedKey(WatchedKey&& other) noexcept = default;
  WatchedKey& operator=(WatchedKey&& other) noexcept {
    if (this != &other) {
      reset();
      key_ = std::move(other.key_);
      watch_ = std::move(other.watch_);
    }
    return *this;
  }
  WatchedKey(const WatchedKey&) = delete;
  WatchedKey& operator=(const WatchedKey&) = delete;
  ~WatchedKey() { reset(); }

  RegHandle get() const { return key_.get(); }
  // Whether a watch is set on the key.
  bool Watched() const { return static_cast<bool>(watch_); }
  // Whether the key changed, or its handle was closed, since it was watched; true without a
  // watch.
  bool Changed() const { return watch_.Changed(); }

  // Closes the key, then ends its watch.
  void reset() {
    key_.reset();
    watch_.reset();
  }

 private:
  KeyHandle key_;
  KeyWatch watch_;
};
