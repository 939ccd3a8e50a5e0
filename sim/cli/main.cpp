// melvara-sim's entry point: the host program on Linux.
//
// It stands in for the host program: loads a plug-in module by file through its
// seven exports and runs it on a score file. The host functions that the module
// looks up by name are exported from this program.
#include <iostream>
#include <string>
#include <vector>

#include "sim/cli/Cli.h"
#include "sim/support/ProgramName.h"

int main(int argc, char** argv) {
    sim::SetProgramPath(argc > 0 ? argv[0] : nullptr);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return sim::RunMain(args, std::cout, std::cerr);
}
