#include "console/RunLog.h"

#include "registry/ShownText.h"

namespace {

// The command line as typed, an argument that holds a space, or none, in quotes.
std::string CommandLineText(const std::vector<std::string>& arguments) {
  std::string text;
  for (const std::string& argument : arguments) {
    const bool quoted = argument.empty() || argument.find_first_of(" \t") != std::string::npos;
    text += (text.empty() ? "" : " ") + (quoted ? "\"" + argument + "\"" : argument);
  }
  return text;
}

}  // namespace

RunLog::RunLog(LogPlatform* platform, const std::string& path, std::ostream& err)
    : platform_(platform), err_(err) {
  if (!platform_) {
    return;
  }
  std::string why;
  file_ = platform_->Open(path, &why);
  if (!file_) {
    Fail(why);
  }
}

void RunLog::Header(const std::string& program, const std::vector<std::string>& arguments) {
  if (!file_) {
    return;
  }
  const Runner who = platform_->Who();
  thread_ = who.thread;
  Line(LogType::kInformation, program + " on " + who.computer + " as " + who.account +
                                  ", started " + UtcText(platform_->Now()));
  Line(LogType::kInformation, "Command line: " + CommandLineText(arguments));
}

void RunLog::Key(const char* what, const ShownKey& key) {
  Line(LogType::kInformation, std::string(what) + " " + key.root + key.path);
}

void RunLog::Line(LogType type, const std::string& text) {
  if (!file_) {
    return;
  }
  const std::string record = CmTraceRecord(text, type, platform_->Now(), thread_);
  std::string why;
  if ((RollsOver(file_->Size(), record.size()) && !file_->RollOver(&why)) ||
      !file_->Append(record, &why)) {
    Fail(why);
  }
}

void RunLog::Ending(const Report& report, int status) {
  for (const UsersNote& note : UsersNotes(report)) {
    Line(note.warning ? LogType::kWarning : LogType::kInformation, note.text);
  }
  for (const std::string& line : FileLines(report)) {
    Line(LogType::kInformation, line);
  }
  if (!report.backupPath.empty()) {
    Line(LogType::kInformation, "Backup file: " + report.backupPath);
  }
  const LogType type = status == 0   ? LogType::kInformation
                       : status == 1 ? LogType::kWarning
                                     : LogType::kError;
  // Lines standard error told as the run went are in the log already.
  if (!report.message.empty() && !report.messageShown) {
    for (const std::string& line : MessageLines(report.message)) {
      Line(type, line);
    }
  }
  Line(type, SummaryLine(report));
  Line(type, std::string(ActionName(report.action)) + " ended: " + OutcomeName(report.outcome) +
                 ", exit status " + std::to_string(status));
}

void RunLog::Fail(const std::string& why) {
  err_ << "tessaline-clean: the log cannot be written, the run goes on without it: " << Shown(why)
       << std::endl;
  file_.reset();
}
