// melvara-sim as a whole: the overview, the dispatch to its commands, their usage errors.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/cli/OptionParser.h"
#include "sim/cli/RunCommand.h"

namespace sim {

// melvara-sim --help: what the program is, and its commands.
extern const char* const kOverview;

// The end of reading a command's arguments: for Help, prints the command's
// help (exit status 0); for Error, the usage error (2). Nothing for Ok: the
// command runs.
std::optional<int> ReportParse(ParseResult result, const std::string& command, const char* help,
                               const std::string& error, std::ostream& out, std::ostream& err);

// melvara-sim as a whole: args are the arguments after the program name.
// Returns the exit status.
int RunMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
