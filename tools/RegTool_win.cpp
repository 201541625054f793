// Seeds and inspects a registry view for the end-to-end tests and the demo, in one process.
// Text is UTF-8 (the tool's code page), and keys are opened one name at a time, so paths of any
// length and depth work.
//   seed 32|64 FILE          creates each key of FILE, one "ROOT\path" or "ROOT\path|name|data"
//                            (a string value) a line; ROOT is HKCR, HKCU, HKLM or HKU
//   values 32|64 FILE        sets values of any type with exact bytes, one
//                            "ROOT\path|name|TYPE|HEX" a line (TYPE in decimal, HEX the bytes as
//                            pairs of hex digits, a name of "@" the default value); keys are made
//   dump 32|64 ROOT\path...  prints each key below and including each path, in enumeration
//                            order, as "key PATH" then "value NAME TYPE HEX" lines, read with the
//                            wide functions so nothing is converted; "absent PATH" if missing
//   check 32|64 FILE         prints "present KEY" or "absent KEY" for each line of a seed FILE
//   list 32|64 ROOT\path     prints the key's subkey names in enumeration order
//   dacl 32|64 ROOT\path SDDL   sets the key's DACL (kept only while the wineserver lives)
//   link 32|64 ROOT\path ROOT\target   creates ROOT\path, and the keys above it, as a symbolic
//                            link to ROOT\target, a path taken as it stands (no view applies);
//                            with a target of "-", a link never given one
// And hives, as other programs and the platform handle them (the view is not used):
//   load 64 NAME FILE        loads the hive FILE as HKU\NAME, as a logged-on user's is loaded
//   unload 64 NAME           unloads HKU\NAME, which must be a hive loaded so
//   late 32|64 GONE MADE     as an installer writing while a clean runs: prints "waiting", waits
//                            until the key GONE is absent, then creates the key MADE
//   hold 64 FILE RELEASE     opens FILE sharing nothing, as the platform holds a loaded hive,
//                            prints "held" and keeps it open until the file RELEASE exists
//   killed 64 FOLDER SID user|classes [copy]   loads the profile's hive (or a private copy of
//                            it) as the program does, its record written, prints the name it
//                            loaded it as, and ends as a killed run ends: without unloading it
#include <windows.h>
// sddl.h needs the declarations of windows.h before it.
#include <sddl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/UniqueHandle_win.h"
#include "registry/WindowsRegistry_win.h"
#include "tools/RegistryLink_win.h"
#include "users/HivePrivileges_win.h"
#include "users/ProfileHives_win.h"
#include "users/Profiles.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "regtool: %s\n", message.c_str());
  std::exit(1);
}

REGSAM view = 0;

// An open key, closed when it goes.
using Key = UniqueHandle<HKEY, &RegCloseKey>;

HKEY Root(const std::string& name) {
  if (name == "HKCR") {
    return HKEY_CLASSES_ROOT;
  }
  if (name == "HKCU") {
    return HKEY_CURRENT_USER;
  }
  if (name == "HKLM") {
    return HKEY_LOCAL_MACHINE;
  }
  if (name == "HKU") {
    return HKEY_USERS;
  }
  Fail("unknown root " + name);
}

// The parts of the text between the separators.
std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::string::npos; start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// Opens, or with create makes, ROOT\path one name at a time, or ROOT alone; an empty key when
// that fails.
Key Walk(const std::string& full, REGSAM access, bool create) {
  const std::vector<std::string> names = Split(full, '\\');
  HKEY parent = Root(names.front());
  Key key;
  if (names.size() == 1) {
    // The root itself, through a handle of its own.
    HKEY root = nullptr;
    return RegOpenKeyExA(parent, "", 0, access | view, &root) == ERROR_SUCCESS ? Key(root) : Key();
  }
  for (std::size_t i = 1; i < names.size(); ++i) {
    HKEY next = nullptr;
    const REGSAM passing = create ? KEY_ALL_ACCESS : KEY_READ;
    const REGSAM rights = (i + 1 == names.size() ? access : passing) | view;
    const LONG status = create ? RegCreateKeyExA(parent, names[i].c_str(), 0, nullptr, 0, rights,
                                                 nullptr, &next, nullptr)
                               : RegOpenKeyExA(parent, names[i].c_str(), 0, rights, &next);
    if (status != ERROR_SUCCESS) {
      return Key();
    }
    key = Key(next);
    parent = next;
  }
  return key;
}

