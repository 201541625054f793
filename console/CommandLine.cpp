#include "console/CommandLine.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <regex>
#include <sstream>

#include "registry/AsciiCase.h"

namespace {

constexpr const char* kVerbs[] = {"check", "clean", "restore"};
constexpr const char* kFlags[] = {"--all-users", "--include-default-profile", "--json", "--no-log"};

// Each option that names a place to write, and what it names.
constexpr const char* kPlaceOptions[][2] = {
    {"--backup", "a file"}, {"--backup-dir", "a folder"}, {"--log", "a file"}};

// CLI11 takes whatever follows an option as its value. A place that is missing, empty or looks
// like an option is wrong usage, found before anything runs; an empty string when the options
// that name places are well formed.
std::string PlaceValueError(const std::vector<std::string>& arguments) {
  for (std::size_t index = 0; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    for (const auto& [name, what] : kPlaceOptions) {
      const std::string option = name;
      std::string value;
      if (argument == option) {
        value = index + 1 < arguments.size() ? arguments[index + 1] : std::string();
      } else if (argument.rfind(option + "=", 0) == 0) {
        value = argument.substr(option.size() + 1);
      } else {
        continue;
      }
      if (value.empty() || value[0] == '-') {
        // A name that starts with '-' can still be given as .\-name.
        return option + " needs " + what + " name, not \"" + value + "\"";
      }
    }
  }
  return std::string();
}

// The verb first, and only the forms the usage shows: options spelled "--name", those that name a
// place with their value after a space or "=", flags alone. Windows' "/name" is no form of this
// program's but "/?"; one taken for a file name would run a clean nobody asked for. An empty
// string when the arguments take these forms.
std::string FormError(const std::vector<std::string>& arguments) {
  const std::string& verb = arguments[0];
  if (std::none_of(std::begin(kVerbs), std::end(kVerbs),
                   [&](const char* known) { return AsciiUpper(verb) == AsciiUpper(known); })) {
    return "\"" + verb + "\" is no verb: the verbs are check, clean and restore, and come first";
  }
  for (std::size_t index = 1; index < arguments.size(); ++index) {
    const std::string& argument = arguments[index];
    const bool placeValue =
        std::any_of(std::begin(kPlaceOptions), std::end(kPlaceOptions),
                    [&](const auto& option) { return arguments[index - 1] == option[0]; });
    if (!placeValue && argument == "--") {
      return "\"--\" is no option of this program's";
    }
    if (!placeValue && argument.size() > 1 && argument[0] == '/') {
      return "\"" + argument + "\" is no option: options begin with --, as the usage shows";
    }
    for (const char* flag : kFlags) {
      if (argument.rfind(std::string(flag) + "=", 0) == 0) {
        return std::string(flag) + " takes no value";
      }
    }
  }
  return std::string();
}

// The parser's complaint in this program's words.
std::string OwnWords(const CLI::ParseError& error, const std::string& verb) {
  const std::string text = error.what();
  std::smatch match;
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    // The parser took the arguments last first, and names them so.
    std::istringstream extras(text.substr(text.find(": ") + 2));
    std::vector<std::string> names{std::istream_iterator<std::string>(extras), {}};
    std::string shown;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
      shown += (shown.empty() ? "" : " ") + *name;
    }
    return verb + " does not take " + shown;
  }
  if (std::regex_match(text, match, std::regex("(.*) excludes (.*)"))) {
    return match[1].str() + " and " + match[2].str() + " cannot be given together";
  }
  if (std::regex_match(text, match, std::regex("(.*) requires (.*)"))) {
    return match[1].str() + " needs " + match[2].str();
  }
  if (dynamic_cast<const CLI::RequiredError*>(&error)) {
    return verb + " needs a file name";
  }
  return "the command line cannot be read: " + text;
}

