#include "console/Report.h"

#include <nlohmann/json.hpp>

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

int ExitStatus(Outcome outcome) {
  switch (outcome) {
    case Outcome::kAbsent:
    case Outcome::kDone:
      return 0;
    case Outcome::kPresent:
    case Outcome::kStopped:
    case Outcome::kIncomplete:
      return 1;
    case Outcome::kRestored:
      return 0;
    case Outcome::kBackupFailed:
    case Outcome::kRefused:
      return 3;
    case Outcome::kFailed:
      break;
  }
  return 4;
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

std::string Dump(const nlohmann::ordered_json& json) {
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// Every field but the action and the keys.
nlohmann::ordered_json OutcomeFields(const Report& report) {
  nlohmann::ordered_json object = {{"outcome", OutcomeName(report.outcome)},
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

}  // namespace

std::string JsonReport(const Report& report) {
  const nlohmann::ordered_json outcome = OutcomeFields(report);
  if (report.keysStreamed) {
    // The object's start and its keys are out already: its other fields close it.
    return "]," + Dump(outcome).substr(1);
  }
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const FoundKey& key : report.keys) {
    keys.push_back(KeyObject(key, report.action));
  }
  nlohmann::ordered_json object = {{"action", ActionName(report.action)},
                                   {"outcome", outcome["outcome"]},
                                   {"keys", std::move(keys)}};
  for (const auto& [name, value] : outcome.items()) {
    object[name] = value;
  }
  return Dump(object);
}

std::string JsonReportStart(Action action) {
  return "{\"action\":\"" + std::string(ActionName(action)) + "\",\"keys\":[";
}

std::string JsonKey(const FoundKey& key, Action action) {
  return Dump(KeyObject(key, action));
}

void PrintKey(std::ostream& out, const ShownKey& key) {
  out << Shown(key.root) << '\n' << Shown(key.path) << '\n';
}

std::vector<UsersNote> UsersNotes(const Report& report) {
  std::vector<UsersNote> notes;
  for (const std::string& hive : report.swept) {
    notes.push_back({"Unloaded HKEY_USERS\\" + hive + ", left loaded by an earlier run", true});
  }
  for (const KeptKey& key : report.kept) {
    notes.push_back(
        {"Kept " + key.key.root + key.key.path + " of " + key.profile + ": " + key.why, true});
  }
  for (const ProfileReport& profile : report.profiles) {
    const std::string named = "The profile " + profile.id + " (" + profile.folder + ") was ";
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
