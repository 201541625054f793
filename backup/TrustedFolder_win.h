#pragma once

#include <string>
#include <vector>

#include "common/FilePlaces_win.h"

// Opens the folder itself, never what a link in its place names, and checks that it is the folder
// asked for and that nobody but `account`, SYSTEM, Administrators and TrustedInstaller may change
// what it holds or who may; `purpose` ends the message of a folder that fails ("for a backup").
// The handle, which does not share deletion, keeps the folder from being renamed or replaced
// while it is held. False, with *failure telling why.
bool OpenTrustedFolder(const std::wstring& folder, const std::string& account,
                       const std::string& purpose, FileHandle* held, std::string* failure);

// Holds `folder` open as OpenTrustedFolder does. With `makeMissing`, a folder that is missing is
// made, with the folders missing above it, each with the descriptor `own`: the nearest one that
// exists is checked first, and each one made is checked and held in turn. Every folder held is
// added to `held`; false, with why.
bool HoldTrustedFolder(const std::wstring& folder, bool makeMissing, const std::string& account,
                       PSECURITY_DESCRIPTOR own, const std::string& purpose,
                       std::vector<FileHandle>* held, std::string* why);

// Whether the file that exists open as `file` (with READ_CONTROL and FILE_READ_ATTRIBUTES),
// opened by `name` without following a reparse point, is that plain file itself, with no other
// name, that only the trusted may change as OpenTrustedFolder says; false, with why: a phrase
// that follows the file's name ("leads elsewhere through a link").
bool TrustedFileSound(HANDLE file, const std::wstring& name, const std::string& account,
                      const std::string& purpose, std::string* why);