constexpr const char* kUsage =
    "Usage:\n"
    "  tessaline-clean check [--all-users] [--json] [--log FILE]\n"
    "  tessaline-clean clean [--backup FILE | --backup-dir DIR]\n"
    "                        [--all-users [--include-default-profile]] [--json]\n"
    "                        [--log FILE | --no-log]\n"
    "  tessaline-clean restore FILE [--json] [--log FILE | --no-log]\n"
    "  tessaline-clean --help | -h | /? | --version\n"
    "\n"
    "Removes every registry trace of the TessalineWeb_EN.ocx control.\n"
    "\n"
    "  check            list what clean would delete; changes nothing\n"
    "  clean            delete it, printing each deleted key, then a line that\n"
    "                   begins \"Done!\" with the count and the backup file\n"
    "  --backup FILE    before each key goes, write it to FILE, a new .reg file;\n"
    "                   put back with: tessaline-clean restore FILE\n"
    "  --backup-dir DIR the same, to a new file of its own in DIR (made if missing):\n"
    "                   tessaline-backup-<UTC time>-<process id>.reg\n"
    "  restore FILE     put back every key a backup holds, exactly; a file that is\n"
    "                   not a whole backup of the control's keys is refused\n"
    "  --all-users      also every user's keys: the hives loaded under HKEY_USERS,\n"
    "                   and those of every profile whose user is not logged on\n"
    "                   (check reads private copies of them; clean loads each in\n"
    "                   turn, then unloads it); a key of a user's that cannot go\n"
    "                   is kept and named, and the run goes on\n"
    "  --include-default-profile\n"
    "                   with --all-users, clean the template of new users'\n"
    "                   profiles too (check always reports it)\n"
    "  --json           print one JSON object instead of the lines\n"
    "  --log FILE       append the run's log to FILE (CMTrace format) instead of\n"
    "                   %WINDIR%\\Logs\\Tessaline\\tessaline-clean.log (elevated) or\n"
    "                   %LOCALAPPDATA%\\Tessaline\\tessaline-clean.log; check writes\n"
    "                   a log only to a FILE given\n"
    "  --no-log         write no log\n"
    "\n"
    "Exit status:\n"
    "  0  nothing present and every profile examined (check), done (clean), or\n"
    "     everything back (restore)\n"
    "  1  something present or a profile not examined (check), stopped at a\n"
    "     failure or a user's key kept (clean), or a key not put back (restore)\n"
    "  2  wrong usage; nothing was touched\n"
    "  3  the backup could not be written; the key it was for was not deleted\n"
    "     (clean), or the file was refused and nothing was written (restore)\n"
    "  4  an unexpected failure\n"
    "  1618  not finished only for what a later run resolves by itself: a\n"
    "     profile's hive in use, a key changed while it was backed up, a hive\n"
    "     left loaded; run again (deployment tools retry it by themselves)\n"
    "No run ever needs a restart of the machine.\n";

}  // namespace

const char* UsageText() {
  return kUsage;
}

ParsedCommand ParseCommandLine(const std::vector<std::string>& arguments) {
  ParsedCommand parsed;
  if (arguments.empty()) {
    parsed.error = "a verb is required: check, clean or restore";
    return parsed;
  }
  // Asking for help anywhere on the line gets it, as with other console tools.
  const auto asks = [&](std::initializer_list<const char*> flags) {
    return std::any_of(arguments.begin(), arguments.end(), [&](const std::string& argument) {
      return std::find(flags.begin(), flags.end(), argument) != flags.end();
    });
  };
  if (asks({"--help", "-h", "/?"})) {
    parsed.valid = true;
    parsed.command.verb = Command::Verb::kHelp;
    return parsed;
  }
  if (arguments.size() == 1 && arguments[0] == "--version") {
    parsed.valid = true;
    parsed.command.verb = Command::Verb::kVersion;
    return parsed;
  }

  CLI::App app("tessaline-clean", "tessaline-clean");
  app.set_help_flag();
  app.require_subcommand(1, 1);
  // Verbs are matched without regard to case, as Windows commands are.
  app.ignore_case();
  Command& command = parsed.command;
  CLI::App* check = app.add_subcommand("check");
  CLI::App* clean = app.add_subcommand("clean");
  for (CLI::App* verb : {check, clean}) {
    verb->add_flag("--all-users", command.allUsers);
    verb->add_flag("--json", command.json);
  }
  CLI::Option* allUsers = clean->get_option("--all-users");
  clean->add_flag("--include-default-profile", command.withTemplate)->needs(allUsers);
  std::string backupFolder;
  CLI::Option* file = clean->add_option("--backup", command.backupPath)->type_name("FILE");
  clean->add_option("--backup-dir", backupFolder)->type_name("DIR")->excludes(file);
  CLI::App* restore = app.add_subcommand("restore");
  restore->add_option("FILE", command.restorePath)->required();
  restore->add_flag("--json", command.json);
  bool noLog = false;
  for (CLI::App* verb : {check, clean, restore}) {
    CLI::Option* log = verb->add_option("--log", command.logPath)->type_name("FILE");
    if (verb != check) {
      verb->add_flag("--no-log", noLog)->excludes(log);
    }
  }

  parsed.error = FormError(arguments);
  if (parsed.error.empty()) {
    parsed.error = PlaceValueError(arguments);
  }
  if (!parsed.error.empty()) {
    return parsed;
  }
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    parsed.error = OwnWords(error, arguments[0]);
    return parsed;
  }
  if (!backupFolder.empty()) {
    command.backupPath = backupFolder;
    command.backupInFolder = true;
  }
  if (restore->parsed() && command.restorePath.empty()) {
    parsed.error = "restore needs a file name";
    return parsed;
  }
  command.verb = check->parsed()     ? Command::Verb::kCheck
                 : restore->parsed() ? Command::Verb::kRestore
                                     : Command::Verb::kClean;
  // A check changes nothing, so it keeps no record unless asked to.
  command.log = !noLog && (command.verb != Command::Verb::kCheck || !command.logPath.empty());
  parsed.valid = true;
  return parsed;
}
