#pragma once

#include <windows.h>

#include <string>

// Plants registry symbolic links for the tests: a key whose REG_LINK value "SymbolicLinkValue"
// names another key by its kernel name.

// The kernel's name of root\path, with path taken as it stands (no registry view applies).
std::wstring KernelKeyName(HKEY root, const std::string& path);

// Creates the link key name below parent, pointing at the kernel name target.
LONG CreateLinkKey(HKEY parent, const std::string& name, const std::wstring& target, REGSAM view);
