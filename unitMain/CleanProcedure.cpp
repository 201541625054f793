#include "unitMain/CleanProcedure.h"

#include <array>
#include <string>

#include "registry/AsciiCase.h"
#include "registry/TRegistry.h"
#include "registry/TStringList.h"

namespace {

struct CleanTarget {
  RegHandle root;
  const char* rootName;
  const char* path;
  const char* openFailed;
  const char* deleteFailed;
};

// Removed in this order: the ProgID, the class, the user's statistics, the downloaded code.
const std::array<CleanTarget, 4> kTargets = {{
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "\\ActiveFormProj1.ActiveFormX",
     "It failed to open ActiveFormProj1.ActiveFormX",
     "It failed to delte ActiveFormProj1.ActiveFormX"},
    {kHkeyClassesRoot, "HKEY_CLASSES_ROOT", "\\CLSID\\{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
     "It failed to Open CLSID", "It failed to delte CLSID"},
    {kHkeyCurrentUser, "HKEY_CURRENT_USER",
     "\\software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\"
     "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
     "It failed to Open Ext Stats in Current User", "It failed to delte Ext Stats"},
    {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE",
     "\\software\\Microsoft\\Code Store Database\\Distribution Units\\"
     "{9C37FC59-04CE-4BFB-A662-2AB4EC641F64}",
     "It failed to Open Distribution Unit in Local Machine",
     "It failed to delte Distribution Unit in Local Machine"},
}};

// The module-usage list: each entry whose name holds the control's file name goes.
constexpr RegHandle kModuleUsageRoot = kHkeyLocalMachine;
constexpr const char* kModuleUsageRootName = "HKEY_LOCAL_MACHINE";
constexpr const char* kModuleUsagePath =
    "\\software\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";
constexpr const char* kModuleUsageOpenFailed = "It failed to Open Module Usage in Local Machine";
constexpr const char* kEntryOpenFailed = "It failed to open Sub Module usage";
constexpr const char* kEntryDeleteFailed = "It failed to Delete Sub Module usage";
constexpr const char* kMatchText = "TessalineWeb_EN.ocx";

constexpr const char* kDoneText = "Done!";

// Opens and deletes one present key and logs it; false once the user was told of a failure.
bool RemoveKey(TRegistry& registry, CleanWindow& window, const char* rootName,
               const std::string& path, const char* openFailed, const char* deleteFailed) {
  if (!registry.OpenPath(path)) {
    window.ShowNotice(openFailed);
    return false;
  }
  if (!registry.DeleteTree(path)) {
    window.ShowNotice(deleteFailed);
    return false;
  }
  window.AppendLogLine(rootName);
  window.AppendLogLine(path);
  return true;
}

bool MatchesControl(const std::string& entryName) {
  static const std::string kFoldedMatchText = AsciiUpper(kMatchText);
  return AsciiUpper(entryName).find(kFoldedMatchText) != std::string::npos;
}

// False once a failure has stopped the run.
bool SweepModuleUsage(TRegistry& registry, CleanWindow& window) {
  registry.SelectRoot(kModuleUsageRoot);
  if (!registry.KeyPresent(kModuleUsagePath)) {
    return true;
  }
  if (!registry.OpenPath(kModuleUsagePath)) {
    window.ShowNotice(kModuleUsageOpenFailed);
    return false;
  }
  // A snapshot, so deleting entries does not disturb the walk.
  TStringList entries;
  registry.ListSubkeyNames(entries);
  const std::string entryPrefix = std::string(kModuleUsagePath) + "\\";
  const std::size_t count = entries.Count();
  for (std::size_t index = 0; index < count; ++index) {
    if (MatchesControl(entries[index]) &&
        !RemoveKey(registry, window, kModuleUsageRootName, entryPrefix + entries[index],
                   kEntryOpenFailed, kEntryDeleteFailed)) {
      return false;
    }
  }
  return true;
}

// False once a failure has stopped the run. The registry object and its open key are gone when
// this returns, whichever way it returns.
bool RemoveAll(RegistryApi& registryApi, CleanWindow& window) {
  TRegistry registry(registryApi);
  for (const CleanTarget& target : kTargets) {
    registry.SelectRoot(target.root);
    if (!registry.KeyPresent(target.path)) {
      continue;
    }
    if (!RemoveKey(registry, window, target.rootName, target.path, target.openFailed,
                   target.deleteFailed)) {
      return false;
    }
  }
  return SweepModuleUsage(registry, window);
}

}  // namespace

void RunClean(RegistryApi& registryApi, CleanWindow& window) {
  window.ClearLog();
  if (RemoveAll(registryApi, window)) {
    window.SetStatusText(kDoneText);
  }
}
