// The program's name in its messages, and the command that starts it again.
#pragma once

#include <string>
#include <vector>

namespace sim {

// The name that begins the program's messages ("melvara-sim: cannot load
// ..."): melvara-sim, or MELVARA.EXE in the Windows build.
const char* ProgramName();

// Records how the program was started: main's argv[0].
void SetProgramPath(const char* argv0);

// The words that start this program again from the current folder, for a
// command line a person pastes: the path it was started by
// ("./melvara-sim", "build/linux/sim/melvara-sim"). Under Wine, "wine" and
// the program's Unix path (relative when it lies in or below the current
// folder), after "xvfb-run -a" when the display is one that xvfb-run made.
// ProgramName() alone when no path was recorded.
std::vector<std::string> ProgramCommand();

// Whether the program runs under Wine (never on Linux).
bool RunningUnderWine();

}  // namespace sim
