#include "console/Report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "clean/CleanProcedure.h"
#include "common/PlatformTexts.h"

#include "registry/ShownText.h"

namespace {

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

const char* LoadedName(ProfileReport::Loaded loaded) {
  switch (loaded) {
    case ProfileReport::Loaded::kByUser:
      return "by-user";
    case ProfileReport::Loaded::kByRun:
      return "by-run";
    case ProfileReport::Loaded::kNo:
      break;
  }
  return nullptr;
}

const char* ProfileOutcomeName(ProfileReport::Outcome outcome) {
  switch (outcome) {
    case ProfileReport::Outcome::kPassedOver:
      return "passed-over";
    case ProfileReport::Outcome::kNotExamined:
      return "not-examined";
    case ProfileReport::Outcome::kLeftLoaded:
      return "left-loaded";
    case ProfileReport::Outcome::kExamined:
      break;
  }
  return "examined";
}

// The profiles, the kept keys and the swept hives of a run over every user.
void AddUsers(const Report& report, nlohmann::ordered_json& object) {
  nlohmann::ordered_json profiles = nlohmann::ordered_json::array();
  for (const ProfileReport& profile : report.profiles) {
    const char* loaded = LoadedName(profile.loaded);
    profiles.push_back(
        {{"sid", profile.id},
         {"folder", TextOrNull(profile.folder)},
         {"loaded", loaded ? nlohmann::ordered_json(loaded) : nlohmann::ordered_json(nullptr)},
         {"outcome", ProfileOutcomeName(profile.outcome)},
         {"reason", TextOrNull(profile.reason)}});
  }
  nlohmann::ordered_json kept = nlohmann::ordered_json::array();
  for (const KeptKey& key : report.kept) {
    kept.push_back({{"root", key.key.root},
                    {"path", key.key.path},
                    {"sid", key.profile},
                    {"reason", key.why}});
  }
  object["profiles"] = std::move(profiles);
  object["kept"] = std::move(kept);
  object["swept"] = report.swept;
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kAbsent:
      return "absent";
    case Outcome::kPresent:
      return "present";
    case Outcome::kDone:
      return "done";
    case Outcome::kStopped:
      return "stopped";
    case Outcome::kBackupFailed:
      return "backup-failed";
    case Outcome::kRestored:
      return "restored";
    case Outcome::kRefused:
      return "refused";
    case Outcome::kIncomplete:
      return "incomplete";
    case Outcome::kFailed:
      break;
  }
  return "failed";
}

const char* ActionName(Action action) {
  switch (action) {
    case Action::kClean:
      return "clean";
    case Action::kRestore:
      return "restore";
    case Action::kCheck:
      break;
  }
  return "check";
}

int ExitStatus(const Report& report) {
  int status = kFailedStatus;
  switch (report.outcome) {
    case Outcome::kAbsent:
    case Outcome::kDone:
    case Outcome::kRestored:
      return 0;
    case Outcome::kPresent:
      return 1;
    case Outcome::kStopped:
    case Outcome::kIncomplete:
      status = 1;
      break;
    case Outcome::kBackupFailed:
    case Outcome::kRefused:
      status = 3;
      break;
    case Outcome::kFailed:
      return kFailedStatus;
  }
  return report.retry ? kRetryStatus : status;
}

namespace {

nlohmann::ordered_json KeyObject(const FoundKey& key, Action action) {
  nlohmann::ordered_json entry = {{"root", key.key.root}, {"path", key.key.path}};
  // Check tells how much lies below each key, or that it could not be read whole.
  if (action == Action::kCheck) {
    entry["subkeys"] =
        key.counts ? nlohmann::ordered_json(key.counts->subkeys) : nlohmann::ordered_json(nullptr);
    entry["values"] =
        key.counts ? nlohmann::ordered_json(key.counts->values) : nlohmann::ordered_json(nullptr);
  }
  return entry;
}

// Every character past ASCII as its escape: a name's U+2028 or U+0085, which some readers take
// for a line's end, cannot split the report's one line.
std::string Dump(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

constexpr int kSchemaVersion = 1;

// The fields before the keys: what the object is, and where and when the run began.
nlohmann::ordered_json HeadFields(const Report& report) {
  return {{"schemaVersion", kSchemaVersion},    {"program", "tessaline-clean"},
          {"version", TESSALINE_VERSION},       {"computer", TextOrNull(report.computer)},
          {"started", IsoTime(report.started)}, {"action", ActionName(report.action)}};
}

// The fields after the keys.
nlohmann::ordered_json EndFields(const Report& report, int status) {
  nlohmann::ordered_json object = {{"outcome", OutcomeName(report.outcome)},
                                   {"exitStatus", status},
                                   {"durationMs", report.milliseconds},
                                   {"message", TextOrNull(report.message)},
                                   {"backup", TextOrNull(report.backupPath)}};
  if (report.action != Action::kRestore) {
    object["files"] = report.files;
    object["moreFiles"] = report.moreFiles;
  }
  if (report.usersReported) {
    AddUsers(report, object);
  }
  return object;
}

// The object's text without its closing brace.
std::string Opened(const nlohmann::ordered_json& object) {
  const std::string text = Dump(object);
  return text.substr(0, text.size() - 1);
}

// The number of days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
std::int64_t DaysFromEpoch(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::int64_t Milliseconds(const UtcTime& time) {
  const std::int64_t days = DaysFromEpoch(time.year, time.month, time.day);
  return ((days * 24 + time.hour) * 60 + time.minute) * 60000 + time.second * 1000 +
         time.millisecond;
}

std::string Keys(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " key" : " keys");
}

std::string BackupPart(const Report& report) {
  return report.backupPath.empty() ? "no backup" : "backup: " + report.backupPath;
}

}  // namespace

std::string JsonReport(const Report& report, int status) {
  const nlohmann::ordered_json end = EndFields(report, status);
  if (report.keysStreamed) {
    // The object's start and its keys are out already: its other fields close it.
    return "]," + Dump(end).substr(1);
  }
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const FoundKey& key : report.keys) {
    keys.push_back(KeyObject(key, report.action));
  }
  nlohmann::ordered_json object = HeadFields(report);
  object["keys"] = std::move(keys);
  for (const auto& [name, value] : end.items()) {
    object[name] = value;
  }
  return Dump(object);
}

