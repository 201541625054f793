// Seeds and inspects a registry view for the end-to-end tests and the demo, in one process.
// Text is UTF-8 (the tool's code page), and keys are opened one name at a time, so paths of any
// length and depth work.
//   seed 32|64 FILE          creates each key of FILE, one "ROOT\path" or "ROOT\path|name|data"
//                            (a string value) a line; ROOT is HKCR, HKCU or HKLM
//   check 32|64 FILE         prints "present KEY" or "absent KEY" for each line of a seed FILE
//   list 32|64 ROOT\path     prints the key's subkey names in enumeration order
//   dacl 32|64 ROOT\path SDDL   sets the key's DACL (kept only while the wineserver lives)
//   link 32|64 ROOT\path ROOT\target   creates ROOT\path, and the keys above it, as a symbolic
//                            link to ROOT\target, a path taken as it stands (no view applies)
#include <windows.h>
// sddl.h needs the declarations of windows.h before it.
#include <sddl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/UniqueHandle_win.h"
#include "tools/RegistryLink_win.h"

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
  Fail("unknown root " + name);
}

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t end; (end = path.find('\\', start)) != std::string::npos; start = end + 1) {
    names.push_back(path.substr(start, end - start));
  }
  names.push_back(path.substr(start));
  return names;
}

// Opens, or with create makes, ROOT\path one name at a time; an empty key when that fails.
Key Walk(const std::string& full, REGSAM access, bool create) {
  const std::vector<std::string> names = Split(full);
  HKEY parent = Root(names.front());
  Key key;
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

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 4) {
    Fail("usage: regtool seed|check|list|dacl|link 32|64 ARG [SDDL|TARGET]");
  }
  const std::string command = argv[1];
  view = std::string(argv[2]) == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  if (command == "seed") {
    Seed(argv[3]);
  } else if (command == "check") {
    Check(argv[3]);
  } else if (command == "list") {
    List(argv[3]);
  } else if (command == "dacl" && argc > 4) {
    SetDacl(argv[3], argv[4]);
  } else if (command == "link" && argc > 4) {
    Link(argv[3], argv[4]);
  } else {
    Fail("unknown command " + command);
  }
  return 0;
}
