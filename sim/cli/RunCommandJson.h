// What melvara-sim run found, gathered once for its text and its JSON report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/cli/RunCommand.h"
#include "sim/host/Host.h"
#include "sim/score/ScoreDiff.h"

namespace sim {

// What one run found: the command, its boxes (the host's), the summary, the
// changes and the warnings, and how the run ended.
struct RunReport {
    const RunOptions* Options = nullptr;
    const Host* RunHost = nullptr;
    int16_t Index = 0;
    std::optional<std::string> Title;  // nothing: not in the menu
    std::string Selection;
    std::vector<std::string> SelectionWarnings;
    bool Invoked = false;  // Invoke returned
    int InvokeResult = 0;
    std::vector<std::string> UnusedControls;
    std::vector<ScoreChange> Changes;
    std::vector<std::string> Warnings;
    std::string Fault;  // how a call into the module went wrong, if it did
    int Status = kExitOk;

    // Tuplet records the module loaded.
    size_t TupletsRead() const;
};

// The report as one JSON object: module, score, host_version, command,
// selection, boxes, summary (null when Invoke did not return), changes,
// warnings, fault (null for none) and status, the exit status.
std::string FormatRunJson(const RunReport& report);

}  // namespace sim
