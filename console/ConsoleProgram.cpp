#include "console/ConsoleProgram.h"

#include <algorithm>
#include <exception>

#include "backup/KeyBackup.h"
#include "backup/RestoreProcedure.h"
#include "clean/CheckProcedure.h"
#include "clean/CleanProcedure.h"
#include "clean/ControlFiles.h"
#include "clean/EveryUser.h"
#include "common/FailureText.h"
#include "console/CommandLine.h"
#include "console/Report.h"
#include "registry/KeyName.h"
#include "registry/ShownText.h"

namespace {

constexpr const char* kProgram = "tessaline-clean";

void PrintKeys(const std::vector<FoundKey>& keys, std::ostream& out) {
  for (const FoundKey& key : keys) {
    PrintKey(out, key.key);
  }
  out.flush();
}

// The users' hives the command reaches with --all-users: every profile's as well, check's
// through private copies, the template's always for check and for clean only when asked.
EveryUser UsersOf(const Command& command, const ConsoleContext& context) {
  const bool check = command.verb == Command::Verb::kCheck;
  return EveryUser(context.profiles, check, check || command.withTemplate);
}

// Whether what the run left undone, a later run finishes by itself.
bool ForRetry(const std::vector<ProfileReport>& profiles, const std::vector<KeptKey>& kept) {
  return std::all_of(
             profiles.begin(), profiles.end(),
             [](const ProfileReport& profile) { return !profile.Unfinished() || profile.retry; }) &&
         std::all_of(kept.begin(), kept.end(), [](const KeptKey& key) { return key.retry; });
}

// Of the paths the run's keys named, the files that are on disk, shown after the keys; the run
// never deletes them (docs/console.md says why).
void NameFiles(const std::vector<std::string>& paths, const Command& command,
               const ConsoleContext& context, Report& report) {
  if (context.fileExists) {
    FilesLeft left = FilesLeftOnDisk(paths, context.fileExists);
    report.files = std::move(left.named);
    report.moreFiles = left.more;
  }
  if (!command.json) {
    PrintFiles(context.out, report);
  }
}

// The servers of the machine's and the current user's classes, read before the clean deletes
// them; through HKEY_CLASSES_ROOT, where the user's class hides the machine's, the machine's
// classes are read too. A user's hive's are read as each goes (EveryUser).
void ReadServersBeforeClean(RegistryReads& api, ControlFiles& files) {
  for (const CleanTarget& target : FixedTargets()) {
    if (target.classKey) {
      files.TargetFound(api, target);
    }
    if (target.classKey && target.root == kHkeyClassesRoot) {
      const KeyName machine = InMachineClasses({target.root, SplitNames(BelowRoot(target.path))});
      files.ReadServer(api, machine.root, machine.Path(), target.viewFlags);
    }
  }
}

// The report's outcome for each way a check ends.
Outcome OfCheck(CheckOutcome outcome) {
  switch (outcome) {
    case CheckOutcome::kStopped:
      return Outcome::kFailed;
    case CheckOutcome::kPresent:
      return Outcome::kPresent;
    case CheckOutcome::kIncomplete:
      return Outcome::kIncomplete;
    default:
      return Outcome::kAbsent;
  }
}

void Check(const Command& command, const ConsoleContext& context, RunLog& log, Report& report) {
  EveryUser users = UsersOf(command, context);
  CheckResult result = RunCheck(context.registry, command.allUsers ? &users : nullptr);
  report.keys = std::move(result.keys);
  report.message = std::move(result.stopText);
  report.usersReported = command.allUsers;
  report.profiles = std::move(result.profiles);
  report.swept = std::move(result.swept);
  report.outcome = OfCheck(result.outcome);
  report.retry = report.outcome == Outcome::kIncomplete && ForRetry(report.profiles, {});
  for (const FoundKey& key : report.keys) {
    log.Key("Found", key.key);
  }
  if (!command.json) {
    PrintKeys(report.keys, context.out);
  }
  NameFiles(result.files, command, context, report);
}

// The clean's lines go out as it runs, so a run cut short has shown what it deleted; the report
// holds the keys deleted so far, also when the run ends in a failure it did not expect.
void Clean(const Command& command, const ConsoleContext& context, BackupFile* file, RunLog& log,
           Report& report) {
  report.action = Action::kClean;
  std::unique_ptr<KeyBackup> backup;
  CleanOptions options;
  EveryUser users = UsersOf(command, context);
  options.users = command.allUsers ? &users : nullptr;
  ControlFiles files;
  ReadServersBeforeClean(context.registry, files);
  users.NameFilesTo(&files);
  if (file) {
    backup = std::make_unique<KeyBackup>(context.registry, *file,
                                         BackupOrigin{ConsoleVersion(), UtcText(context.now())},
                                         context.watches);
    options.guard = backup.get();
  }
  const CleanResult result = RunClean(context.registry, options, [&](const CleanTarget& key) {
    // An entry gives its name alone, which outlives it.
    if (key.listEntry) {
      files.TargetFound(context.registry, key);
    }
    report.keys.push_back({key.Shown(), std::nullopt});
    log.Key("Deleted", report.keys.back().key);
    if (!command.json) {
      // Flushed at once, so whoever watches the run sees each key as it goes.
      PrintKey(context.out, report.keys.back().key);
      context.out.flush();
    }
  });
  NameFiles(files.Paths(), command, context, report);
  if (file) {
    report.backupPath = file->Name();
  }
  report.usersReported = command.allUsers;
  report.profiles = result.profiles;
  report.kept = result.kept;
  report.swept = result.swept;
  // A file that holds no key is no backup; a run that backed up nothing leaves none, so retries
  // that keep failing cannot fill the disk with them. One that holds a key stays, even when the
  // run stopped inside its first target: the keys below it that went are in it.
  if (file && !backup->HoldsAnyKey() && !report.backupPath.empty()) {
    std::string why;
    if (file->Discard(&why)) {
      report.backupPath.clear();
    } else {
      report.message = "The backup file " + report.backupPath +
                       ", which holds no key, could not be removed: " + why + ".\n";
    }
  }
  switch (result.outcome) {
    case CleanOutcome::kDone:
      report.outcome = Outcome::kDone;
      break;
    case CleanOutcome::kKept: {
      // The machine's keys and the other users' went; what stayed is named on stderr.
      const bool backupKept = std::any_of(result.kept.begin(), result.kept.end(),
                                          [](const KeptKey& key) { return key.byBackup; });
      report.outcome = backupKept ? Outcome::kBackupFailed : Outcome::kIncomplete;
      report.retry = ForRetry(result.profiles, result.kept);
      report.message += "The clean went to its end, but what is named above was not cleaned.";
      break;
    }
    case CleanOutcome::kBackupKept:
      report.outcome = Outcome::kBackupFailed;
      report.retry = result.retry && ForRetry(result.profiles, result.kept);
      report.message += "The backup failed: " + result.notice +
                        ". The key it was for was kept and nothing after it was deleted.";
      break;
    default:
      report.outcome = Outcome::kStopped;
      report.message += result.notice;
      break;
  }
}

// The status, unless standard output could not take what was written to it: a script that got
// no report must not take the run for one that went as the report would have said.
int StatusAfterOutput(int status, const ConsoleContext& context) {
  if (!context.out.flush()) {
    context.err << kProgram << ": the output could not be written to standard output" << std::endl;
    return kFailedStatus;
  }
  return status;
}

// How many lines of keys not restored the JSON report's message holds; standard error has all.
constexpr std::size_t kMessageLines = 100;

// Prints and logs each key as restore puts it back, and each one it could not, as it goes: a file
// of any size is never held whole in the report.
class ConsoleRestoreLog : public RestoreLog {
 public:
  ConsoleRestoreLog(const Command& command, const ConsoleContext& context, RunLog& log,
                    Report& report)
      : json_(command.json), context_(context), log_(log), report_(report) {}

