// MELVARA.EXE's entry point: melvara-sim for Windows.
//
// Loads a plug-in module by file through its seven exports and runs it on a
// score file; the thirteen host functions are exported from this program. The
// module shows the system's own message boxes, which this program watches and
// answers; under Wine it first makes the settings it needs in the prefix.
#include <iostream>
#include <string>
#include <vector>

#include "sim/cli/Cli.h"
#include "sim/module/ModuleLoader.h"
#include "sim/support/ProgramName.h"
#include "sim/windows/BoxWatcher.h"
#include "sim/windows/WineSettings.h"

int main(int argc, char** argv) {
    sim::SetProgramPath(argc > 0 ? argv[0] : nullptr);
    // Before any window: under Wine each box would otherwise wait a second.
    sim::windows::PrepareWine();
    sim::SetInvokeWrapper(sim::windows::InvokeWatchingBoxes);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return sim::RunMain(args, std::cout, std::cerr);
}
