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

void CloseFile(HANDLE file) {
  CloseHandle(file);
}
using FileHandle = UniqueHandle<HANDLE, CloseFile>;

class FileBackup : public BackupFile {
 public:
  explicit FileBackup(std::string path) : path_(std::move(path)) {}

  std::string Name() const override {
    std::wstring wide;
    if (!WideFromUtf8(path_, &wide)) {
      return path_;
    }
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    return written == 0 || written >= length ? path_ : Utf8FromWide(full.data(), written);
  }

  bool Open(std::size_t count, std::string* start) override {
    std::wstring wide;
    if (!WideFromUtf8(path_, &wide)) {
      return false;
    }
    // Append rights only: whatever the file held is never overwritten.
    HANDLE opened = CreateFileW(wide.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
      return false;
    }
    file_ = FileHandle(opened);
    start->assign(count, '\0');
    DWORD read = 0;
    if (count > 0 &&
        !ReadFile(file_.get(), start->data(), static_cast<DWORD>(count), &read, nullptr)) {
      return false;
    }
    start->resize(read);
    return true;
  }

  bool Append(const std::string& bytes) override {
    std::size_t written = 0;
    while (written < bytes.size()) {
      DWORD chunk = 0;
      if (!WriteFile(file_.get(), bytes.data() + written,
                     static_cast<DWORD>(bytes.size() - written), &chunk, nullptr) ||
          chunk == 0) {
        return false;
      }
      written += chunk;
    }
    return FlushFileBuffers(file_.get()) != 0;
  }

 private:
  std::string path_;
  FileHandle file_;
};

}  // namespace

std::unique_ptr<BackupFile> OpenFileBackup(const std::string& path) {
  return std::make_unique<FileBackup>(path);
}
