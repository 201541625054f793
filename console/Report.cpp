#include "console/Report.h"

#include <nlohmann/json.hpp>

#include "registry/ShownText.h"

namespace {

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

nlohmann::ordered_json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(text);
}

}  // namespace

int ExitStatus(Outcome outcome) {
  switch (outcome) {
    case Outcome::kAbsent:
    case Outcome::kDone:
      return 0;
    case Outcome::kPresent:
    case Outcome::kStopped:
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

std::string JsonReport(const Report& report) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const FoundKey& key : report.keys) {
    nlohmann::ordered_json entry = {{"root", key.key.root}, {"path", key.key.path}};
    // Check tells how much lies below each key, or that it could not be read whole.
    if (report.action == Action::kCheck) {
      entry["subkeys"] = key.counts ? nlohmann::ordered_json(key.counts->subkeys)
                                    : nlohmann::ordered_json(nullptr);
      entry["values"] =
          key.counts ? nlohmann::ordered_json(key.counts->values) : nlohmann::ordered_json(nullptr);
    }
    keys.push_back(std::move(entry));
  }
  const nlohmann::ordered_json object = {
      {"action", ActionName(report.action)},
      {"outcome", OutcomeName(report.outcome)},
      {"keys", std::move(keys)},
      {"message", TextOrNull(report.message)},
      {"backup", TextOrNull(report.backupPath)},
  };
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

void PrintKey(std::ostream& out, const LoggedKey& key) {
  out << Shown(key.root) << '\n' << Shown(key.path) << '\n';
}

void PrintMessage(std::ostream& err, const std::string& message) {
  std::size_t start = 0;
  for (std::size_t end; (end = message.find('\n', start)) != std::string::npos; start = end + 1) {
    err << Shown(message.substr(start, end - start)) << '\n';
  }
  err << Shown(message.substr(start)) << std::endl;
}