// The non-empty lines of a seed file.
std::vector<std::string> SeedLines(const char* file) {
  std::ifstream input(file);
  if (!input) {
    Fail(std::string("cannot read ") + file);
  }
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(input, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (!line.empty()) {
      lines.push_back(line);
    }
  }
  return lines;
}

void Seed(const char* file) {
  for (const std::string& line : SeedLines(file)) {
    const std::size_t bar = line.find('|');
    const Key key = Walk(line.substr(0, bar), KEY_ALL_ACCESS, true);
    if (!key) {
      Fail("cannot create " + line);
    }
    if (bar != std::string::npos) {
      const std::size_t second = line.find('|', bar + 1);
      const std::string name = line.substr(bar + 1, second - bar - 1);
      const std::string data = second == std::string::npos ? "" : line.substr(second + 1);
      if (RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>(data.size() + 1)) != ERROR_SUCCESS) {
        Fail("cannot set the value of " + line);
      }
    }
  }
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(units));
  return wide;
}

std::string Utf8(const wchar_t* text, std::size_t length) {
  std::string utf8(length * 4, '\0');
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, nullptr);
  utf8.resize(static_cast<std::size_t>(bytes));
  return utf8;
}

void Values(const char* file) {
  for (const std::string& line : SeedLines(file)) {
    const std::vector<std::string> fields = Split(line, '|');
    if (fields.size() != 4) {
      Fail("not a value line: " + line);
    }
    const Key key = Walk(fields[0], KEY_ALL_ACCESS, true);
    std::vector<BYTE> data;
    for (std::size_t i = 0; i + 1 < fields[3].size(); i += 2) {
      data.push_back(static_cast<BYTE>(std::stoul(fields[3].substr(i, 2), nullptr, 16)));
    }
    const std::wstring name = fields[1] == "@" ? L"" : Wide(fields[1]);
    if (!key || RegSetValueExW(key.get(), name.c_str(), 0, std::stoul(fields[2]), data.data(),
                               static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
      Fail("cannot set " + line);
    }
  }
}

void DumpKey(HKEY key, const std::string& path) {
  std::printf("key %s\n", path.c_str());
  DWORD longestName = 0;
  DWORD largestData = 0;
  if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       &longestName, &largestData, nullptr, nullptr) != ERROR_SUCCESS) {
    Fail("cannot query " + path);
  }
  std::vector<wchar_t> name(longestName + 1);
  std::vector<BYTE> data(largestData + 1);
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LONG status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                      data.data(), &dataLength);
    if (status == ERROR_NO_MORE_ITEMS) {
      break;
    }
    if (status != ERROR_SUCCESS) {
      Fail("cannot read a value of " + path + ": " + std::to_string(status));
    }
    std::string hex;
    for (DWORD i = 0; i < dataLength; ++i) {
      char digits[3];
      std::snprintf(digits, sizeof(digits), "%02x", data[i]);
      hex += digits;
    }
    std::printf("value %s %lu %s\n", Utf8(name.data(), nameLength).c_str(), type, hex.c_str());
  }
  wchar_t child[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LONG status =
        RegEnumKeyExW(key, index, child, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) {
      return;
    }
    if (status != ERROR_SUCCESS) {
      Fail("cannot list " + path);
    }
    HKEY opened = nullptr;
    const LONG followed = RegOpenKeyExW(key, child, 0, KEY_READ | view, &opened);
    HKEY itself = nullptr;
    // A link that leads nowhere shows as one, opened as itself.
    if (followed == ERROR_FILE_NOT_FOUND &&
        RegOpenKeyExW(key, child, REG_OPTION_OPEN_LINK, KEY_READ | view, &itself) ==
            ERROR_SUCCESS) {
      RegCloseKey(itself);
      std::printf("key %s\\%s\nlink to nothing\n", path.c_str(), Utf8(child, length).c_str());
      continue;
    }
    if (followed != ERROR_SUCCESS) {
      Fail("cannot open " + path + "\\" + Utf8(child, length));
    }
    const Key owner(opened);
    DumpKey(owner.get(), path + "\\" + Utf8(child, length));
  }
}

