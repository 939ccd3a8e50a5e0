// melvara-sim regress's command line: its help and its entry point.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace sim {

// melvara-sim regress --help: the runs by level, the options, what is
// compared and the exit status.
extern const char* const kRegressHelp;

// melvara-sim regress: reads its arguments (those after the command name)
// and compares the two builds, or, with the hidden options, makes the runs
// of a plan in a run process of its own. Returns the exit status.
int RegressMain(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sim
