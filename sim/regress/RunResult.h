// What a run process reports of each run, as lines of its results file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/regress/Event.h"
#include "sim/regress/EventTrace.h"

namespace sim {

// A command of a menu: its index and its title (UTF-16 record first).
struct MenuTitle {
    int16_t Index = 0;
    std::string Title;
};

// One run on one build: the count and digests of its events, the events of
// the window it was asked for, and what the plan's next runs are made from:
// the host calls it made, the answers its message boxes offered, the menu.
struct RunResult {
    size_t Events = 0;
    uint64_t Digest = 0;
    std::vector<uint64_t> Checkpoints;
    uint64_t Calls = 0;
    unsigned Offered = 0;  // bit n: a box offered answer n (kIdNo, kIdCancel ...)
    std::vector<std::pair<size_t, Event>> Window;
    std::vector<MenuTitle> Menu;

    bool SameAs(const RunResult& other) const {
        return Events == other.Events && Digest == other.Digest;
    }
    // The result of a trace; Calls, Offered and Menu are the caller's.
    static RunResult Of(const EventTrace& trace);
};

// The lines of a results file: a run's window events and menu titles come
// before its "run" line, which ends it.
std::string ResultLines(size_t run, const RunResult& result);

// The line that says the process ends after the run before it: the module
// crashed, did not return or ran out of memory in it.
std::string FaultEndLine();

// The runs that a results file reports whole, by number. A last line cut
// short (the process ended while writing it) is left out. faulted, when
// given, says whether the process ended after a fault in the module.
std::map<size_t, RunResult> ReadResults(const std::string& text, bool* faulted = nullptr);

// The plan's speed comparison: the seconds of each timed run of a command
// on each build, and the line that reports one.
std::string TimeLine(size_t command, bool newBuild, double seconds);
struct SpeedTimes {
    std::map<size_t, std::vector<double>> Old;  // by the command's place in the speed plan
    std::map<size_t, std::vector<double>> New;
};
SpeedTimes ReadTimes(const std::string& text);

}  // namespace sim
