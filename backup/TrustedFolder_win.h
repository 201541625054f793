#pragma once

#include <string>

#include "common/FilePlaces_win.h"

// Opens the folder itself, never what a link in its place names, and checks that it is the folder
// asked for and that nobody but `account`, SYSTEM, Administrators and TrustedInstaller may change
// what it holds or who may; `purpose` ends the message of a folder that fails ("for a backup").
// The handle, which does not share deletion, keeps the folder from being renamed or replaced
// while it is held. False, with *failure telling why.
bool OpenTrustedFolder(const std::wstring& folder, const std::string& account,
                       const std::string& purpose, FileHandle* held, std::string* failure);
