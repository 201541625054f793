#include "console/FilePresence_win.h"

#include <windows.h>

#include "common/FilePlaces_win.h"

bool FilePresent(const std::string& path) {
  std::wstring wide;
  // A letter may stand for a share, or for a drive that would ask for its disk.
  if (!WideFromUtf8(path, &wide) || wide.size() < 3 ||
      GetDriveTypeW(wide.substr(0, 3).c_str()) != DRIVE_FIXED) {
    return false;
  }
  // Each folder is asked of before the path goes through it: a link or a junction may lead to a
  // share. Asked of a link, the platform tells of the link itself.
  for (std::size_t end = wide.find(L'\\', 3);; end = wide.find(L'\\', end + 1)) {
    const DWORD attributes = GetFileAttributesW(wide.substr(0, end).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      return false;
    }
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (end == std::wstring::npos || !folder) {
      return end == std::wstring::npos && !folder;
    }
  }
}
