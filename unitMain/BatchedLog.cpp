#include "unitMain/BatchedLog.h"

BatchedLog::~BatchedLog() {
  Flush();
}

void BatchedLog::ClearLog() {
  pending_.clear();
  hasPending_ = false;
  window_.ClearLog();
}

void BatchedLog::AppendLogLine(const std::string& line) {
  if (hasPending_) {
    pending_ += "\r\n";
  }
  pending_ += line;
  hasPending_ = true;
}

void BatchedLog::ShowNotice(const std::string& text) {
  Flush();
  window_.ShowNotice(text);
}

void BatchedLog::SetStatusText(const std::string& text) {
  Flush();
  window_.SetStatusText(text);
}

void BatchedLog::Flush() {
  if (!hasPending_) {
    return;
  }
  window_.AppendLogLine(pending_);
  pending_.clear();
  hasPending_ = false;
}
