#pragma once

#include <cstdint>
#include <vector>

#include "clean/CleanTargets.h"
#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"

// What a run does with each key it finds present.
class TargetAction {
 public:
  virtual ~TargetAction() = default;
  // The key was found present; false stops the run, the action having said why.
  virtual bool Take(TRegistry& registry, const CleanTarget& key) = 0;
  // The module-usage list is present but could not be opened: the run stops with this text.
  virtual void ListOpenFailed(const char* text) = 0;
};

// The fixed targets in the order a run takes them; with allUsers, each fixed target that has
// copies in hives is followed by its copy in each hive of that kind loaded under HKEY_USERS, in
// the order the platform lists them.
std::vector<CleanTarget> TargetsInOrder(RegistryReads& api, bool allUsers);

// Walks the clean's keys in order, with one registry object whose opens ask for the given access:
// each of TargetsInOrder that KeyPresent finds, then each module-usage entry whose name holds the
// control's file name. A list that cannot be opened with that access is read with read rights:
// holding no entry of the control, it is passed over. The root is selected again before every
// target. False when the run was stopped.
bool WalkTargets(RegistryReads& api, std::uint32_t access, bool allUsers, TargetAction& action);
