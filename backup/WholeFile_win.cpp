#include "backup/WholeFile_win.h"

#include <windows.h>

#include "common/UniqueHandle_win.h"
#include "registry/Utf16.h"

namespace {

using File = UniqueHandle<HANDLE, &CloseHandle>;

// More than a 32-bit process can hold beside what the file's text turns into.
constexpr LONGLONG kLargestBackup = 512LL * 1024 * 1024;

std::string Because(const char* what) {
  return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* failure) {
  const std::u16string name = Utf8ToUtf16(path);
  // A named pipe a user made in the file's place may learn who reads it, but never act as them.
  const HANDLE opened =
      CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_READ, FILE_SHARE_READ,
                  nullptr, OPEN_EXISTING,
                  FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    *failure = Because("cannot be opened for reading");
    return false;
  }
  const File file(opened);
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file.get(), &size)) {
    *failure = Because("cannot be read");
    return false;
  }
  if (size.QuadPart > kLargestBackup) {
    *failure = "is larger than any backup this program restores";
    return false;
  }
  bytes->assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t done = 0;
  while (done < bytes->size()) {
    DWORD read = 0;
    if (!ReadFile(file.get(), &(*bytes)[done], static_cast<DWORD>(bytes->size() - done), &read,
                  nullptr)) {
      *failure = Because("cannot be read");
      return false;
    }
    // The file was made shorter while it was read: what is there is all there is.
    if (read == 0) {
      bytes->resize(done);
      break;
    }
    done += read;
  }
  return true;
}
