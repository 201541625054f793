#pragma once

#include <string>
#include <utility>

// Below the verbs, an operation that can fail returns false and writes why to a string its
// caller passes; this is its one way to say so.
inline bool FailWith(std::string* why, std::string reason) {
  *why = std::move(reason);
  return false;
}