void Dump(const std::string& full) {
  const Key key = Walk(full, KEY_READ, false);
  if (!key) {
    std::printf("absent %s\n", full.c_str());
    return;
  }
  DumpKey(key.get(), full);
}

void Check(const char* file) {
  for (const std::string& line : SeedLines(file)) {
    const std::string full = line.substr(0, line.find('|'));
    std::printf("%s %s\n", Walk(full, KEY_READ, false) ? "present" : "absent", full.c_str());
  }
}

void List(const std::string& full) {
  const Key key = Walk(full, KEY_READ, false);
  if (!key) {
    Fail("cannot open " + full);
  }
  char name[1024];
  for (DWORD index = 0;; ++index) {
    DWORD length = sizeof(name);
    const LONG status =
        RegEnumKeyExA(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) {
      return;
    }
    if (status != ERROR_SUCCESS) {
      Fail("cannot list " + full + ": " + std::to_string(status));
    }
    std::printf("%s\n", name);
  }
}

void SetDacl(const std::string& full, const char* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    Fail(std::string("bad SDDL ") + sddl);
  }
  const Key key = Walk(full, WRITE_DAC | READ_CONTROL, false);
  const LONG status = key ? RegSetKeySecurity(key.get(), DACL_SECURITY_INFORMATION, descriptor)
                          : ERROR_FILE_NOT_FOUND;
  LocalFree(descriptor);
  if (status != ERROR_SUCCESS) {
    Fail("cannot set the DACL of " + full + ": " + std::to_string(status));
  }
}

void Link(const std::string& full, const std::string& target) {
  const std::size_t slash = full.rfind('\\');
  const Key parent = Walk(full.substr(0, slash), KEY_ALL_ACCESS, true);
  if (target == "-") {
    HKEY made = nullptr;
    const LONG status = parent ? RegCreateKeyExW(parent.get(), Wide(full.substr(slash + 1)).c_str(),
                                                 0, nullptr, REG_OPTION_CREATE_LINK,
                                                 KEY_ALL_ACCESS | view, nullptr, &made, nullptr)
                               : ERROR_FILE_NOT_FOUND;
    if (status != ERROR_SUCCESS) {
      Fail("cannot create the link " + full + ": " + std::to_string(status));
    }
    RegCloseKey(made);
    return;
  }
  const std::size_t targetSlash = target.find('\\');
  const LONG status = parent ? CreateLinkKey(parent.get(), full.substr(slash + 1),
                                             KernelKeyName(Root(target.substr(0, targetSlash)),
                                                           targetSlash == std::string::npos
                                                               ? ""
                                                               : target.substr(targetSlash + 1)),
                                             view)
                             : ERROR_FILE_NOT_FOUND;
  if (status != ERROR_SUCCESS) {
    Fail("cannot create the link " + full + ": " + std::to_string(status));
  }
}

void LoadHive(const std::string& name, const std::string& file) {
  const HivePrivileges privileges;
  const LONG status = privileges.Held()
                          ? RegLoadKeyW(HKEY_USERS, Wide(name).c_str(), Wide(file).c_str())
                          : ERROR_NOT_ALL_ASSIGNED;
  if (status != ERROR_SUCCESS) {
    Fail("cannot load " + file + " as HKU\\" + name + ": " + std::to_string(status));
  }
}