  void Restored(const ShownKey& key) override {
    log_.Key("Restored", key);
    ++report_.restored;
    if (!json_) {
      PrintKey(context_.out, key);
      return;
    }
    context_.out << (report_.keysStreamed ? "," : JsonReportStart(report_))
                 << JsonKey({key, std::nullopt}, Action::kRestore);
    report_.keysStreamed = true;
  }

  void NotRestored(const std::string& line) override { Tell(line); }
  void CutShort(const std::string& notice) override { Tell(notice); }

  // Where the message left lines out, says how many.
  void Finish() {
    if (lines_ > kMessageLines) {
      report_.message += "\n... and " + std::to_string(lines_ - kMessageLines) + " more lines";
    }
  }

 private:
  // On standard error at once, and in the report's message up to its bound.
  void Tell(const std::string& line) {
    PrintMessage(context_.err, line);
    log_.Line(LogType::kWarning, line);
    report_.messageShown = true;
    if (++lines_ <= kMessageLines) {
      report_.message += (report_.message.empty() ? "" : "\n") + line;
    }
  }

  const bool json_;
  const ConsoleContext& context_;
  RunLog& log_;
  Report& report_;
  std::size_t lines_ = 0;
};

// Nothing is written before the whole file is read and checked.
void Restore(const Command& command, const ConsoleContext& context, RunLog& log, Report& report) {
  report.action = Action::kRestore;
  report.backupPath = command.restorePath;
  std::string failure;
  const std::unique_ptr<BackupSource> source = context.openBackup(command.restorePath, &failure);
  if (!source) {
    report.outcome = Outcome::kRefused;
    report.message = "Nothing was restored: " + command.restorePath + " " + failure + ".";
    return;
  }
  ConsoleRestoreLog restoreLog(command, context, log, report);
  const RestoreResult result = RunRestore(context.registry, *source, context.profiles, &restoreLog);
  if (!result.refusal.empty()) {
    report.outcome = Outcome::kRefused;
    report.message =
        "Nothing was restored from " + command.restorePath + ": " + result.refusal + ".";
    return;
  }
  restoreLog.Finish();
  report.swept = result.swept;
  report.outcome = result.notRestored == 0 ? Outcome::kRestored : Outcome::kStopped;
}

// Runs the verb the command line names into the report.
void RunVerb(const Command& command, const ConsoleContext& context, BackupFile* file, RunLog& log,
             Report& report) {
  // Whatever the verb and its options, what a killed run left mounted, copied or recorded goes
  // first, so that running any verb again finishes what a killed one began.
  const std::vector<std::string> swept =
      context.profiles ? context.profiles->Sweep() : std::vector<std::string>();
  switch (command.verb) {
    case Command::Verb::kCheck:
      Check(command, context, log, report);
      break;
    case Command::Verb::kRestore:
      Restore(command, context, log, report);
      break;
    default:
      Clean(command, context, file, log, report);
      break;
  }
  report.swept.insert(report.swept.begin(), swept.begin(), swept.end());
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

  RunLog log(command.log ? context.log : nullptr, command.logPath, context.err);
  log.Header(std::string(kProgram) + ' ' + ConsoleVersion(), arguments);
  // Held here, so that a run that fails unexpectedly still names the file it began.
  std::unique_ptr<BackupFile> file;
  Report report;
  report.started = context.now();
  report.computer = context.computer ? context.computer() : std::string();
  try {
    if (!command.backupPath.empty()) {
      file = context.backupFile(command.backupPath, command.backupInFolder);
    }
    RunVerb(command, context, file.get(), log, report);
  } catch (const std::exception& error) {
    report.action = command.verb == Command::Verb::kCheck     ? Action::kCheck
                    : command.verb == Command::Verb::kRestore ? Action::kRestore
                                                              : Action::kClean;
    report.outcome = Outcome::kFailed;
    report.message = FailureText(error.what());
    report.messageShown = false;
    report.backupPath = file ? file->Name() : command.restorePath;
  }
  report.milliseconds = MillisecondsBetween(report.started, context.now());
  int status = ExitStatus(report);
  if (command.json) {
    context.out << JsonReport(report, status) << std::endl;
  } else {
    context.out << Shown(SummaryLine(report)) << std::endl;
  }
  PrintUsersNotes(context.err, report);
  if (!report.message.empty() && !report.messageShown) {
    PrintMessage(context.err, report.message);
  }
  status = StatusAfterOutput(status, context);
  log.Ending(report, status);
  return status;
}
