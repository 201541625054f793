#pragma once

#include <windows.h>

#include <string>

#include "common/UniqueHandle_win.h"

// Files and folders by name: the names a program takes as plain ones, and the owner of a handle.

void CloseFile(HANDLE file);
using FileHandle = UniqueHandle<HANDLE, CloseFile>;

// The UTF-8 text as the platform's wide text; false for text that is not UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring* wide);
// The wide text in UTF-8, the last error kept, so that a failure's message can name a file before
// it tells the error.
std::string Utf8(const std::wstring& wide);
// "what: the platform's message (error N)", with the last error.
std::string ErrorText(const std::string& what);

// The name made absolute against the working folder, without a closing backslash; empty for one
// that is not a plain name on a drive or share: a device, a "\\?\" name, a stream.
std::wstring PlainFullName(const std::wstring& name);
// The folder holding `name`; empty for a drive's or share's root.
std::wstring ParentFolder(const std::wstring& name);
