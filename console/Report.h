#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "backup/BackupName.h"
#include "clean/CheckProcedure.h"
#include "clean/CleanProcedure.h"
#include "registry/KeyName.h"

// How a run ended, as scripts read it.
enum class Outcome {
  kAbsent,
  kPresent,
  kDone,
  kStopped,
  kBackupFailed,
  kFailed,
  kRestored,
  kRefused,
  kIncomplete,  // went to its end, but a user's key was kept or a profile not examined
};

enum class Action { kCheck, kClean, kRestore };

// Wrong usage, which runs nothing, exits with kUsageStatus; a run that could not finish only for
// reasons a later run resolves by itself exits with kRetryStatus, which deployment tools retry.
constexpr int kUsageStatus = 2;
constexpr int kFailedStatus = 4;  // an unexpected failure
constexpr int kRetryStatus = 1618;

struct Report {
  Action action = Action::kCheck;
  Outcome outcome = Outcome::kAbsent;
  std::vector<FoundKey> keys;  // counts only where check read a key whole
  std::size_t restored = 0;    // the keys restore put back, which it does not hold
  std::string message;         // at a stop or failure
  std::string backupPath;      // empty without a backup
  // The JSON object's start and its keys went out as the run went, so that no list of keys is
  // held whole; JsonReport then closes it.
  bool keysStreamed = false;
  // The message's lines went to standard error as the run went; message holds them for JSON.
  bool messageShown = false;
  bool usersReported = false;  // --all-users: the profiles and kept keys are part of the report
  std::vector<ProfileReport> profiles;
  std::vector<KeptKey> kept;
  std::vector<std::string> swept;  // hives a killed run had left loaded, unloaded first
  // Whatever stopped the run or left it unfinished, a later run resolves by itself: a hive in
  // use, a mount name taken, a hive left loaded, a key that changed while it was backed up.
  bool retry = false;
  // Where and when it ran, and how long it took.
  std::string computer;  // empty when unknown
  UtcTime started;
  std::int64_t milliseconds = 0;
  std::vector<std::string> files;  // the control's files left on disk, at most kFilesNamed
  std::size_t moreFiles = 0;       // those left on disk beyond them
};

// The exit status of the report's outcome; see UsageText.
int ExitStatus(const Report& report);

// The names the JSON report gives the outcome and the action, "done" and "clean".
const char* OutcomeName(Outcome outcome);
const char* ActionName(Action action);

// A line about the users a run over every user reached: a hive it unloaded for a killed run, a
// key of a user's it kept, or a profile's outcome. A warning names what the run could not do or
// had to undo, and standard error tells it too; the log tells every note.
struct UsersNote {
  std::string text;
  bool warning = false;
};
std::vector<UsersNote> UsersNotes(const Report& report);

// A message's lines, as standard error and the log show them one by one.
std::vector<std::string> MessageLines(const std::string& message);

// The run as one JSON object on one line, its fields in one order for every verb; text that is
// not UTF-8 has its bad bytes replaced. With keysStreamed, only what closes the object
// JsonReportStart and JsonKey began; status is the exit status.
std::string JsonReport(const Report& report, int status);
std::string JsonReportStart(const Report& report);
std::string JsonKey(const FoundKey& key, Action action);
// A time as the JSON report gives it, ISO 8601 in UTC: "2026-12-09T03:15:00.042Z".
std::string IsoTime(const UtcTime& time);
// A time as the log and the backup's comment tell it: "2026-12-09 03:15:00 UTC".
std::string UtcText(const UtcTime& time);
// The milliseconds from one time to a later one.
std::int64_t MillisecondsBetween(const UtcTime& from, const UtcTime& to);

// A key as a line on standard output shows it: its full name from its root's, as reg.exe prints
// it. Names come from the registry or a file, so what could forge a line or move the cursor is
// escaped, as the backup's comments escape it; the JSON report holds them exactly.
void PrintKey(std::ostream& out, const ShownKey& key);
// The line that ends the report on standard output: what the run found, deleted or put back, how
// many keys, and its backup file, last on the line so that scripts can take it whole.
std::string SummaryLine(const Report& report);
// The files left on disk, a line each, and how many more there are, as the output and the log
// tell them; the program never deletes them.
std::vector<std::string> FileLines(const Report& report);
// FileLines on standard output, each escaped as the keys' lines are.
void PrintFiles(std::ostream& out, const Report& report);
// The warnings of UsersNotes on standard error, each escaped as the keys' lines are.
void PrintUsersNotes(std::ostream& err, const Report& report);
// The message's lines on standard error, each escaped as the keys' lines are.
void PrintMessage(std::ostream& err, const std::string& message);
