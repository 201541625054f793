#include "users/HiveFileHold_win.h"

#include <windows.h>
// ntsecapi.h needs the declarations of windows.h before it.
#include <ntsecapi.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/FailWith.h"
#include "common/FilePlaces_win.h"
#include "common/FileSecurity_win.h"
#include "common/HandleChecks_win.h"
#include "users/HiveRules.h"

namespace {

// A folder held so that nobody can rename, move or delete it: listed, not shared for deletion.
constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL;
// A file looked at without reading it, which the platform's load, sharing nothing, tolerates.
constexpr DWORD kLookAccess = FILE_READ_ATTRIBUTES | READ_CONTROL;
// The logs the platform writes a hive's changes to first, and replays from at the next load.
constexpr const wchar_t* kLogs[] = {L".LOG1", L".LOG2"};

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// A full name on a local disk ("C:\Users\bob"), as the platform spells it long; empty for any
// other: a share, a device, a "\\?\" name, a stream, a name with "." or ".." in it.
std::wstring LocalFullName(const std::string& utf8) {
  std::wstring name;
  if (!WideFromUtf8(utf8, &name)) {
    return std::wstring();
  }
  while (name.size() > 3 && name.back() == L'\\') {
    name.pop_back();
  }
  const std::wstring full = PlainFullName(name);
  if (full.size() < 3 || full[1] != L':' || !SameName(full, name) ||
      GetDriveTypeW(full.substr(0, 3).c_str()) != DRIVE_FIXED) {
    return std::wstring();
  }
  // The names a folder's eight-letter short forms stand for, which its final name gives.
  const DWORD length = GetLongPathNameW(full.c_str(), nullptr, 0);
  std::wstring longName(length, L'\0');
  const DWORD written = GetLongPathNameW(full.c_str(), longName.data(), length);
  if (length == 0 || written == 0 || written >= length) {
    return full;
  }
  longName.resize(written);
  return longName;
}

// The temp folder as the platform names it for this program: where the platform has
// GetTempPath2W (Windows 11, Windows Server 2022, and Windows 10 and Server 2016 with their
// updates since March 2025), for SYSTEM its own folder, which only SYSTEM and administrators may
// enter (C:\Windows\SystemTemp), for any other account the folder GetTempPathW names; without it,
// or with systemsOwn false, that folder. Looked up at run time: a program that imported it would
// not start where it is missing.
DWORD TempPath(DWORD size, wchar_t* buffer, bool systemsOwn) {
  using GetTempPath2Call = DWORD(WINAPI*)(DWORD, LPWSTR);
  const auto getTempPath2 =
      systemsOwn ? reinterpret_cast<GetTempPath2Call>(reinterpret_cast<void (*)()>(
                       GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTempPath2W")))
                 : nullptr;
  return getTempPath2 ? getTempPath2(size, buffer) : GetTempPathW(size, buffer);
}

// The temp folder's name as the platform resolves it, the one a run makes its copies in or, with
// systemsOwn false, the one runs made them in before there was GetTempPath2W; empty when it
// cannot be told.
std::wstring TempFolder(bool systemsOwn = true) {
  wchar_t temp[MAX_PATH + 1];
  const DWORD length = TempPath(MAX_PATH + 1, temp, systemsOwn);
  HANDLE opened = length == 0 || length > MAX_PATH
                      ? INVALID_HANDLE_VALUE
                      : CreateFileW(temp, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const FileHandle tempFolder(opened == INVALID_HANDLE_VALUE ? nullptr : opened);
  return tempFolder ? FinalName(tempFolder.get()) : std::wstring();
}

// Removes the file or folder open as itself through its handle, which needs DELETE: no other of
// that name can go instead.
void RemoveOpen(HANDLE handle) {
  FILE_DISPOSITION_INFO remove{TRUE};
  SetFileInformationByHandle(handle, FileDispositionInfo, &remove, sizeof(remove));
}

// A folder of the program's own, made new in its temp folder with an access list that lets in
// SYSTEM, Administrators and the program's account alone; removed, with the files copied into it,
// when this goes.
class PrivateFolder {
 public:
  PrivateFolder() = default;
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder() {
    for (const std::wstring& file : files_) {
      DeleteFileW(file.c_str());
    }
    // Held without sharing deletion until here.
    held_ = FileHandle();
    if (!name_.empty()) {
      RemoveDirectoryW(name_.c_str());
    }
  }

  // Makes the folder by that name, new; false, with *why, when it could not be.
  bool Make(const std::wstring& name, const std::string& account, std::string* why) {
    const LocalDescriptor descriptor =
        DescriptorFromSddl("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + account + ")");
    SECURITY_ATTRIBUTES attributes{sizeof(attributes), descriptor.get(), FALSE};
    // Made new, never one that was there: whoever made that chose what it holds.
    if (!descriptor || !CreateDirectoryW(name.c_str(), &attributes)) {
      *why = ErrorText("the private folder " + Utf8(name) + " for a copy could not be made");
      return false;
    }
    name_ = name;
    held_ = OpenItself(name_, kFolderAccess);
    PlaceFacts facts;
    if (!held_ || !ReadPlaceFacts(held_.get(), name_, &facts)) {
      *why = ErrorText("the private folder " + Utf8(name_) + " cannot be held");
      return false;
    }
    return FolderOnTheWayAllowed(Utf8(name_), facts, why);
  }

  // Copies what `from` holds, read from its start, into a new file of the folder by that name;
  // *facts of the copy. False, with *why, when it could not be copied whole.
  bool CopyIn(HANDLE from, const std::wstring& leaf, const std::string& shown, PlaceFacts* facts,
              std::string* why) {
    const std::wstring name = name_ + L"\\" + leaf;
    HANDLE made = CreateFileW(name.c_str(), GENERIC_WRITE | kLookAccess, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (made == INVALID_HANDLE_VALUE) {
      *why = ErrorText("no copy of " + shown + " could be made");
      return false;
    }
    files_.push_back(name);
    // Closed when done: the platform's load shares the file with nobody.
    const FileHandle copy(made);
    FILE_STANDARD_INFO standard;
    FILE_BASIC_INFO basic;
    ULARGE_INTEGER free;
    if (!GetFileInformationByHandleEx(from, FileStandardInfo, &standard, sizeof(standard)) ||
        !GetFileInformationByHandleEx(from, FileBasicInfo, &basic, sizeof(basic)) ||
        !GetDiskFreeSpaceExW(name_.c_str(), &free, nullptr, nullptr)) {
      *why = ErrorText("the room for a copy of " + shown + " cannot be told");
      return false;
    }
    // Copied as large as it is now, no larger, and only as CopyAllowed says.
    const FileRoom room{
        static_cast<std::uint64_t>(standard.EndOfFile.QuadPart),
        static_cast<std::uint64_t>(standard.AllocationSize.QuadPart),
        (basic.FileAttributes & (FILE_ATTRIBUTE_SPARSE_FILE | FILE_ATTRIBUTE_COMPRESSED)) != 0};
    if (!CopyAllowed(shown, room, free.QuadPart, why)) {
      return false;
    }
    ULONGLONG left = room.size;
    std::vector<char> buffer(1 << 16);
    while (left != 0) {
      DWORD read = 0;
      const DWORD wanted = static_cast<DWORD>(std::min<ULONGLONG>(left, buffer.size()));
      if (!ReadFile(from, buffer.data(), wanted, &read, nullptr)) {
        *why = ErrorText(shown + " could not be read");
        return false;
      }
      if (read == 0) {
        break;
      }
      left -= read;
      DWORD written = 0;
      if (!WriteFile(copy.get(), buffer.data(), read, &written, nullptr) || written != read) {
        *why = ErrorText("the copy of " + shown + " could not be written");
        return false;
      }
    }
    if (!ReadPlaceFacts(copy.get(), name, facts)) {
      *why = ErrorText("the copy of " + shown + " cannot be checked");
      return false;
    }
    return true;
  }

  const std::wstring& Name() const { return name_; }

 private:
  std::wstring name_;
  FileHandle held_;
  std::vector<std::wstring> files_;
};

// The hive file as checked: the folders on its way held, and the file the platform is to load.
class HeldHiveFile : public HeldHive {
 public:
  HeldHiveFile(std::string profile, std::string account)
      : profile_(std::move(profile)), account_(std::move(account)) {}

  const std::string& Path() const override { return utf8Path_; }

  bool Unchanged(const std::string* listed, std::string* why) override {
    // Opened by its name again, as the platform's load found it; no data access, so no conflict
    // with the platform, which holds the file while it is loaded.
    const FileHandle file = OpenItself(path_, kLookAccess);
    PlaceFacts now;
    if (!file || !ReadPlaceFacts(file.get(), path_, &now)) {
      return FailWith(why, ErrorText(shown_ + " cannot be checked again once loaded"));
    }
    if (!HiveFileUnchanged(shown_, checked_, now, profile_, account_, why) ||
        (inPlace_ && !LogsUnchanged(why))) {
      return false;
    }
    if (listed == nullptr) {
      return true;
    }
    std::wstring listedName;
    return (WideFromUtf8(*listed, &listedName) &&
            SameName(DeviceFinalName(file.get()), listedName)) ||
           FailWith(why, "the platform loaded " + *listed + ", not " + shown_);
  }

  // Holds the folder until the hold goes.
  void HoldFolder(FileHandle folder) { folders_.push_back(std::move(folder)); }
  // The file to load, as checked, shown in texts as `shown`.
  void Checked(const std::wstring& path, const PlaceFacts& facts, const std::string& shown) {
    path_ = path;
    utf8Path_ = Utf8(path);
    checked_ = facts;
    shown_ = shown;
  }
  PrivateFolder& Copies() { return copies_; }
  // The log with that ending beside a hive loaded in place, as checked before the load; a log
  // not there then is told of by none.
  void LogChecked(const wchar_t* ending, const PlaceFacts& facts) { logs_[ending] = facts; }
  // The hive is loaded where it lies, its logs checked again with it once loaded.
  void InPlace() { inPlace_ = true; }

 private:
  // The platform opens the logs beside a hive it loads in place by their names and writes them:
  // each must still be the file checked or, where there was none, one that meets the hive's
  // rules, as the one the platform makes does. A log gone since its check may have been moved
  // away once the platform opened whatever stood in its place: that fails too.
  bool LogsUnchanged(std::string* why) {
    for (const wchar_t* ending : kLogs) {
      const std::wstring name = path_ + ending;
      const std::string shown = shown_ + Utf8(ending);
      const FileHandle log = OpenItself(name, kLookAccess);
      if (!log && Missing(GetLastError()) && logs_.count(ending) == 0) {
        continue;
      }
      PlaceFacts now;
      if (!log || !ReadPlaceFacts(log.get(), name, &now)) {
        return FailWith(why, ErrorText(shown + " cannot be checked again once loaded"));
      }
      const auto checked = logs_.find(ending);
      if (checked == logs_.end()
              ? !HiveFileAllowed(shown, now, profile_, account_, why)
              : !HiveFileUnchanged(shown, checked->second, now, profile_, account_, why)) {
        return false;
      }
    }
    return true;
  }

  const std::string profile_;
  const std::string account_;
  std::vector<FileHandle> folders_;
  PrivateFolder copies_;
  std::wstring path_;
  std::string utf8Path_;
  PlaceFacts checked_;
  std::string shown_;
  bool inPlace_ = false;
  std::map<std::wstring, PlaceFacts> logs_;  // by ending
};

// One hive file's check: each step says how it went in *loading and why in *why.
class HiveFileCheck {
 public:
  HiveFileCheck(const HiveFile& file, bool copy, std::string account, HiveLoading* loading,
                std::string* why)
      : file_(file), copy_(copy), account_(std::move(account)), loading_(loading), why_(why) {
    *loading_ = HiveLoading::kRefused;
  }

  // Opens each folder from the profile's folder down as itself and has `held` hold it; false
  // when one is missing or may not be passed through.
  bool HoldFolders(const std::wstring& folder, HeldHiveFile& held) {
    for (const std::string& below : FoldersOnTheWay(file_.relative)) {
      std::wstring wideBelow;
      WideFromUtf8(below, &wideBelow);
      const std::wstring name = below.empty() ? folder : folder + L"\\" + wideBelow;
      const std::string shown = below.empty() ? file_.folder : below;
      FileHandle handle = OpenItself(name, kFolderAccess);
      if (!handle) {
        return Missing(GetLastError()) ? IsMissing(shown)
                                       : Refuse(ErrorText(shown + " cannot be opened"));
      }
      PlaceFacts facts;
      if (!ReadPlaceFacts(handle.get(), name, &facts)) {
        return Refuse(ErrorText(shown + " cannot be read"));
      }
      std::string refusal;
      if (!FolderOnTheWayAllowed(shown, facts, &refusal)) {
        return Refuse(refusal);
      }
      held.HoldFolder(std::move(handle));
    }
    return true;
  }

  // Opens and checks the hive file, or a log beside it; empty when it is not there or not one
  // to take.
  FileHandle OpenChecked(const std::wstring& name, const std::string& shown, PlaceFacts* facts) {
    FileHandle opened = OpenItself(name, (copy_ ? GENERIC_READ : 0) | kLookAccess);
    if (!opened) {
      const DWORD error = GetLastError();
      if (Missing(error)) {
        IsMissing(shown);
      } else if (error == ERROR_SHARING_VIOLATION) {
        Refuse(ErrorText(shown + " is held by another program"));
        *loading_ = HiveLoading::kInUse;
      } else {
        Refuse(ErrorText(shown + " cannot be opened"));
      }
      return FileHandle();
    }
    if (!ReadPlaceFacts(opened.get(), name, facts)) {
      Refuse(ErrorText(shown + " cannot be read"));
      return FileHandle();
    }
    std::string refusal;
    if (!HiveFileAllowed(shown, *facts, file_.owner, account_, &refusal)) {
      Refuse(refusal);
      return FileHandle();
    }
    return opened;
  }

  // Told of each log beside the hive, opened and checked as the hive is, with its ending.
  using LogTaker = std::function<bool(HANDLE log, const wchar_t* ending, const std::string& shown,
                                      const PlaceFacts& facts)>;

  // Opens and checks each log beside the hive at path, the platform's own companions of the
  // file it loads, and hands it to take; a log not there is none. False when one is not one to
  // take, or take failed.
  bool ForEachLog(const std::wstring& path, const LogTaker& take) {
    for (const wchar_t* ending : kLogs) {
      const std::string shown = file_.relative + Utf8(ending);
      PlaceFacts facts;
      const FileHandle opened = OpenChecked(path + ending, shown, &facts);
      if (!opened && *loading_ == HiveLoading::kMissing) {
        *loading_ = HiveLoading::kRefused;
        continue;
      }
      if (!opened || !take(opened.get(), ending, shown, facts)) {
        return false;
      }
    }
    return true;
  }

  // The hive at path is loaded where it lies: its logs, which the platform writes while it is
  // loaded, meet its rules, and are checked again once it is loaded.
  bool CheckLogsInPlace(const std::wstring& path, HeldHiveFile& held) {
    held.InPlace();
    return ForEachLog(
        path, [&](HANDLE, const wchar_t* ending, const std::string&, const PlaceFacts& facts) {
          held.LogChecked(ending, facts);
          return true;
        });
  }

  // Copies the hive, open as hive at path, and the logs beside it, each checked alike, to the
  // copy place, in the private folder `held` keeps, and has `held` load the copy; false when one
  // could not be.
  bool CopyWithLogs(HANDLE hive, const std::wstring& path, const std::wstring& place,
                    HeldHiveFile& held) {
    PrivateFolder& copies = held.Copies();
    const std::wstring leaf = place.substr(place.find_last_of(L'\\') + 1);
    PlaceFacts copyFacts;
    if (!copies.Make(place.substr(0, place.size() - leaf.size() - 1), account_, why_) ||
        !copies.CopyIn(hive, leaf, file_.relative, &copyFacts, why_)) {
      return false;
    }
    // The platform replays a hive's logs at its load, so they go with it.
    const bool logsCopied = ForEachLog(
        path, [&](HANDLE log, const wchar_t* ending, const std::string& shown, const PlaceFacts&) {
          PlaceFacts copiedLog;
          return copies.CopyIn(log, leaf + ending, shown, &copiedLog, why_);
        });
    if (!logsCopied) {
      return false;
    }
    held.Checked(copies.Name() + L"\\" + leaf, copyFacts, "the copy of " + file_.relative);
    return true;
  }

  bool Refuse(const std::string& text) {
    *loading_ = HiveLoading::kRefused;
    *why_ = text;
    return false;
  }

 private:
  bool IsMissing(const std::string& shown) {
    Refuse(shown + " is missing");
    *loading_ = HiveLoading::kMissing;
    return false;
  }

  const HiveFile& file_;
  const bool copy_;
  const std::string account_;
  HiveLoading* loading_;
  std::string* why_;
};

}  // namespace

std::string RandomHex(std::size_t bytes) {
  std::vector<unsigned char> random(bytes);
  if (!RtlGenRandom(random.data(), static_cast<ULONG>(random.size()))) {
    return std::string();
  }
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : random) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::wstring HiveCopiesFolder() {
  return TempFolder();
}

std::string NewHiveCopyPlace(const HiveFile& file) {
  // The temp folder is the program's own; its name is taken as the platform resolves it.
  const std::wstring base = HiveCopiesFolder();
  const std::string random = RandomHex(16);
  if (base.empty() || random.empty()) {
    return std::string();
  }
  return Utf8(base) + "\\" + kCopyFolderPrefix + random + "\\" +
         file.relative.substr(file.relative.find_last_of('\\') + 1);
}

std::unique_ptr<HeldHive> HoldHiveFile(const HiveFile& file, const std::string& copyPlace,
                                       const std::string& account, HiveLoading* loading,
                                       std::string* why) {
  const bool copy = !copyPlace.empty();
  HiveFileCheck check(file, copy, account, loading, why);
  const std::wstring folder = LocalFullName(file.folder);
  std::wstring relative;
  if (folder.empty() || !WideFromUtf8(file.relative, &relative)) {
    check.Refuse("its folder " + file.folder + " is no full name on a local disk");
    return nullptr;
  }
  auto held = std::make_unique<HeldHiveFile>(file.owner, account);
  if (!check.HoldFolders(folder, *held)) {
    return nullptr;
  }
  const std::wstring path = folder + L"\\" + relative;
  PlaceFacts facts;
  const FileHandle hive = check.OpenChecked(path, file.relative, &facts);
  if (!hive) {
    return nullptr;
  }
  if (!copy) {
    // The platform's load, sharing nothing, takes the file by its name: the check after it finds
    // whether that was this file.
    held->Checked(path, facts, file.relative);
    return check.CheckLogsInPlace(path, *held) ? std::move(held) : nullptr;
  }
  std::wstring place;
  if (!WideFromUtf8(copyPlace, &place) || place.find(L'\\') == std::wstring::npos) {
    check.Refuse("the place of its copy, " + copyPlace + ", is no full name");
    return nullptr;
  }
  return check.CopyWithLogs(hive.get(), path, place, *held) ? std::move(held) : nullptr;
}

void RemoveHiveCopyLeft(const std::string& file, const std::string& account) {
  // A run of an earlier version, or one where the platform had no GetTempPath2W, made its copies
  // in the temp folder GetTempPathW names.
  std::optional<CopyPlace> copy = CopyPlaceOf(file, Utf8(TempFolder(true)));
  if (!copy) {
    copy = CopyPlaceOf(file, Utf8(TempFolder(false)));
  }
  std::wstring folderName;
  if (!copy || !WideFromUtf8(copy->folder, &folderName)) {
    return;
  }
  // The folder is held, unshared for deletion, while its files go: it cannot be swapped for a
  // link or another folder meanwhile. It must be a folder of the run's own making: reached as
  // named, no link, owned by SYSTEM, Administrators or the program's account.
  std::string refusal;
  const FileHandle folder = OpenItself(folderName, kFolderAccess | DELETE);
  PlaceFacts facts;
  if (!folder || !ReadPlaceFacts(folder.get(), folderName, &facts) ||
      !FolderOnTheWayAllowed(copy->folder, facts, &refusal) ||
      !HiveOwnerAllowed(facts.owner, std::string(), account)) {
    return;
  }
  const std::wstring leaf(copy->leaf.begin(), copy->leaf.end());  // ASCII, one of two names
  for (const wchar_t* ending : {L"", kLogs[0], kLogs[1]}) {
    const std::wstring name = folderName + L"\\" + leaf + ending;
    const FileHandle copied = OpenItself(name, DELETE | kLookAccess);
    PlaceFacts copiedFacts;
    // A plain file of one name, no link.
    if (copied && ReadPlaceFacts(copied.get(), name, &copiedFacts) && !copiedFacts.folder &&
        !copiedFacts.reparsePoint && copiedFacts.plain && copiedFacts.links == 1 &&
        copiedFacts.reachedAsNamed) {
      RemoveOpen(copied.get());
    }
  }
  RemoveOpen(folder.get());
}
