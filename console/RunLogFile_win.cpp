#include "console/RunLogFile_win.h"

#include <windows.h>

#include <shlobj.h>
#include <vector>

#include "backup/FolderTrust.h"
#include "backup/TrustedFolder_win.h"
#include "common/FailWith.h"
#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"

namespace {

// Appending only, so every write lands at the end; viewers may read, and rename the file as the
// deployment tools' own roll-over does, while the run writes.
constexpr DWORD kAccess = FILE_APPEND_DATA | READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The default log's folder: elevated, the system's log folder, which only administrators may
// change; otherwise the user's own local application data. Empty when the platform cannot tell.
std::wstring DefaultFolder(bool elevated) {
  wchar_t folder[MAX_PATH];
  if (elevated) {
    const UINT length = GetSystemWindowsDirectoryW(folder, MAX_PATH);
    return length == 0 || length >= MAX_PATH ? std::wstring()
                                             : std::wstring(folder, length) + L"\\Logs\\Tessaline";
  }
  return SUCCEEDED(
             SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder))
             ? std::wstring(folder) + L"\\Tessaline"
             : std::wstring();
}

class WindowsLogFile : public LogFile {
 public:
  WindowsLogFile(std::wstring name, std::vector<FileHandle> folders, LocalDescriptor own,
                 std::string account)
      : name_(std::move(name)),
        folders_(std::move(folders)),
        own_(std::move(own)),
        account_(std::move(account)) {}

  std::string Name() const override { return Utf8(name_); }
  std::uint64_t Size() const override { return size_; }

  bool Append(const std::string& bytes, std::string* why) override {
    DWORD written = 0;
    if (!WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr) ||
        written != bytes.size()) {
      return FailWith(why, ErrorText("cannot write " + Name()));
    }
    size_ += written;
    return true;
  }

  bool RollOver(std::string* why) override {
    // Renamed through a handle of its own, checked to be this very file; a link at the new name
    // is replaced, never followed.
    const FileHandle renaming = OpenItself(name_, DELETE | READ_CONTROL | FILE_READ_ATTRIBUTES);
    PlaceFacts named;
    PlaceFacts open;
    if (!renaming || !ReadPlaceFacts(renaming.get(), name_, &named) ||
        !ReadPlaceFacts(file_.get(), name_, &open) || named.reparsePoint ||
        named.volume != open.volume || named.index != open.index) {
      return FailWith(why, ErrorText(Name() + " cannot be rolled over: it is not the file open"));
    }
    std::wstring rolled;
    WideFromUtf8(RolledOverName(Name()), &rolled);
    std::vector<BYTE> information(sizeof(FILE_RENAME_INFO) + rolled.size() * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(information.data());
    rename->ReplaceIfExists = TRUE;
    rename->FileNameLength = static_cast<DWORD>(rolled.size() * sizeof(wchar_t));
    rolled.copy(rename->FileName, rolled.size());
    if (!SetFileInformationByHandle(renaming.get(), FileRenameInfo, rename,
                                    static_cast<DWORD>(information.size()))) {
      return FailWith(why, ErrorText("cannot rename " + Name() + " to " + Utf8(rolled)));
    }
    file_ = FileHandle();
    return MakeNew(why);
  }

  // Opens the log that exists, checked as restore checks its file, or makes it new.
  bool Open(std::string* why) {
    HANDLE opened = CreateFileW(
        name_.c_str(), kAccess, kSharing, nullptr, OPEN_EXISTING,
        FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
      return GetLastError() == ERROR_FILE_NOT_FOUND
                 ? MakeNew(why)
                 : FailWith(why, ErrorText("cannot open " + Name()));
    }
    file_ = FileHandle(opened);
    LARGE_INTEGER size;
    if (!TrustedFileSound(file_.get(), name_, account_, "for a log", why)) {
      return FailWith(why, Name() + " " + *why);
    }
    if (!GetFileSizeEx(file_.get(), &size)) {
      return FailWith(why, ErrorText("cannot read the size of " + Name()));
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
    return true;
  }

 private:
  // Made new, for the program alone, as the backup file is: never a file that exists.
  bool MakeNew(std::string* why) {
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), own_.get(), FALSE};
    HANDLE made = CreateFileW(name_.c_str(), kAccess, kSharing, &attributes, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
      return FailWith(why, ErrorText("cannot make " + Name()));
    }
    file_ = FileHandle(made);
    size_ = 0;
    return NewFileSound(file_.get(), name_, why);
  }

  std::wstring name_;
  std::vector<FileHandle> folders_;  // held while the log is open
  LocalDescriptor own_;
  std::string account_;
  FileHandle file_;
  std::uint64_t size_ = 0;
};

}  // namespace

std::unique_ptr<LogFile> WindowsLogPlatform::Open(const std::string& path, std::string* why) {
  const auto fail = [&](const std::string& reason) -> std::unique_ptr<LogFile> {
    *why = reason;
    return nullptr;
  };
  ProcessIdentity identity;
  if (!CurrentIdentity(&identity)) {
    return fail(ErrorText("cannot tell which account the program runs as"));
  }
  std::wstring full;
  std::wstring wide;
  if (path.empty()) {
    const std::wstring folder = DefaultFolder(identity.elevated);
    if (folder.empty()) {
      return fail(ErrorText("the folder of the default log cannot be found"));
    }
    full = folder + L"\\tessaline-clean.log";
  } else if (!WideFromUtf8(path, &wide) || (full = PlainFullName(wide)).empty() ||
             ParentFolder(full).empty()) {
    return fail(path + " is not a plain file name");
  }
  LocalDescriptor own = DescriptorFromSddl(OwnAccessList(identity.elevated, identity.account));
  if (!own) {
    return fail(ErrorText("cannot make the log's access list"));
  }
  std::vector<FileHandle> held;
  if (!HoldTrustedFolder(ParentFolder(full), path.empty(), identity.account, own.get(), "for a log",
                         &held, why)) {
    return nullptr;
  }
  auto log =
      std::make_unique<WindowsLogFile>(full, std::move(held), std::move(own), identity.account);
  return log->Open(why) ? std::move(log) : nullptr;
}

UtcTime WindowsLogPlatform::Now() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

Runner WindowsLogPlatform::Who() {
  Runner who;
  wchar_t name[257];  // the longest user name and its end
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  if (GetComputerNameW(name, &size)) {
    who.computer = Utf8(std::wstring(name, size));
  }
  size = 257;
  if (GetUserNameW(name, &size) && size > 0) {
    who.account = Utf8(std::wstring(name, size - 1));
  }
  ProcessIdentity identity;
  if (CurrentIdentity(&identity)) {
    who.account += " (" + identity.account + ")";
  }
  who.thread = GetCurrentThreadId();
  return who;
}
