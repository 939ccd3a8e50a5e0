// melvara-sim run's command line: its help and the reading of its options.
#pragma once

#include <string>
#include <vector>

#include "sim/cli/OptionParser.h"
#include "sim/cli/RunCommand.h"

namespace sim {

// melvara-sim run --help: run's options, its controls, the selection syntax
// and its exit statuses.
extern const char* const kRunHelp;

// Reads run's arguments (those after the command name) into options. Error
// describes a usage error; nothing is checked when help is asked for.
ParseResult ParseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                            std::string& error);

}  // namespace sim
