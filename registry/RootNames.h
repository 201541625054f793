#pragma once

#include <string>

#include "registry/RegistryApi.h"

// How the log and .reg files spell the predefined roots ("HKEY_CLASSES_ROOT", ...); null for any
// other handle.
const char* PredefinedRootName(RegHandle root);
// The predefined root spelled so, ASCII letters matched without regard to case; kNoHandle for any
// other name.
RegHandle PredefinedRootNamed(const std::string& name);
