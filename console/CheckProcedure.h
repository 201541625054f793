#pragma once

#include <string>
#include <vector>

#include "console/Report.h"
#include "registry/RegistryApi.h"

struct CheckResult {
  std::vector<ReportedKey> keys;  // what the clean would delete, in its order, with counts
  std::string stopText;           // the clean's notice where the walk could not go on
};

// Finds what the clean would delete, by the same walk and the same rules, and changes nothing.
CheckResult RunCheck(RegistryApi& api, bool allUsers);
