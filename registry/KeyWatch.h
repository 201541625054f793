#pragma once

#include <cstdint>

#include "registry/RegistryApi.h"

using WatchId = std::uintptr_t;  // 0 means no watch
constexpr WatchId kNoWatch = 0;

// Tells whether an open key changed since a moment, so a key read a while ago is known to hold
// what was read without reading it all again. Kept apart from the registry calls, so a program
// that watches nothing carries none of it.
class KeyWatches {
 public:
  virtual ~KeyWatches() = default;
  // From now on, a change to the key's values, subkeys or security, and the close of this
  // handle to it mark the watch; its deletion may not, but a handle to a deleted key deletes
  // nothing. The handle needs KEY_NOTIFY; kNoWatch when no watch could be set.
  virtual WatchId Watch(RegHandle key) = 0;
  // Whether the watch was marked; one that cannot be told counts as marked.
  virtual bool Changed(WatchId watch) = 0;
  // Ends the watch, once its key's handle is closed: a close after it could mark a later one.
  virtual void EndWatch(WatchId watch) = 0;
};

// Move-only owner of one watch: ends it on every path. A watch whose key stays open goes with it
// in a WatchedKey, which ends it only once that key is closed.
class KeyWatch {
 public:
  KeyWatch() = default;
  KeyWatch(KeyWatches& watches, WatchId watch) : watches_(&watches), watch_(watch) {}
  KeyWatch(KeyWatch&& other) noexcept : watches_(other.watches_), watch_(other.watch_) {
    other.watch_ = kNoWatch;
  }
  KeyWatch& operator=(KeyWatch&& other) noexcept {
    if (this != &other) {
      reset();
      watches_ = other.watches_;
      watch_ = other.watch_;
      other.watch_ = kNoWatch;
    }
    return *this;
  }
  KeyWatch(const KeyWatch&) = delete;
  KeyWatch& operator=(const KeyWatch&) = delete;
  ~KeyWatch() { reset(); }

  explicit operator bool() const { return watch_ != kNoWatch; }
  bool Changed() const { return watch_ == kNoWatch || watches_->Changed(watch_); }

  void reset() {
    if (watch_ != kNoWatch) {
      watches_->EndWatch(watch_);
      watch_ = kNoWatch;
    }
  }

 private:
  KeyWatches* watches_ = nullptr;
  WatchId watch_ = kNoWatch;
};
