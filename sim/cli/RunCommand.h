#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "sim/host/HostCall.h"
#include "sim/score/Tags.h"

namespace sim {

// Exit status of melvara-sim.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailure = 1,      // unreadable score, module that cannot be loaded, file not written
    kExitUsage = 2,        // wrong options
    kExitFrameErrors = 3,  // the module mishandled layer frames
};

constexpr uint32_t kDefaultHostVersion = 0x19000000;

// A record, or every record of a tag when Keys is empty.
struct RecordSelector {
    uint32_t Tag = 0;
    std::optional<Keys> Words;
    std::string Text;  // as given: "pfTP:1,0,0,0"
};

// What `melvara-sim run` is asked to do.
struct RunOptions {
    std::string ModulePath;
    std::string ScorePath;
    int16_t MenuIndex = 1;              // 0 reset, 1 compare, 2 change
    std::string SelectionText = "all";  // see Selection.h
    std::vector<int> Answers;           // scripted message box answers
    uint32_t HostVersion = kDefaultHostVersion;
    std::string OutPath;   // where to write the changed score; empty for nowhere
    bool InPlace = false;  // write back to ScorePath
    bool Trace = false;    // print every host call

    // Controls.
    std::vector<HostFn> FailingFunctions;
    std::vector<uint64_t> FailingCalls;
    std::vector<RecordSelector> FailingLoads;
    std::vector<RecordSelector> FailingSaves;
    std::optional<int16_t> Document;
    bool CreateLeavesIndexUnset = false;
};

class Host;

// Wraps the module's Invoke for RunCommand: calls invoke and returns its
// result. A host program whose module shows the system's own message boxes
// (on Windows) sets one: it gives the host a real window (Host::SetWindow)
// and, while Invoke runs, records each box with Host::ShowMessageBox and
// presses the answer. Without one, Invoke is called directly.
using InvokeWrapper = std::function<int(Host& host, const std::function<int()>& invoke)>;
void SetInvokeWrapper(InvokeWrapper wrapper);

// Loads the module, runs one of its commands on the score over the given
// selection, and reports: each message box as it is shown, a summary, the
// changes field by field, and anything the module did wrong. Writes the
// changed score when asked to; a file that may not be written is refused
// before the module is loaded. Returns the exit status.
int RunCommand(const RunOptions& options, std::ostream& out, std::ostream& err);

}  // namespace sim
