#pragma once

#include <cstdint>
#include <string>

// What the platform tells of a file or folder opened as itself, never through a link in its place.
struct PlaceFacts {
  bool folder = false;
  bool reparsePoint = false;   // a link, a junction, or any other reparse point
  bool plain = true;           // on a disk: no device, pipe or console
  std::uint32_t links = 1;     // its names, hard links included
  bool reachedAsNamed = true;  // the platform's final name of it is the name it was opened by
  std::string owner;           // its owner's SID; empty when it could not be read
  std::uint32_t volume = 0;    // with index, which file it is
  std::uint64_t index = 0;
};
