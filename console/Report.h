#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

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

// The exit status of each outcome; wrong usage, which runs nothing, exits with kUsageStatus.
int ExitStatus(Outcome outcome);
constexpr int kUsageStatus = 2;

struct Report {
  Action action = Action::kCheck;
  Outcome outcome = Outcome::kAbsent;
  std::vector<FoundKey> keys;  // counts only where check read a key whole
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
  std::vector<std::string> files;  // the control's files left on disk, at most kFilesNamed
  std::size_t moreFiles = 0;       // those left on disk beyond them
};

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

// The run as one JSON object on one line; text that is not UTF-8 has its bad bytes replaced.
// With keysStreamed, only what closes the object JsonReportStart and JsonKey began.
std::string JsonReport(const Report& report);
std::string JsonReportStart(Action action);
std::string JsonKey(const FoundKey& key, Action action);

// A key as the lines on standard output show it: its root's line, then its path's. Names come
// from the registry or a file, so what could forge a line or move the cursor is escaped, as the
// backup's comments escape it; the JSON report holds them exactly.
void PrintKey(std::ostream& out, const ShownKey& key);
// The files left on disk, a line each, and how many more there are, as the output and the log
// tell them; the program never deletes them.
std::vector<std::string> FileLines(const Report& report);
// FileLines on standard output, each escaped as the keys' lines are.
void PrintFiles(std::ostream& out, const Report& report);
// The warnings of UsersNotes on standard error, each escaped as the keys' lines are.
void PrintUsersNotes(std::ostream& err, const Report& report);
// The message's lines on standard error, each escaped as the keys' lines are.
void PrintMessage(std::ostream& err, const std::string& message);