void UnloadHive(const std::string& name) {
  const HivePrivileges privileges;
  const LONG status =
      privileges.Held() ? RegUnLoadKeyW(HKEY_USERS, Wide(name).c_str()) : ERROR_NOT_ALL_ASSIGNED;
  if (status != ERROR_SUCCESS) {
    Fail("cannot unload HKU\\" + name + ": " + std::to_string(status));
  }
}

void Hold(const std::string& file, const std::string& release) {
  const UniqueHandle<HANDLE, &CloseHandle> held(CreateFileW(
      Wide(file).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (held.get() == INVALID_HANDLE_VALUE) {
    Fail("cannot hold " + file + ": " + std::to_string(GetLastError()));
  }
  std::printf("held\n");
  std::fflush(stdout);
  while (GetFileAttributesW(Wide(release).c_str()) == INVALID_FILE_ATTRIBUTES) {
    Sleep(50);
  }
}

void WriteLate(const std::string& gone, const std::string& made) {
  std::printf("waiting\n");
  std::fflush(stdout);
  while (Walk(gone, KEY_READ, false).get() != nullptr) {
  }
  if (Walk(made, KEY_READ, true).get() == nullptr) {
    Fail("cannot create " + made);
  }
}

// Loads a profile's hive as a run does, or a private copy of it as a check does, and dies.
[[noreturn]] void LoadAndDie(const std::string& folder, const std::string& sid,
                             const std::string& kind, bool copy) {
  WindowsRegistry registry;
  WindowsHivePlatform platform;
  HiveMounts hives(registry, platform);
  Profile profile;
  profile.id = sid;
  profile.folder = folder;
  const HiveKind hiveKind = kind == "classes" ? HiveKind::kClasses : HiveKind::kUser;
  std::string why;
  const std::string as = hives.NewMountName(sid, hiveKind);
  if (hives.Load(HiveFileOf(profile, hiveKind), copy, as, &why) != HiveLoading::kLoaded) {
    Fail("cannot load the hive of " + sid + ": " + why);
  }
  // The name nobody could know beforehand, for the test to find the mount by.
  std::printf("%s\n", as.c_str());
  std::fflush(stdout);
  // As a killed run ends: nothing it holds is released by it, nothing it loaded unloaded.
  TerminateProcess(GetCurrentProcess(), 0);
  std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 4) {
    Fail(
        "usage: regtool seed|values|dump|check|list|dacl|link|late|load|unload|hold|killed 32|64 "
        "ARG...");
  }
  const std::string command = argv[1];
  view = std::string(argv[2]) == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  if (command == "seed") {
    Seed(argv[3]);
  } else if (command == "values") {
    Values(argv[3]);
  } else if (command == "dump") {
    for (int index = 3; index < argc; ++index) {
      Dump(argv[index]);
    }
  } else if (command == "check") {
    Check(argv[3]);
  } else if (command == "list") {
    List(argv[3]);
  } else if (command == "dacl" && argc > 4) {
    SetDacl(argv[3], argv[4]);
  } else if (command == "link" && argc > 4) {
    Link(argv[3], argv[4]);
  } else if (command == "late" && argc > 4) {
    WriteLate(argv[3], argv[4]);
  } else if (command == "load" && argc > 4) {
    LoadHive(argv[3], argv[4]);
  } else if (command == "unload") {
    UnloadHive(argv[3]);
  } else if (command == "hold" && argc > 4) {
    Hold(argv[3], argv[4]);
  } else if (command == "killed" && argc > 5) {
    LoadAndDie(argv[3], argv[4], argv[5], argc > 6 && std::string(argv[6]) == "copy");
  } else {
    Fail("unknown command " + command);
  }
  return 0;
}
