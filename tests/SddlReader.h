#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "backup/FolderTrust.h"

// Reads the SDDL forms the folder cases use into the model the decision reads: the owner, a
// DACL or none, and entries of type A or D with their flags, rights (hex or two-letter codes)
// and SID (an alias or S-1-...). The platform reads the same texts in the Windows test.
inline SecurityModel ReadSddl(const std::string& sddl) {
  static const std::map<std::string, std::string> kSids = {
      {"SY", "S-1-5-18"}, {"BA", "S-1-5-32-544"}, {"BU", "S-1-5-32-545"}, {"CO", "S-1-3-0"},
      {"WD", "S-1-1-0"},  {"AU", "S-1-5-11"},     {"OW", "S-1-3-4"},      {"AC", "S-1-15-2-1"}};
  static const std::map<std::string, std::uint32_t> kRights = {
      {"GA", 0x10000000}, {"GR", 0x80000000}, {"GW", 0x40000000}, {"GX", 0x20000000},
      {"FA", 0x001F01FF}, {"FR", 0x00120089}, {"FW", 0x00120116}, {"FX", 0x001200A0},
      {"RC", 0x00020000}, {"SD", 0x00010000}, {"WD", 0x00040000}, {"WO", 0x00080000},
      {"CC", 0x1},        {"DC", 0x2},        {"LC", 0x4},        {"SW", 0x8},
      {"RP", 0x10},       {"WP", 0x20},       {"DT", 0x40},       {"LO", 0x80},
      {"CR", 0x100}};
  static const std::map<std::string, std::uint8_t> kFlags = {
      {"OI", 0x01}, {"CI", 0x02}, {"NP", 0x04}, {"IO", 0x08}, {"ID", 0x10}};
  const auto sid = [&](const std::string& text) {
    const auto alias = kSids.find(text);
    if (alias != kSids.end()) {
      return alias->second;
    }
    if (text.rfind("S-1-", 0) != 0) {
      throw std::invalid_argument("unknown SID " + text);
    }
    return text;
  };
  const auto pairs = [](const std::string& text, const auto& table, auto value) {
    if (text.size() % 2 != 0) {
      throw std::invalid_argument("odd code list " + text);
    }
    for (std::size_t at = 0; at < text.size(); at += 2) {
      value |= table.at(text.substr(at, 2));
    }
    return value;
  };
  // Owner, group and DACL come in that order; a SID holds no colon, an entry no "S:".
  const auto part = [&](const char* name, const char* next) -> std::pair<bool, std::string> {
    const std::size_t start = sddl.find(name);
    if (start == std::string::npos) {
      return {false, std::string()};
    }
    std::size_t end = sddl.size();
    for (const char* after = next; *after != '\0'; ++after) {
      end = std::min(end, sddl.find(std::string(1, *after) + ":", start + 2));
    }
    return {true, sddl.substr(start + 2, end - start - 2)};
  };

  SecurityModel model;
  model.owner = sid(part("O:", "GDS").second);
  const auto [hasDacl, dacl] = part("D:", "S");
  model.daclPresent = hasDacl && dacl != "NO_ACCESS_CONTROL";
  std::size_t at = dacl.find('(');
  while (model.daclPresent && at != std::string::npos) {
    const std::size_t close = dacl.find(')', at);
    std::string fields[6];
    std::size_t field = 0;
    for (std::size_t index = at + 1; index < close; ++index) {
      if (dacl[index] == ';') {
        ++field;
      } else {
        fields[field] += dacl[index];
      }
    }
    if (field != 5 || (fields[0] != "A" && fields[0] != "D")) {
      throw std::invalid_argument("unsupported ACE " + dacl.substr(at, close - at + 1));
    }
    AccessEntry entry;
    entry.type = fields[0] == "A" ? 0 : 1;
    entry.flags = pairs(fields[1], kFlags, std::uint8_t{0});
    entry.mask = fields[2].rfind("0x", 0) == 0
                     ? static_cast<std::uint32_t>(std::stoul(fields[2], nullptr, 16))
                     : pairs(fields[2], kRights, std::uint32_t{0});
    entry.sid = sid(fields[5]);
    model.dacl.push_back(entry);
    at = dacl.find('(', close);
  }
  return model;
}
