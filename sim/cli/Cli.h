#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/cli/RunCommand.h"

namespace sim {

// The program's help text: every command, option and the selection syntax.
extern const char* const kUsage;

// The options of `run`, from the arguments after the command name. Returns
// nothing and sets error for a usage error.
std::optional<RunOptions> ParseRunOptions(const std::vector<std::string>& args, std::string& error);

// melvara-sim as a whole: args are the arguments after the program name.
// Returns the exit status.
int RunMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
