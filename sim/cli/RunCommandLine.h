// melvara-sim run's command line: its help and the reading of its options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/cli/OptionParser.h"
#include "sim/cli/RunCommand.h"
#include "sim/module/Menu.h"

namespace sim {

// melvara-sim run --help: run's options, its controls, the selection syntax
// and its exit statuses.
extern const char* const kRunHelp;

// Reads run's arguments (those after the command name) into options. Error
// describes a usage error; nothing is checked when help is asked for.
ParseResult ParseRunOptions(const std::vector<std::string>& args, RunOptions& options,
                            std::string& error);

// The menu index of the command that --command NAME names: the one whose
// title (in either record) is name; else the one command whose title, case
// aside, is name, begins with it or holds its words in a row. Nothing, and
// why in problem, when none or several do.
std::optional<int16_t> FindCommandByName(const std::vector<MenuEntry>& menu,
                                         const std::string& name, std::string& problem);

}  // namespace sim
