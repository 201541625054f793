#include "unitMain/WindowClean.h"

#include "clean/CleanProcedure.h"

void RunCleanInWindow(RegistryReads& registry, CleanWindow& window) {
  window.ClearLog();
  const CleanResult result = RunClean(registry, {}, [&](const CleanTarget& key) {
    window.AppendLogLine(key.rootName);
    window.AppendLogLine(key.shownPath);
  });
  if (result.outcome == CleanOutcome::kDone) {
    window.SetStatusText(kDoneText);
  } else {
    window.ShowNotice(result.notice);
  }
}
