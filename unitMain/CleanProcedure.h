#pragma once

#include "registry/RegistryApi.h"
#include "unitMain/CleanWindow.h"

// Removes the control's four keys and its module-usage entries, logging each deleted key. The
// first key that cannot be opened or deleted stops the run with a notice; a run that reaches its
// end shows "Done!". Every open key is released on every way out, an escaping exception included.
void RunClean(RegistryApi& registry, CleanWindow& window);
