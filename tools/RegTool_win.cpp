// Seeds and inspects a registry view for the end-to-end tests, in one process.
//   seed 32|64 FILE          creates each key of FILE, one "ROOT\path" or "ROOT\path|name|data"
//                            (a string value) a line; ROOT is HKCR, HKCU or HKLM
//   check 32|64 FILE         prints "present KEY" or "absent KEY" for each key of a seed FILE
//   dacl 32|64 ROOT\path SDDL   sets the key's DACL (kept only while the wineserver lives)
#include <windows.h>
// sddl.h needs the declarations of windows.h before it.
#include <sddl.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "regtool: %s\n", message.c_str());
  std::exit(1);
}

REGSAM view = 0;

struct Location {
  HKEY root;
  std::string path;
};

Location Parse(const std::string& full) {
  const std::size_t slash = full.find('\\');
  const std::string root = full.substr(0, slash);
  const std::string path = slash == std::string::npos ? "" : full.substr(slash + 1);
  if (root == "HKCR") {
    return {HKEY_CLASSES_ROOT, path};
  }
  if (root == "HKCU") {
    return {HKEY_CURRENT_USER, path};
  }
  if (root == "HKLM") {
    return {HKEY_LOCAL_MACHINE, path};
  }
  Fail("unknown root in " + full);
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

void Check(const char* file) {
  for (const std::string& line : SeedLines(file)) {
    const std::string full = line.substr(0, line.find('|'));
    const Location at = Parse(full);
    HKEY key = nullptr;
    const bool present =
        RegOpenKeyExA(at.root, at.path.c_str(), 0, READ_CONTROL | view, &key) == ERROR_SUCCESS;
    if (present) {
      RegCloseKey(key);
    }
    std::printf("%s %s\n", present ? "present" : "absent", full.c_str());
  }
}

void Seed(const char* file) {
  for (const std::string& line : SeedLines(file)) {
    const std::size_t bar = line.find('|');
    const Location at = Parse(line.substr(0, bar));
    HKEY key = nullptr;
    LONG status = RegCreateKeyExA(at.root, at.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view,
                                  nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
      Fail("cannot create " + line + ": " + std::to_string(status));
    }
    if (bar != std::string::npos) {
      const std::size_t second = line.find('|', bar + 1);
      const std::string name = line.substr(bar + 1, second - bar - 1);
      const std::string data = second == std::string::npos ? "" : line.substr(second + 1);
      RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                     static_cast<DWORD>(data.size() + 1));
    }
    RegCloseKey(key);
  }
}

void SetDacl(const std::string& full, const char* sddl) {
  const Location at = Parse(full);
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    Fail(std::string("bad SDDL ") + sddl);
  }
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(at.root, at.path.c_str(), 0, WRITE_DAC | READ_CONTROL | view, &key);
  if (status == ERROR_SUCCESS) {
    status = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    RegCloseKey(key);
  }
  LocalFree(descriptor);
  if (status != ERROR_SUCCESS) {
    Fail("cannot set the DACL of " + full + ": " + std::to_string(status));
  }
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 4) {
    Fail("usage: regtool seed|check|dacl 32|64 ARG [SDDL]");
  }
  const std::string command = argv[1];
  view = std::string(argv[2]) == "64" ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  if (command == "seed") {
    Seed(argv[3]);
  } else if (command == "check") {
    Check(argv[3]);
  } else if (command == "dacl" && argc > 4) {
    SetDacl(argv[3], argv[4]);
  } else {
    Fail("unknown command " + command);
  }
  return 0;
}
