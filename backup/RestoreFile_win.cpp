#include "backup/RestoreFile_win.h"

#include <windows.h>

#include "backup/TrustedFolder_win.h"
#include "common/FailWith.h"
#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"

namespace {

// The file and its folder, held while restore reads the file.
class HeldBackup : public BackupSource {
 public:
  HeldBackup(FileHandle folder, FileHandle file)
      : folder_(std::move(folder)), file_(std::move(file)) {}

  bool ReadAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t size, std::size_t* read,
              std::string* why) override {
    *read = 0;
    while (*read < size) {
      const std::uint64_t at = offset + *read;
      OVERLAPPED place = {};
      place.Offset = static_cast<DWORD>(at);
      place.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD count = 0;
      if (!ReadFile(file_.get(), buffer + *read, static_cast<DWORD>(size - *read), &count,
                    &place)) {
        if (GetLastError() == ERROR_HANDLE_EOF) {
          return true;
        }
        return FailWith(why, ErrorText("cannot be read"));
      }
      if (count == 0) {
        return true;
      }
      *read += count;
    }
    return true;
  }

 private:
  FileHandle folder_;
  FileHandle file_;
};

}  // namespace

std::unique_ptr<BackupSource> OpenBackupToRestore(const std::string& path, std::string* failure) {
  const auto fail = [&](const std::string& why) -> std::unique_ptr<BackupSource> {
    *failure = why;
    return nullptr;
  };
  std::wstring wide;
  const std::wstring full = WideFromUtf8(path, &wide) ? PlainFullName(wide) : std::wstring();
  if (full.empty()) {
    return fail("is not a plain file name");
  }
  const std::wstring folderName = ParentFolder(full);
  if (folderName.empty()) {
    return fail("is not a file in a folder");
  }
  ProcessIdentity identity;
  if (!CurrentIdentity(&identity)) {
    return fail(ErrorText("cannot be checked: the account the program runs as is unknown"));
  }
  FileHandle folder;
  std::string why;
  if (!OpenTrustedFolder(folderName, identity.account, "to restore from", &folder, &why)) {
    return fail("cannot be restored from: " + why);
  }
  // Others may read it meanwhile, but neither write to it nor take it away. A named pipe a user
  // made in its place may learn who reads it, but never act as them.
  HANDLE opened = CreateFileW(
      full.c_str(), GENERIC_READ | READ_CONTROL, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
      FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    return fail(ErrorText("cannot be opened for reading"));
  }
  FileHandle file(opened);
  if (!TrustedFileSound(file.get(), full, identity.account, "to restore from", &why)) {
    return fail(why);
  }
  return std::make_unique<HeldBackup>(std::move(folder), std::move(file));
}
