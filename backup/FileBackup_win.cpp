#include "backup/FileBackup_win.h"

#include <windows.h>

#include <vector>

#include "backup/BackupName.h"
#include "backup/FileSecurity_win.h"
#include "backup/HandleChecks_win.h"
#include "common/UniqueHandle_win.h"
#include "registry/WideText_win.h"

namespace {

// The file's name as the platform takes it; false for a name that is not UTF-8.
bool WideFromUtf8(const std::string& text, std::wstring* wide) {
  if (text.empty()) {
    wide->clear();
    return true;
  }
  const int length = static_cast<int>(text.size());
  const int units =
      MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
  if (units <= 0) {
    return false;
  }
  wide->assign(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, wide->data(), units);
  return true;
}

// Keeps the last error, so that a failure's message can name the file before it tells the error.
std::string Utf8(const std::wstring& wide) {
  const DWORD error = GetLastError();
  std::string text = Utf8FromWide(wide.data(), static_cast<int>(wide.size()));
  SetLastError(error);
  return text;
}

std::string ErrorText(const std::string& what) {
  return what + " (error " + std::to_string(GetLastError()) + ")";
}

// The name made absolute against the working folder, without a closing backslash; empty for
// one that is not a plain name on a drive or share: a device, a "\\?\" name, a stream.
std::wstring FullName(const std::wstring& name) {
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return std::wstring();
  }
  full.resize(written);
  const bool onDrive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\';
  const bool onShare =
      full.size() > 2 && full.compare(0, 2, L"\\\\") == 0 && full[2] != L'?' && full[2] != L'.';
  if (!onDrive && !onShare) {
    return std::wstring();
  }
  if (full.find(L':', onDrive ? 2 : 0) != std::wstring::npos) {
    return std::wstring();
  }
  while (full.size() > 3 && full.back() == L'\\') {
    full.pop_back();
  }
  return full;
}

// The folder holding `name`; empty for a drive's or share's root.
std::wstring Parent(const std::wstring& name) {
  const std::size_t slash = name.find_last_of(L'\\');
  if (slash == std::wstring::npos || slash + 1 == name.size()) {
    return std::wstring();
  }
  const std::wstring parent = name.substr(0, slash);
  if (parent.size() == 2 && parent[1] == L':') {
    return parent + L"\\";
  }
  // A share's root, "\\server\share", holds no backup of ours and has no folder above.
  return parent.find(L'\\', 2) == std::wstring::npos ? std::wstring() : parent;
}

void CloseFile(HANDLE file) {
  CloseHandle(file);
}
using FileHandle = UniqueHandle<HANDLE, CloseFile>;

class FileBackup : public BackupFile {
 public:
  FileBackup(std::string path, bool inFolder) : path_(std::move(path)), inFolder_(inFolder) {}

  std::string Name() const override { return name_; }

  bool Create() override {
    std::wstring wide;
    const std::wstring full = WideFromUtf8(path_, &wide) ? FullName(wide) : std::wstring();
    if (full.empty()) {
      return Fail(path_ + " is not a plain file or folder name");
    }
    ProcessIdentity identity;
    if (!CurrentIdentity(&identity)) {
      return Fail(ErrorText("cannot tell which account the program runs as"));
    }
    const LocalDescriptor own =
        DescriptorFromSddl(OwnAccessList(identity.elevated, identity.account));
    if (!own) {
      return Fail(ErrorText("cannot make the backup's access list"));
    }
    const std::wstring folder = inFolder_ ? full : Parent(full);
    const std::wstring file = inFolder_ ? full + L"\\" + NewFileName() : full;
    if (folder.empty()) {
      return Fail(Utf8(full) + " is not a file in a folder");
    }
    std::vector<FileHandle> held;
    if (!HoldFolder(folder, identity.account, own.get(), &held)) {
      return false;
    }
    return MakeFile(file, own.get());
  }

  bool Write(const std::string& bytes) override {
    std::size_t written = 0;
    while (written < bytes.size()) {
      DWORD chunk = 0;
      if (!WriteFile(file_.get(), bytes.data() + written,
                     static_cast<DWORD>(bytes.size() - written), &chunk, nullptr) ||
          chunk == 0) {
        return Fail(ErrorText("cannot write " + name_));
      }
      written += chunk;
    }
    return true;
  }

