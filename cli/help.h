// The help texts: the general one and one per command.
#pragma once

#include <string>

#include "cli/cli_options.h"

std::string HelpText(CliCommand command);
