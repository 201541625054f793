#include "console/FileBackup_win.h"

#include <windows.h>

#include "app/UniqueHandle_win.h"
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

// The name made absolute against the working folder; empty when the platform cannot.
std::wstring FullName(const std::wstring& name) {
  const DWORD length = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  const DWORD written = GetFullPathNameW(name.c_str(), length, full.data(), nullptr);
  if (written == 0 || written >= length) {
    return std::wstring();
  }
  full.resize(written);
  return full;
}

void CloseFile(HANDLE file) {
  CloseHandle(file);
}
using FileHandle = UniqueHandle<HANDLE, CloseFile>;

class FileBackup : public BackupFile {
 public:
  explicit FileBackup(std::string path) : path_(std::move(path)) {}

  std::string Name() const override { return name_; }

  bool Create() override {
    std::wstring wide;
    if (!WideFromUtf8(path_, &wide) || wide.empty()) {
      return Fail(path_ + " is not a file name");
    }
    const std::wstring full = FullName(wide);
    if (full.empty()) {
      return Fail(path_ + " is not a file name");
    }
    const std::string fullUtf8 = Utf8FromWide(full.data(), static_cast<int>(full.size()));
    // Only a file that was not there before: nothing that exists, a link least of all, is
    // ever written to.
    HANDLE made = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return Fail(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                      ? fullUtf8 + " exists already"
                      : "cannot make " + fullUtf8 + " (error " + std::to_string(error) + ")");
    }
    file_ = FileHandle(made);
    name_ = fullUtf8;
    return true;
  }

  bool Write(const std::string& bytes) override {
    std::size_t written = 0;
    while (written < bytes.size()) {
      DWORD chunk = 0;
      if (!WriteFile(file_.get(), bytes.data() + written,
                     static_cast<DWORD>(bytes.size() - written), &chunk, nullptr) ||
          chunk == 0) {
        return Fail("cannot write " + name_ + " (error " + std::to_string(GetLastError()) + ")");
      }
      written += chunk;
    }
    return true;
  }

  bool Flush() override {
    return FlushFileBuffers(file_.get()) != 0 ||
           Fail("cannot flush " + name_ + " (error " + std::to_string(GetLastError()) + ")");
  }

  std::string Failure() const override { return failure_; }

 private:
  bool Fail(const std::string& why) {
    failure_ = why;
    return false;
  }

  std::string path_;
  std::string name_;
  FileHandle file_;
  std::string failure_;
};

}  // namespace

std::unique_ptr<BackupFile> OpenFileBackup(const std::string& path) {
  return std::make_unique<FileBackup>(path);
}