  bool Flush() override {
    return FlushFileBuffers(file_.get()) != 0 || Fail(ErrorText("cannot flush " + name_));
  }

  std::string Failure() const override { return failure_; }

 private:
  bool Fail(const std::string& why) {
    failure_ = why;
    return false;
  }

  static std::wstring NewFileName() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    const std::string name =
        BackupFileName({now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond},
                       GetCurrentProcessId());
    return std::wstring(name.begin(), name.end());
  }

  // Opens the folder itself, never what a link in its place names, and checks that it is the
  // folder asked for and that nobody else may change what it holds. The handle, which does not
  // share deletion, keeps it from being renamed or replaced while the backup is made.
  bool OpenFolder(const std::wstring& folder, const std::string& account, FileHandle* held) {
    HANDLE opened = CreateFileW(folder.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
      return Fail(ErrorText("cannot open the folder " + Utf8(folder)));
    }
    *held = FileHandle(opened);
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(held->get(), &information)) {
      return Fail(ErrorText("cannot read the folder " + Utf8(folder)));
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      return Fail(Utf8(folder) + " is not a folder");
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        !SameName(FinalName(held->get()), folder)) {
      return Fail(Utf8(folder) + " leads elsewhere through a link");
    }
    SecurityModel security;
    if (!ReadSecurityModel(held->get(), &security)) {
      return Fail(ErrorText("cannot read who may change " + Utf8(folder)));
    }
    const std::string refusal = FolderRefusal(security, account);
    return refusal.empty() || Fail(Utf8(folder) + " is not safe for a backup: " + refusal);
  }

  // Checks the folder the backup goes in, or the nearest one above it that exists, then makes
  // the missing ones below, each for the program alone, holding every one open.
  bool HoldFolder(const std::wstring& folder, const std::string& account, PSECURITY_DESCRIPTOR own,
                  std::vector<FileHandle>* held) {
    std::vector<std::wstring> missing;
    std::wstring existing = folder;
    while (GetFileAttributesW(existing.c_str()) == INVALID_FILE_ATTRIBUTES) {
      if (!inFolder_ || Parent(existing).empty()) {
        return Fail(ErrorText("the folder " + Utf8(existing) + " cannot be found"));
      }
      missing.push_back(existing);
      existing = Parent(existing);
    }
    held->emplace_back();
    if (!OpenFolder(existing, account, &held->back())) {
      return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), own, FALSE};
    for (; !missing.empty(); missing.pop_back()) {
      // One that appeared meanwhile was made by someone else: never taken.
      if (!CreateDirectoryW(missing.back().c_str(), &attributes)) {
        return Fail(ErrorText("cannot make the folder " + Utf8(missing.back())));
      }
      held->emplace_back();
      if (!OpenFolder(missing.back(), account, &held->back())) {
        return false;
      }
    }
    return true;
  }

  // Makes the file, new, for the program alone, and checks that it is the file asked for and
  // has no other name; a file that is not is removed again before anything is written.
  bool MakeFile(const std::wstring& file, PSECURITY_DESCRIPTOR own) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), own, FALSE};
    HANDLE made = CreateFileW(file.c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return Fail(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                      ? Utf8(file) + " exists already"
                      : ErrorText("cannot make " + Utf8(file)));
    }
    FileHandle handle(made);
    const std::string wrong = NewFileProblem(handle.get(), file);
    if (!wrong.empty()) {
      FILE_DISPOSITION_INFO remove{TRUE};
      SetFileInformationByHandle(handle.get(), FileDispositionInfo, &remove, sizeof(remove));
      return Fail(wrong);
    }
    file_ = std::move(handle);
    name_ = Utf8(file);
    return true;
  }

  std::string path_;
  bool inFolder_;
  std::string name_;
  FileHandle file_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<BackupFile> MakeFileBackup(const std::string& path, bool inFolder) {
  return std::make_unique<FileBackup>(path, inFolder);
}
