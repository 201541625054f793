#include "unitMain/CleanProcedure.h"

#include <string>

#include "registry/TRegistry.h"
#include "unitMain/TargetWalk.h"

namespace {

constexpr const char* kDoneText = "Done!";

// Opens and deletes each present key and logs it; stops once the user was told of a failure.
class Removal : public TargetAction {
 public:
  Removal(RegistryApi& api, CleanWindow& window, DeletionGuard* guard)
      : api_(api), window_(window), guard_(guard) {}

  bool Take(TRegistry& registry, const CleanTarget& key) override {
    if (!registry.OpenPath(key.path)) {
      window_.ShowNotice(key.openFailed);
      return false;
    }
    if (!key.hive.empty() && !OpenedInHive(registry, key)) {
      return false;
    }
    if (guard_ && !guard_->BeforeDelete(key)) {
      return false;
    }
    if (!(guard_ ? guard_->DeleteTree(registry, key) : registry.DeleteTree(key.path))) {
      window_.ShowNotice(key.deleteFailed);
      return false;
    }
    window_.AppendLogLine(key.rootName);
    window_.AppendLogLine(key.path);
    return true;
  }

  void ListOpenFailed(const char* text) override { window_.ShowNotice(text); }

 private:
  // A user may link a name on the way to a key of the hive to a key of the machine or of another
  // user; such a key is not the hive's and stays.
  bool OpenedInHive(TRegistry& registry, const CleanTarget& key) {
    std::string name;
    if (api_.QueryKeyName(registry.CurrentKey(), &name) == kErrorSuccess &&
        LiesInHive(name, key.hive)) {
      return true;
    }
    window_.ShowNotice(std::string(key.rootName) + key.path + " leads out of the hive " + key.hive +
                       ", so it was kept.");
    return false;
  }

  RegistryApi& api_;
  CleanWindow& window_;
  DeletionGuard* guard_;
};

}  // namespace

void RunClean(RegistryApi& registryApi, CleanWindow& window, const CleanOptions& options) {
  window.ClearLog();
  Removal removal(registryApi, window, options.guard);
  if (!WalkTargets(registryApi, kKeyAllAccess, options.allUsers, removal)) {
    return;
  }
  // A key may be back by now: a copy that showed through once another went, or one made again
  // meanwhile.
  TRegistry probe(registryApi, kProbeAccess);
  for (const CleanTarget& target : TargetsInOrder(registryApi, options.allUsers)) {
    probe.SelectRoot(target.root);
    if (probe.KeyPresent(target.path)) {
      window.ShowNotice(target.deleteFailed);
      return;
    }
  }
  window.SetStatusText(kDoneText);
}
