#pragma once

#include <windows.h>

#include <string>

// The name the platform reaches the open file or folder by, links and junctions resolved, as
// "C:\..." or "\\server\share\..."; empty when it cannot tell.
std::wstring FinalName(HANDLE handle);

// Whether two full names name the same place, as the platform compares names: without regard
// to case.
bool SameName(const std::wstring& one, const std::wstring& other);

// Why the file open as `handle` is not the new file `name` alone: it is reached through a link,
// or has another name (a hard link), or is itself a reparse point; empty when it is.
std::string NewFileProblem(HANDLE handle, const std::wstring& name);
