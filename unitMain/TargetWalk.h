#pragma once

#include <cstdint>

#include "registry/RegistryApi.h"
#include "registry/TRegistry.h"
#include "unitMain/CleanTargets.h"

// What a run does with each key it finds present.
class TargetAction {
 public:
  virtual ~TargetAction() = default;
  // The key was found present; false stops the run, the action having said why.
  virtual bool Take(TRegistry& registry, const CleanTarget& key) = 0;
  // The module-usage list is present but could not be opened: the run stops with this text.
  virtual void ListOpenFailed(const char* text) = 0;
};

// Walks the clean's keys in order, with one registry object whose opens ask for the given access:
// each fixed target that KeyPresent finds (with allUsers, each loaded user's statistics key after
// the current user's), then each module-usage entry whose name holds the control's file name.
// The root is selected again before every target. False when the run was stopped.
bool WalkTargets(RegistryApi& api, std::uint32_t access, bool allUsers, TargetAction& action);
