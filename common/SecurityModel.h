#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One entry of a discretionary access list, as the platform's descriptor holds it.
struct AccessEntry {
  std::uint8_t type = 0;   // ACCESS_ALLOWED_ACE_TYPE (0), ACCESS_DENIED_ACE_TYPE (1), ...
  std::uint8_t flags = 0;  // OBJECT_INHERIT_ACE (1), ..., INHERIT_ONLY_ACE (8), ...
  std::uint32_t mask = 0;  // the rights, generic ones not yet mapped
  std::string sid;         // "S-1-5-18", ...
};

// What a file's or folder's security descriptor says about who may change it.
struct SecurityModel {
  std::string owner;         // the owner's SID, "S-1-5-32-544", ...
  bool daclPresent = false;  // false for a NULL DACL, which grants everyone everything
  std::vector<AccessEntry> dacl;
};
