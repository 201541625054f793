#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// An ordered list of strings, unsorted, duplicates kept.
class TStringList {
 public:
  void Clear() { items_.clear(); }
  // Room for this many entries, so a long listing moves no entry twice.
  void Reserve(std::size_t count) { items_.reserve(count); }
  void Add(std::string item) { items_.push_back(std::move(item)); }
  std::size_t Count() const { return items_.size(); }
  const std::string& operator[](std::size_t index) const { return items_[index]; }

 private:
  std::vector<std::string> items_;
};
