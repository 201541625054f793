#pragma once

#include <utility>

// Puts a saved value back into a variable when the scope ends, however it ends.
template <typename T>
class RestoreOnExit {
 public:
  explicit RestoreOnExit(T& variable) : variable_(variable), saved_(variable) {}
  RestoreOnExit(const RestoreOnExit&) = delete;
  RestoreOnExit& operator=(const RestoreOnExit&) = delete;
  ~RestoreOnExit() { variable_ = std::move(saved_); }

 private:
  T& variable_;
  T saved_;
};
