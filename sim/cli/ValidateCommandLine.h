// melvara-sim validate's command line: its help and its entry point.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sim {

// melvara-sim validate --help: the levels, the options and the exit status.
extern const char* const kValidateHelp;

// melvara-sim validate: reads its arguments (those after the command name)
// and validates the module, or, with the hidden --check NAME, runs one check
// in its own process. Returns the exit status.
int ValidateMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
