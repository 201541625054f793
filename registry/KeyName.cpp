#include "registry/KeyName.h"

#include <algorithm>

#include "registry/AsciiCase.h"

namespace {

struct NamedRoot {
  RegHandle root;
  const char* name;
};

constexpr NamedRoot kRoots[] = {
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
    {kHkeyUsers, "HKEY_USERS"},
};

std::string Joined(const std::vector<std::string>& names) {
  std::string path;
  for (const std::string& name : names) {
    path += "\\" + name;
  }
  return path;
}

}  // namespace

const char* RootName(RegHandle root) {
  for (const NamedRoot& named : kRoots) {
    if (named.root == root) {
      return named.name;
    }
  }
  return nullptr;
}

RegHandle RootNamed(const std::string& name) {
  const std::string folded = AsciiUpper(name);
  for (const NamedRoot& named : kRoots) {
    if (folded == named.name) {
      return named.root;
    }
  }
  return kNoHandle;
}

std::vector<std::string> SplitNames(const std::string& path) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (std::size_t end = 0; end != std::string::npos; start = end + 1) {
    end = path.find('\\', start);
    names.push_back(path.substr(start, end == std::string::npos ? end : end - start));
  }
  return names;
}

bool PlainNames(const std::vector<std::string>& names) {
  return std::none_of(names.begin(), names.end(), [](const std::string& name) {
    return name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos;
  });
}

std::string BelowRoot(const std::string& path) {
  return !path.empty() && path[0] == '\\' ? path.substr(1) : path;
}

std::string KeyName::Text() const {
  return RootName(root) + Path();
}

std::string KeyName::Path() const {
  return Joined(names);
}

std::optional<KeyName> ParseKeyName(const std::string& text) {
  std::vector<std::string> names = SplitNames(text);
  const RegHandle root = RootNamed(names.front());
  names.erase(names.begin());
  if (root == kNoHandle || names.empty() || !PlainNames(names)) {
    return std::nullopt;
  }
  return KeyName{root, std::move(names)};
}

std::optional<KeyName> KeyAt(RegHandle root, const std::string& path) {
  std::vector<std::string> names = SplitNames(BelowRoot(path));
  if (RootName(root) == nullptr || !PlainNames(names)) {
    return std::nullopt;
  }
  return KeyName{root, std::move(names)};
}

KeyName InMachineClasses(KeyName key) {
  if (key.root == kHkeyClassesRoot) {
    key.root = kHkeyLocalMachine;
    key.names.insert(key.names.begin(), {"Software", "Classes"});
  }
  return key;
}

std::string UsersHivePlatformName(const std::string& hive) {
  const std::vector<std::string> names = SplitNames(hive);
  return names.size() == 1 && PlainNames(names) ? "\\REGISTRY\\USER\\" + hive : std::string();
}

bool LiesWithin(const std::string& platformName, const std::string& topPlatformName) {
  const std::string folded = AsciiUpper(platformName);
  const std::string top = AsciiUpper(topPlatformName);
  return !top.empty() && folded.compare(0, top.size(), top) == 0 &&
         (folded.size() == top.size() || folded[top.size()] == '\\');
}
