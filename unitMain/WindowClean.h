#pragma once

#include "registry/RegistryApi.h"
#include "unitMain/CleanWindow.h"

// The clean as the main window shows it: the log cleared, each deleted key logged as two lines
// (its root, then its path) as it goes, then the notice of a stop, or "Done!" in the status bar.
void RunCleanInWindow(RegistryReads& registry, CleanWindow& window);
