#include "backup/FileBackup_win.h"

#include <windows.h>

#include <vector>

#include "backup/BackupName.h"
#include "backup/FolderTrust.h"
#include "backup/TrustedFolder_win.h"
#include "common/FailWith.h"
#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"

namespace {

class FileBackup : public BackupFile {
 public:
  FileBackup(std::string path, bool inFolder) : path_(std::move(path)), inFolder_(inFolder) {}

  std::string Name() const override { return name_; }

  bool Create(std::string* why) override {
    std::wstring wide;
    const std::wstring full = WideFromUtf8(path_, &wide) ? PlainFullName(wide) : std::wstring();
    if (full.empty()) {
      return FailWith(why, path_ + " is not a plain file or folder name");
    }
    ProcessIdentity identity;
    if (!CurrentIdentity(&identity)) {
      return FailWith(why, ErrorText("cannot tell which account the program runs as"));
    }
    const LocalDescriptor own =
        DescriptorFromSddl(OwnAccessList(identity.elevated, identity.account));
    if (!own) {
      return FailWith(why, ErrorText("cannot make the backup's access list"));
    }
    const std::wstring folder = inFolder_ ? full : ParentFolder(full);
    const std::wstring file = inFolder_ ? full + L"\\" + NewFileName() : full;
    if (folder.empty()) {
      return FailWith(why, Utf8(full) + " is not a file in a folder");
    }
    std::vector<FileHandle> held;
    if (!HoldTrustedFolder(folder, inFolder_, identity.account, own.get(), "for a backup", &held,
                           why)) {
      return false;
    }
    folder_ = folder.back() == L'\\' ? folder : folder + L"\\";
    return MakeFile(file, own.get(), why);
  }

  bool Write(const std::string& bytes, std::string* why) override {
    std::size_t written = 0;
    while (written < bytes.size()) {
      DWORD chunk = 0;
      if (!WriteFile(file_.get(), bytes.data() + written,
                     static_cast<DWORD>(bytes.size() - written), &chunk, nullptr) ||
          chunk == 0) {
        return FailWith(why, ErrorText("cannot write " + name_));
      }
      written += chunk;
    }
    return true;
  }

  bool CutTo(std::uint64_t size, std::string* why) override {
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    return (SetFilePointerEx(file_.get(), end, nullptr, FILE_BEGIN) && SetEndOfFile(file_.get())) ||
           FailWith(why, ErrorText("cannot cut " + name_ + " back"));
  }

  bool Flush(std::string* why) override {
    return FlushFileBuffers(file_.get()) != 0 || FailWith(why, ErrorText("cannot flush " + name_));
  }

  bool FreeSpace(std::uint64_t* bytes, std::string* why) override {
    // As the account the program runs as may use it, quotas included.
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(folder_.c_str(), &available, nullptr, nullptr)) {
      return FailWith(why, ErrorText("cannot read the free space of " + Utf8(folder_)));
    }
    *bytes = available.QuadPart;
    return true;
  }

  bool Discard(std::string* why) override {
    // Through the handle it was made with: no other file of that name can be removed instead.
    FILE_DISPOSITION_INFO remove{TRUE};
    if (!SetFileInformationByHandle(file_.get(), FileDispositionInfo, &remove, sizeof(remove))) {
      return FailWith(why, ErrorText("cannot remove " + name_));
    }
    file_ = FileHandle();
    name_.clear();
    return true;
  }

 private:
  static std::wstring NewFileName() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    const std::string name =
        BackupFileName({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
                       GetCurrentProcessId());
    return std::wstring(name.begin(), name.end());
  }

  // Makes the file, new, for the program alone, and checks that it is the file asked for and
  // has no other name; a file that is not is removed again before anything is written.
  bool MakeFile(const std::wstring& file, PSECURITY_DESCRIPTOR own, std::string* why) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), own, FALSE};
    HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return FailWith(why, error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                               ? Utf8(file) + " exists already"
                               : ErrorText("cannot make " + Utf8(file)));
    }
    FileHandle handle(made);
    std::string wrong;
    if (!NewFileSound(handle.get(), file, &wrong)) {
      FILE_DISPOSITION_INFO remove{TRUE};
      SetFileInformationByHandle(handle.get(), FileDispositionInfo, &remove, sizeof(remove));
      return FailWith(why, wrong);
    }
    file_ = std::move(handle);
    name_ = Utf8(file);
    return true;
  }

  std::string path_;
  bool inFolder_;
  std::wstring folder_;  // the file's folder, with a closing backslash
  std::string name_;
  FileHandle file_;
};

}  // namespace

std::unique_ptr<BackupFile> MakeFileBackup(const std::string& path, bool inFolder) {
  return std::make_unique<FileBackup>(path, inFolder);
}
