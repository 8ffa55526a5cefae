#include "cli/cli_options.h"

#include <cctype>

#include "carving/type_lists.h"
#include "engines/search_job.h"
#include "platform/platform.h"

namespace {

struct CommandSpec {
  CliCommand command;
  const char* name;
  size_t operands;  // how many operands the command takes
};

constexpr CommandSpec kCommands[] = {
    {CliCommand::Recover, "recover", 2}, {CliCommand::Scan, "scan", 1},
    {CliCommand::Info, "info", 1},       {CliCommand::Disks, "disks", 0},
    {CliCommand::Help, "help", 0},
};

const CommandSpec* FindCommand(const std::string& word) {
  for (const CommandSpec& spec : kCommands) {
    if (word == spec.name) return &spec;
  }
  return nullptr;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string LowerAscii(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool OptionBelongsTo(const std::string& option, CliCommand command) {
  const bool scanning = command == CliCommand::Recover || command == CliCommand::Scan;
  if (option == "--quick" || option == "--deep") return scanning;
  if (option == "--types") return command == CliCommand::Recover;
  if (option == "--json" || option == "--flat") return command == CliCommand::Scan;
  return false;
}

// Applies one option (its value, if it takes one, is `value`).
bool ApplyOption(const std::string& option, const std::string& value, CliOptions* options,
                 std::string* error) {
  if (option == "--quick") options->deep = false;
  if (option == "--deep") options->deep = true;
  if (option == "--json") options->json = true;
  if (option == "--flat") options->flat = true;
  if (option == "--types") return ParseTypeList(value, options, error);
  return true;
}

bool IsHelpWord(const std::string& word) { return word == "-h" || word == "--help"; }

}  // namespace

const char* CommandName(CliCommand command) {
  for (const CommandSpec& spec : kCommands) {
    if (spec.command == command) return spec.name;
  }
  return "";
}

bool ParseTypeList(const std::string& text, CliOptions* options, std::string* error) {
  const std::set<std::u16string> known = DefaultTypeSelection();
  std::set<std::u16string> keys;
  bool all = false;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string word = LowerAscii(Trim(text.substr(start, comma - start)));
    start = comma + 1;
    if (word.empty()) {
      *error = "--types needs type keys separated by commas, e.g. --types jpg,png,mp4";
      return false;
    }
    if (word == "all") {
      all = true;
      continue;
    }
    const std::u16string key = NormalizeTypeKey(platform::Utf8ToUtf16(word));
    if (known.count(key) == 0) {
      *error = "unknown type key '" + word +
               "' (see 'varnelle recover --help' for the keys; --types all takes every file)";
      return false;
    }
    keys.insert(key);
  }
  if (all && !keys.empty()) {
    *error = "--types all cannot be combined with other type keys";
    return false;
  }
  options->allTypes = all;
  options->typeKeys = std::move(keys);
  return true;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  ParsedCommandLine parsed;
  CliOptions& options = parsed.options;
  if (args.empty()) {
    parsed.error = "no command given";
    return parsed;
  }
  const CommandSpec* spec = FindCommand(args[0]);
  if (spec == nullptr) {
    if (IsHelpWord(args[0])) {
      options.help = true;
      parsed.ok = true;
      return parsed;
    }
    parsed.error = "unknown command '" + args[0] + "'";
    return parsed;
  }
  options.command = spec->command;
  std::vector<std::string> operands;
  bool quickSeen = false;
  bool deepSeen = false;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      operands.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (IsHelpWord(word)) {
      options.help = true;
      continue;
    }
    const size_t equals = word.find('=');
    const std::string option = word.substr(0, equals);
    if (!OptionBelongsTo(option, spec->command)) {
      parsed.error = "unknown option '" + option + "' for '" + spec->name + "'";
      return parsed;
    }
    std::string value;
    if (option == "--types") {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        parsed.error = "--types needs a value, e.g. --types jpg,png or --types all";
        return parsed;
      }
    } else if (equals != std::string::npos) {
      parsed.error = "option '" + option + "' takes no value";
      return parsed;
    }
    quickSeen |= option == "--quick";
    deepSeen |= option == "--deep";
    if (!ApplyOption(option, value, &options, &parsed.error)) return parsed;
  }
  if (quickSeen && deepSeen) {
    parsed.error = "--quick and --deep exclude each other";
    return parsed;
  }
  if (spec->command == CliCommand::Help) {
    // "varnelle help [COMMAND]"
    options.help = true;
    options.command = CliCommand::None;
    if (!operands.empty()) {
      const CommandSpec* topic = FindCommand(operands[0]);
      if (topic == nullptr || operands.size() > 1) {
        parsed.error = "unknown help topic '" + operands[0] + "'";
        return parsed;
      }
      options.command = topic->command;
    }
    parsed.ok = true;
    return parsed;
  }
  if (!options.help && operands.size() != spec->operands) {
    parsed.error = operands.size() < spec->operands
                       ? std::string("missing operand for '") + spec->name + "'"
                       : "unexpected operand '" + operands[spec->operands] + "'";
    return parsed;
  }
  if (!operands.empty()) options.source = operands[0];
  if (operands.size() > 1) options.destination = operands[1];
  parsed.ok = true;
  return parsed;
}
