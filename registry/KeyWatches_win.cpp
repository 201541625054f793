#include "registry/KeyWatches_win.h"

namespace {

// Everything about the key itself a backup of it holds or depends on.
constexpr DWORD kEveryChange = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES |
                               REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;

}  // namespace

WindowsKeyWatches::~WindowsKeyWatches() {
  for (HANDLE event : events_) {
    CloseHandle(event);
  }
}

WatchId WindowsKeyWatches::Watch(RegHandle key) {
  HANDLE event = nullptr;
  if (!free_.empty()) {
    event = free_.back();
    free_.pop_back();
    // The close of the key it last watched signalled it.
    if (!ResetEvent(event)) {
      free_.push_back(event);
      return kNoWatch;
    }
  } else {
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
      return kNoWatch;
    }
    events_.push_back(event);
    // Room for every event, so ending a watch never needs memory.
    free_.reserve(events_.size());
  }
  if (RegNotifyChangeKeyValue(reinterpret_cast<HKEY>(key), FALSE, kEveryChange, event, TRUE) !=
      ERROR_SUCCESS) {
    free_.push_back(event);
    return kNoWatch;
  }
  return reinterpret_cast<WatchId>(event);
}

bool WindowsKeyWatches::Changed(WatchId watch) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(watch), 0) != WAIT_TIMEOUT;
}

void WindowsKeyWatches::EndWatch(WatchId watch) {
  free_.push_back(reinterpret_cast<HANDLE>(watch));
}
