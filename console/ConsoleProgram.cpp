#include "console/ConsoleProgram.h"

#include <exception>

#include "app/FailureText.h"
#include "backup/KeyBackup.h"
#include "console/CheckProcedure.h"
#include "console/CommandLine.h"
#include "console/ConsoleWindow.h"
#include "console/RestoreProcedure.h"
#include "unitMain/CleanProcedure.h"

namespace {

constexpr const char* kProgram = "tessaline-clean";

void PrintKeys(const std::vector<ReportedKey>& keys, std::ostream& out) {
  for (const ReportedKey& key : keys) {
    out << key.root << '\n' << key.path << '\n';
  }
  out.flush();
}

Report Check(const Command& command, const ConsoleContext& context) {
  CheckResult result = RunCheck(context.registry, command.allUsers);
  Report report;
  report.keys = std::move(result.keys);
  report.message = std::move(result.stopText);
  report.outcome = !report.message.empty() ? Outcome::kFailed
                   : report.keys.empty()   ? Outcome::kAbsent
                                           : Outcome::kPresent;
  if (!command.json) {
    PrintKeys(report.keys, context.out);
  }
  return report;
}

// The clean's lines go out as it runs, so a run cut short has shown what it deleted.
Report Clean(const Command& command, const ConsoleContext& context, BackupFile* file,
             ConsoleWindow& window) {
  Report report;
  report.action = Action::kClean;
  std::unique_ptr<KeyBackup> backup;
  CleanOptions options;
  options.allUsers = command.allUsers;
  if (file) {
    backup = std::make_unique<KeyBackup>(context.registry, *file,
                                         BackupOrigin{ConsoleVersion(), context.now()});
    options.guard = backup.get();
  }
  RunClean(context.registry, window, options);
  report.keys = window.LoggedKeys();
  if (file) {
    report.backupPath = file->Name();
  }
  if (window.Finished()) {
    report.outcome = Outcome::kDone;
  } else if (backup && !backup->Failure().empty()) {
    report.outcome = Outcome::kBackupFailed;
    report.message = "The backup failed: " + backup->Failure() +
                     ". The key it was for was kept and nothing after it was deleted.";
  } else {
    report.outcome = Outcome::kStopped;
    report.message = window.Notice();
  }
  return report;
}

// The status, unless standard output could not take what was written to it: a script that got
// no report must not take the run for one that went as the report would have said.
int StatusAfterOutput(int status, const ConsoleContext& context) {
  if (!context.out.flush()) {
    context.err << kProgram << ": the output could not be written to standard output" << std::endl;
    return ExitStatus(Outcome::kFailed);
  }
  return status;
}

// The key as the other verbs report one: its root, then its path from the root.
ReportedKey Reported(const std::string& keyName) {
  const std::size_t slash = keyName.find('\\');
  return {keyName.substr(0, slash), keyName.substr(slash), std::nullopt};
}

// Nothing is written before the whole file is read and checked.
Report Restore(const Command& command, const ConsoleContext& context) {
  Report report;
  report.action = Action::kRestore;
  report.backupPath = command.restorePath;
  std::string bytes;
  std::string failure;
  if (!context.readFile(command.restorePath, &bytes, &failure)) {
    report.outcome = Outcome::kRefused;
    report.message = "Nothing was restored: " + command.restorePath + " " + failure + ".";
    return report;
  }
  const ParsedBackup backup = ReadBackup(bytes);
  const std::string refusal = RestoreRefusal(backup);
  if (!refusal.empty()) {
    report.outcome = Outcome::kRefused;
    report.message = "Nothing was restored from " + command.restorePath + ": " + refusal + ".";
    return report;
  }
  const RestoreResult result = RunRestore(context.registry, backup);
  for (const std::string& keyName : result.restored) {
    report.keys.push_back(Reported(keyName));
  }
  std::vector<std::string> notices = result.failures;
  if (!result.cutNotice.empty()) {
    notices.insert(notices.begin(), result.cutNotice);
  }
  for (const std::string& notice : notices) {
    report.message += (report.message.empty() ? "" : "\n") + notice;
  }
  report.outcome = result.failures.empty() ? Outcome::kRestored : Outcome::kStopped;
  if (!command.json) {
    PrintKeys(report.keys, context.out);
  }
  return report;
}

// Runs the verb the command line names.
Report RunVerb(const Command& command, const ConsoleContext& context, BackupFile* file,
               ConsoleWindow& window) {
  switch (command.verb) {
    case Command::Verb::kCheck:
      return Check(command, context);
    case Command::Verb::kRestore:
      return Restore(command, context);
    default:
      return Clean(command, context, file, window);
  }
}

}  // namespace

const char* ConsoleVersion() {
  return TESSALINE_VERSION;
}

int RunConsole(const std::vector<std::string>& arguments, const ConsoleContext& context) {
  const ParsedCommand parsed = ParseCommandLine(arguments);
  if (!parsed.valid) {
    context.err << kProgram << ": " << parsed.error << "\n\n" << UsageText() << std::flush;
    return kUsageStatus;
  }
  const Command& command = parsed.command;
  if (command.verb == Command::Verb::kHelp) {
    context.out << UsageText();
    return StatusAfterOutput(0, context);
  }
  if (command.verb == Command::Verb::kVersion) {
    context.out << kProgram << ' ' << ConsoleVersion() << '\n';
    return StatusAfterOutput(0, context);
  }

  ConsoleWindow window(context.out, !command.json);
  // Held here, so that a run that fails unexpectedly still names the file it began.
  std::unique_ptr<BackupFile> file;
  Report report;
  try {
    if (!command.backupPath.empty()) {
      file = context.backupFile(command.backupPath, command.backupInFolder);
    }
    report = RunVerb(command, context, file.get(), window);
  } catch (const std::exception& error) {
    report.action = command.verb == Command::Verb::kCheck     ? Action::kCheck
                    : command.verb == Command::Verb::kRestore ? Action::kRestore
                                                              : Action::kClean;
    report.outcome = Outcome::kFailed;
    report.keys = window.LoggedKeys();
    report.message = FailureText(error.what());
    report.backupPath = file ? file->Name() : command.restorePath;
  }
  if (command.json) {
    context.out << JsonReport(report) << std::endl;
  }
  if (!report.message.empty()) {
    context.err << report.message << std::endl;
  }
  return StatusAfterOutput(ExitStatus(report.outcome), context);
}
