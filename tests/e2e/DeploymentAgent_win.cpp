// Stands in for a deployment tool's agent in the end-to-end tests of docs/deployment.md's recipes.
//   run FOLDER FILE     starts the command line held in FILE (UTF-8, one line) as the agent
//                       would: given whole to CreateProcess, in FOLDER; exits with its status
//   hold FILE RELEASE   opens FILE as a running program's file is held: anyone may read and
//                       start it, nobody may write it; prints "held" and keeps it open until
//                       the file RELEASE exists
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/UniqueHandle_win.h"

namespace {

using Handle = UniqueHandle<HANDLE, &CloseHandle>;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "deployagent: %s failed: %lu\n", what, GetLastError());
  std::exit(125);
}

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        wide.data(), static_cast<int>(wide.size()));
  wide.resize(static_cast<std::size_t>(units));
  return wide;
}

int Run(const wchar_t* folder, const wchar_t* file) {
  std::ifstream input(file, std::ios::binary);
  if (!input) {
    Fail("opening the command line's file");
  }
  std::string line(std::istreambuf_iterator<char>(input), {});
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
    line.pop_back();
  }
  if (line.empty()) {
    Fail("reading the command line");
  }
  std::wstring commandLine = Wide(line);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, folder,
                      &startup, &started)) {
    Fail("CreateProcess");
  }
  const Handle process(started.hProcess);
  const Handle thread(started.hThread);
  DWORD status = 0;
  if (WaitForSingleObject(process.get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.get(), &status)) {
    Fail("waiting for the command");
  }
  return static_cast<int>(status);
}

int Hold(const wchar_t* file, const wchar_t* release) {
  const HANDLE opened = CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    Fail("opening the file");
  }
  const Handle held(opened);
  std::printf("held\n");
  std::fflush(stdout);
  // A test that dies before it releases the file must not leave this running for ever.
  for (int waited = 0; waited < 1200; ++waited) {
    if (GetFileAttributesW(release) != INVALID_FILE_ATTRIBUTES) {
      return 0;
    }
    Sleep(100);
  }
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring verb = argc == 4 ? argv[1] : L"";
  if (verb == L"run") {
    return Run(argv[2], argv[3]);
  }
  if (verb == L"hold") {
    return Hold(argv[2], argv[3]);
  }
  std::fprintf(stderr, "usage: deployagent run FOLDER FILE | hold FILE RELEASE\n");
  return 2;
}