std::string JsonReportStart(const Report& report) {
  return Opened(HeadFields(report)) + ",\"keys\":[";
}

std::string JsonKey(const FoundKey& key, Action action) {
  return Dump(KeyObject(key, action));
}

std::string IsoTime(const UtcTime& time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", time.year, time.month,
                time.day, time.hour, time.minute, time.second, time.millisecond);
  return text;
}

std::string UtcText(const UtcTime& time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u UTC", time.year, time.month,
                time.day, time.hour, time.minute, time.second);
  return text;
}

std::int64_t MillisecondsBetween(const UtcTime& from, const UtcTime& to) {
  return Milliseconds(to) - Milliseconds(from);
}

std::string SummaryLine(const Report& report) {
  const std::size_t count =
      report.action == Action::kRestore ? report.restored : report.keys.size();
  const std::string control = "TessalineWeb_EN.ocx";
  switch (report.action) {
    case Action::kCheck:
      if (report.outcome == Outcome::kPresent) {
        return Keys(count) + " of " + control + (count == 1 ? " is" : " are") + " present.";
      }
      if (report.outcome == Outcome::kAbsent) {
        return "Nothing of " + control + " is present.";
      }
      if (report.outcome == Outcome::kIncomplete) {
        return "Nothing of " + control + " was found, but not every profile was examined.";
      }
      return "The check stopped: " + Keys(count) + " found before it.";
    case Action::kClean:
      if (report.outcome == Outcome::kDone) {
        return std::string(kDoneText) + " " + Keys(count) + " deleted; " + BackupPart(report);
      }
      if (!report.kept.empty()) {
        return "Not finished: " + Keys(count) + " deleted, " + Keys(report.kept.size()) +
               " kept; " + BackupPart(report);
      }
      return "Stopped: " + Keys(count) + " deleted; " + BackupPart(report);
    case Action::kRestore:
      if (report.outcome == Outcome::kRestored) {
        return "Restored " + Keys(count) + " from " + report.backupPath;
      }
      if (report.outcome == Outcome::kRefused) {
        return "Nothing was restored from " + report.backupPath;
      }
      return "Not finished: " + Keys(count) +
             " restored, what was not is named on standard "
             "error; from " +
             report.backupPath;
  }
  return std::string();
}

void PrintKey(std::ostream& out, const ShownKey& key) {
  out << Shown(key.root + key.path) << '\n';
}

std::vector<UsersNote> UsersNotes(const Report& report) {
  std::vector<UsersNote> notes;
  for (const std::string& hive : report.swept) {
    notes.push_back({"Unloaded HKEY_USERS\\" + hive + ", left loaded by an earlier run", true});
  }
  for (const KeptKey& key : report.kept) {
    notes.push_back({"Kept " + key.key.root + key.key.path + " of " + WithAccountName(key.profile) +
                         ": " + key.why,
                     true});
  }
  for (const ProfileReport& profile : report.profiles) {
    const std::string account = AccountName(profile.id);
    const std::string named = "The profile " + profile.id + " (" +
                              (account.empty() ? "" : account + ", ") + profile.folder + ") was ";
    switch (profile.outcome) {
      case ProfileReport::Outcome::kNotExamined:
        notes.push_back({named + "not examined: " + profile.reason, true});
        break;
      case ProfileReport::Outcome::kLeftLoaded:
        notes.push_back({named + "examined, but " + profile.reason, true});
        break;
      case ProfileReport::Outcome::kPassedOver:
        notes.push_back({named + "passed over: " + profile.reason, false});
        break;
      case ProfileReport::Outcome::kExamined:
        notes.push_back({named + "examined", false});
        break;
    }
  }
  return notes;
}

std::vector<std::string> MessageLines(const std::string& message) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = message.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(message.substr(start, end - start));
  }
  lines.push_back(message.substr(start));
  return lines;
}

std::vector<std::string> FileLines(const Report& report) {
  std::vector<std::string> lines;
  for (const std::string& path : report.files) {
    lines.push_back("File left on disk: " + path);
  }
  if (report.moreFiles > 0) {
    lines.push_back("... and " + std::to_string(report.moreFiles) + " more files left on disk");
  }
  return lines;
}

void PrintFiles(std::ostream& out, const Report& report) {
  for (const std::string& line : FileLines(report)) {
    out << Shown(line) << '\n';
  }
  out.flush();
}

void PrintUsersNotes(std::ostream& err, const Report& report) {
  for (const UsersNote& note : UsersNotes(report)) {
    if (note.warning) {
      err << Shown(note.text) << '\n';
    }
  }
  err.flush();
}

void PrintMessage(std::ostream& err, const std::string& message) {
  for (const std::string& line : MessageLines(message)) {
    err << Shown(line) << '\n';
  }
  err.flush();
}
