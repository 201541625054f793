#include "registry/RootNames.h"

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

}  // namespace

const char* PredefinedRootName(RegHandle root) {
  for (const NamedRoot& named : kRoots) {
    if (named.root == root) {
      return named.name;
    }
  }
  return nullptr;
}

RegHandle PredefinedRootNamed(const std::string& name) {
  const std::string folded = AsciiUpper(name);
  for (const NamedRoot& named : kRoots) {
    if (folded == named.name) {
      return named.root;
    }
  }
  return kNoHandle;
}
