#include "unitMain/CleanProcedure.h"

#include <string>

#include "registry/TRegistry.h"
#include "unitMain/TargetWalk.h"

namespace {

constexpr const char* kDoneText = "Done!";

// Opens and deletes each present key and logs it; stops once the user was told of a failure.
class Removal : public TargetAction {
 public:
  Removal(CleanWindow& window, DeletionGuard* guard) : window_(window), guard_(guard) {}

  bool Take(TRegistry& registry, const CleanTarget& key) override {
    if (!registry.OpenPath(key.path)) {
      window_.ShowNotice(key.openFailed);
      return false;
    }
    if (guard_ && !guard_->BeforeDelete(key)) {
      return false;
    }
    if (!(guard_ ? registry.DeleteTree(key.path, *guard_) : registry.DeleteTree(key.path))) {
      window_.ShowNotice(key.deleteFailed);
      return false;
    }
    window_.AppendLogLine(key.rootName);
    window_.AppendLogLine(key.path);
    return true;
  }

  void ListOpenFailed(const char* text) override { window_.ShowNotice(text); }

 private:
  CleanWindow& window_;
  DeletionGuard* guard_;
};

}  // namespace

void RunClean(RegistryApi& registryApi, CleanWindow& window, const CleanOptions& options) {
  window.ClearLog();
  Removal removal(window, options.guard);
  if (WalkTargets(registryApi, kKeyAllAccess, options.allUsers, removal)) {
    window.SetStatusText(kDoneText);
  }
}
