// The command line's words: which command, its options and its operands.
#pragma once

#include <set>
#include <string>
#include <vector>

enum class CliCommand { None, Help, Recover, Scan, Info, Disks };

struct CliOptions {
  CliCommand command = CliCommand::None;
  // Help for `command` (None: the general help) instead of running it.
  bool help = false;
  bool deep = false;
  bool json = false;
  bool flat = false;
  // --types all: every file found, of any type.
  bool allTypes = false;
  // The selected type keys; empty: every photo, audio and video type.
  std::set<std::u16string> typeKeys;
  std::string source;
  std::string destination;
};

struct ParsedCommandLine {
  bool ok = false;
  std::string error;  // what was wrong, for "varnelle: <error>"
  CliOptions options;
};

// Parses the arguments after the program name. "-h"/"--help" anywhere asks
// for the help of the command given (or the general help); "--" ends the
// options. Unknown options, missing or extra operands, unknown type keys and
// options that do not belong to the command are errors.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The selection "--types" names: keys separated by commas, any case, spaces
// around them ignored; "jpeg", "tiff", "midi", ... count as the key they are
// grouped under. "all" alone selects every type. False with a message for an
// empty list or an unknown key.
bool ParseTypeList(const std::string& text, CliOptions* options, std::string* error);

const char* CommandName(CliCommand command);
