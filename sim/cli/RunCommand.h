// melvara-sim run: its options, its exit statuses, and the run itself.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/host/HostControls.h"
#include "sim/module/ModuleLoader.h"

namespace sim {

// Exit status of melvara-sim.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,      // unreadable score, module that cannot be loaded, file not written
    kExitUsage = 2,        // wrong options
    kExitFrameErrors = 3,  // the module mishandled layer frames
    kExitModuleCrashed = 4,  // a call into the module crashed
    kExitTimedOut = 5,       // a call into the module did not return within --timeout
    kExitOutOfMemory = 6,    // a call into the module ran out of --memory-limit
    kExitWarnings = 7,       // --strict, and the run gave warnings
};

constexpr uint32_t kDefaultHostVersion = 0x19000000;

// What `melvara-sim run` is asked to do.
struct RunOptions {
    std::string ModulePath;
    std::string ScorePath;
    int16_t MenuIndex = 0;              // the command's menu index
    std::string Title;                  // the command's menu title, instead of MenuIndex
    std::string CommandName;            // a name that fits one title, instead of MenuIndex
    std::string SelectionText = "all";  // see Selection.h
    std::vector<int> Answers;           // scripted message box answers
    uint32_t HostVersion = kDefaultHostVersion;
    std::string OutPath;   // where to write the changed score; empty for nowhere
    bool InPlace = false;  // write back to ScorePath
    bool Trace = false;    // print every host call
    double TimeoutSeconds = 0;  // longest a call into the module may take; 0 for no limit
    uint64_t MemoryLimitMegabytes = 0;  // the most memory the process may take; 0 for no limit
    bool Strict = false;   // a warning makes the exit status kExitWarnings
    std::string JsonPath;  // where to write the report as JSON, if anywhere ("-": out)
    HostControls Controls;
};

// Loads the module, runs one of its commands on the score over the given
// selection, and reports: each message box as it is shown, a summary, the
// changes field by field, and anything the module did wrong. Writes the
// changed score when asked to, and the report as JSON; a file that may not
// be written is refused before the module is loaded. Returns the exit
// status: with --strict, kExitWarnings when there were warnings. A call into the
// module that crashes or outlasts the time limit ends the program: it names
// the export, the signal or exception and the last host call, and exits with
// kExitModuleCrashed, kExitTimedOut or kExitOutOfMemory.
int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sim
