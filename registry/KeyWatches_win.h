#pragma once

#include <windows.h>

#include <vector>

#include "registry/KeyWatch.h"

// Watches through the platform's change notification, each signalling an event of its own.
// Events are made once and used again, reset before each new watch; all are closed with this.
class WindowsKeyWatches : public KeyWatches {
 public:
  WindowsKeyWatches() = default;
  ~WindowsKeyWatches() override;
  WindowsKeyWatches(const WindowsKeyWatches&) = delete;
  WindowsKeyWatches& operator=(const WindowsKeyWatches&) = delete;

  WatchId Watch(RegHandle key) override;
  bool Changed(WatchId watch) override;
  void EndWatch(WatchId watch) override;

 private:
  std::vector<HANDLE> events_;  // every event made
  std::vector<HANDLE> free_;    // those no watch holds
};
