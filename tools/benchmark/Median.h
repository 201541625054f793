#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

// The middle of repeated measurements, so one disturbed repetition does not move the figure.
inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Seconds taken by one call of the function.
template <typename Function>
double SecondsOf(Function&& function) {
  const auto start = std::chrono::steady_clock::now();
  function();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
