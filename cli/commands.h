// The commands of the command line. Each writes its results to `out`, its
// messages to `err`, reports progress through the bar and returns the exit
// status.
#pragma once

#include <ostream>
#include <string>

#include "cli/cli_options.h"
#include "cli/progress_bar.h"

constexpr int kExitOk = 0;
constexpr int kExitError = 1;
constexpr int kExitUsage = 2;
constexpr int kExitSomeFailed = 3;
constexpr int kExitCancelled = 130;

struct CliContext {
  std::ostream& out;
  std::ostream& err;
  CProgressBar& progress;
};

int RunRecover(const CliOptions& options, CliContext& context);
int RunScan(const CliOptions& options, CliContext& context);
int RunInfo(const CliOptions& options, CliContext& context);
int RunDisks(const CliOptions& options, CliContext& context);

// Parses `args` (after the program name) and runs the command: help texts to
// `out`, usage errors to `err` with status 2.
int RunCommandLine(const std::vector<std::string>& args, CliContext& context);
