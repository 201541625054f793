#pragma once

#include <windows.h>

#include <string>

#include "common/FilePlaces_win.h"
#include "common/PlaceFacts.h"

// The name the platform reaches the open file or folder by, links and junctions resolved, as
// "C:\..." or "\\server\share\..."; empty when it cannot tell.
std::wstring FinalName(HANDLE handle);

// The same as the platform's device name, "\Device\HarddiskVolume2\...", as the list of loaded
// hives names files; empty when it cannot tell.
std::wstring DeviceFinalName(HANDLE handle);

// Whether two full names name the same place, as the platform compares names: without regard
// to case.
bool SameName(const std::wstring& one, const std::wstring& other);

// Whether the file open as `handle` is the new file `name` alone; false, with why, when it is
// reached through a link, or has another name (a hard link), or is itself a reparse point.
bool NewFileSound(HANDLE handle, const std::wstring& name, std::string* why);

// Opens the file or folder `name` itself, never what a link in its place names, with `access`,
// sharing reading and writing but not deletion. Where `access` holds data access (a folder's
// listing, a file's reading) the platform counts that sharing: nobody can rename, move or delete
// it while the handle is held. Empty, with the last error set, when it cannot be opened.
FileHandle OpenItself(const std::wstring& name, DWORD access);

// What the platform tells of the file or folder open as `handle` (with FILE_READ_ATTRIBUTES and
// READ_CONTROL), which was opened by `name`; false, with the last error set, when it would not
// tell. An owner that cannot be read is left empty.
bool ReadPlaceFacts(HANDLE handle, const std::wstring& name, PlaceFacts* facts);
