// Running this program again as a child process, its output captured, within a time limit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// How a child process of this program ended.
struct ChildOutcome {
    bool Started = false;
    std::string StartError;  // why it did not start
    bool Killed = false;     // ended by the parent when its time was up
    int Signal = 0;          // the signal that ended it (not on Windows)
    int ExitCode = 0;
    std::string Output;  // its standard output and error, together
};

// Runs this same program again with the arguments (posix_spawn, or
// CreateProcess on Windows), its output captured, and ends it when it takes
// longer than limitSeconds.
ChildOutcome RunThisProgram(const std::vector<std::string>& args, double limitSeconds);

// The machine's physical memory in megabytes; 0 when it cannot be told.
uint64_t MachineMegabytes();

}  // namespace sim
