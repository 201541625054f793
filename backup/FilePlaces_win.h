#pragma once

#include <windows.h>

#include <string>

#include "common/UniqueHandle_win.h"

// Names of files and folders as the backup and restore take them, and the folders they trust.

void CloseFile(HANDLE file);
using FileHandle = UniqueHandle<HANDLE, CloseFile>;

// The UTF-8 text as the platform's wide text; false for text that is not UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring* wide);
// The wide text in UTF-8, the last error kept, so that a failure's message can name a file before
// it tells the error.
std::string Utf8(const std::wstring& wide);
// "what (error N)", with the last error.
std::string ErrorText(const std::string& what);

// The name made absolute against the working folder, without a closing backslash; empty for one
// that is not a plain name on a drive or share: a device, a "\\?\" name, a stream.
std::wstring PlainFullName(const std::wstring& name);
// The folder holding `name`; empty for a drive's or share's root.
std::wstring ParentFolder(const std::wstring& name);

// Opens the folder itself, never what a link in its place names, and checks that it is the folder
// asked for and that nobody but `account`, SYSTEM, Administrators and TrustedInstaller may change
// what it holds or who may; `purpose` ends the message of a folder that fails ("for a backup").
// The handle, which does not share deletion, keeps the folder from being renamed or replaced
// while it is held. False, with *failure telling why.
bool OpenTrustedFolder(const std::wstring& folder, const std::string& account,
                       const std::string& purpose, FileHandle* held, std::string* failure);
