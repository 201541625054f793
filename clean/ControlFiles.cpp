#include "clean/ControlFiles.h"

#include <algorithm>
#include <cstring>

#include "registry/AsciiCase.h"
#include "registry/KeyTree.h"
#include "registry/Utf16.h"

namespace {

// The longest path the platform takes without the "\\?\" form: MAX_PATH less its terminator.
constexpr std::size_t kLongestPath = 259;

bool AsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// One name of a path that means itself: not "." or ".." (nor what the platform trims to them),
// no stream, no wildcard, nothing a file name may not hold.
bool PlainName(const std::string& name) {
  if (name.find_first_not_of(". ") == std::string::npos) {
    return false;
  }
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F || std::strchr("<>:\"|?*", c) != nullptr;
  });
}

}  // namespace

std::optional<std::string> ControlFilePath(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.size() < 3 || text.size() > kLongestPath || !AsciiLetter(text[0]) || text[1] != ':' ||
      text[2] != '\\') {
    return std::nullopt;
  }
  static const std::string kFoldedFileName = AsciiUpper(kControlFileName);
  for (std::size_t start = 3;;) {
    const std::size_t end = text.find('\\', start);
    const std::string name = text.substr(start, end - start);
    if (!PlainName(name)) {
      return std::nullopt;
    }
    if (end == std::string::npos) {
      return AsciiUpper(name) == kFoldedFileName ? std::optional<std::string>(text) : std::nullopt;
    }
    start = end + 1;
  }
}

// An expandable value is taken as written, never expanded: the run's variables are those of the
// account it runs as, SYSTEM's, not those of the user whose hive holds the value (%USERPROFILE%,
// %TEMP%), so an expansion could name another file than the one meant; and the control's
// registration writes a full path. One that begins with a variable is no path on a drive letter.
void ControlFiles::ReadServer(RegistryReads& api, RegHandle base, const std::string& classPath,
                              std::uint32_t view) {
  // Only the server key itself is read: the reader stops past it.
  ReadTree(
      api, base, classPath + "\\InprocServer32",
      [&](const TreeKey& server) {
        for (const RegValue& value : server.values) {
          if (value.name.empty() && (value.type == kRegSz || value.type == kRegExpandSz)) {
            const std::u16string text = Utf16FromLeBytes(value.data);
            std::string utf8;
            if (ExactUtf8(text.substr(0, text.find(u'\0')), &utf8)) {
              Add(utf8);
            }
          }
        }
        return false;
      },
      view);
}

void ControlFiles::TargetFound(RegistryReads& api, const CleanTarget& target, RegHandle opened) {
  if (target.classKey) {
    ReadServer(api, opened != kNoHandle ? opened : target.root,
               opened != kNoHandle ? std::string() : target.path, target.viewFlags);
  } else if (target.listEntry) {
    // ModuleUsageEntry's path: the list's, a backslash, then the entry's name.
    Add(target.path.substr(std::string(kModuleUsage.path).size() + 1));
  }
}

void ControlFiles::Add(const std::string& text) {
  std::optional<std::string> path = ControlFilePath(text);
  if (path && folded_.insert(AsciiUpper(*path)).second) {
    paths_.push_back(std::move(*path));
  }
}

FilesLeft FilesLeftOnDisk(const std::vector<std::string>& paths,
                          const std::function<bool(const std::string&)>& present) {
  FilesLeft left;
  for (const std::string& path : paths) {
    if (present(path)) {
      if (left.named.size() < kFilesNamed) {
        left.named.push_back(path);
      } else {
        ++left.more;
      }
    }
  }
  return left;
}
