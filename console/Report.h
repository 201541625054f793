#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How a run ended, as scripts read it.
enum class Outcome {
  kAbsent,
  kPresent,
  kDone,
  kStopped,
  kBackupFailed,
  kFailed,
  kRestored,
  kRefused
};

enum class Action { kCheck, kClean, kRestore };

// The exit status of each outcome; wrong usage, which runs nothing, exits with kUsageStatus.
int ExitStatus(Outcome outcome);
constexpr int kUsageStatus = 2;

// How much lies below a key that check found; unknown when it could not be read whole.
struct KeyCounts {
  std::uint64_t subkeys = 0;
  std::uint64_t values = 0;
};

// One key of the run: found by check, or deleted by clean.
struct ReportedKey {
  std::string root;
  std::string path;
  std::optional<KeyCounts> counts;  // found by check and read whole
};

struct Report {
  Action action = Action::kCheck;
  Outcome outcome = Outcome::kAbsent;
  std::vector<ReportedKey> keys;
  std::string message;     // at a stop or failure
  std::string backupPath;  // empty without a backup
};

// The run as one JSON object on one line; text that is not UTF-8 has its bad bytes replaced.
std::string JsonReport(const Report& report);
