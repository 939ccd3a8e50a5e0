// Where two builds' runs part: the window to look in, the first differing event, the groups.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "sim/regress/Event.h"
#include "sim/regress/RunResult.h"

namespace sim {

// Events shown before the first difference.
constexpr size_t kEventsBefore = 3;

// The positions to keep whole, when the runs are made again, to find the
// first event at which two results differ: the block of events whose
// digests first part, and the events just before it.
std::pair<size_t, size_t> DifferenceWindow(const RunResult& oldRun, const RunResult& newRun);

// How one run compares on the two builds.
struct RunComparison {
    bool Differs = false;
    // The first difference; nothing when the runs differed but their
    // windows, made again, did not (a module that does not do the same each
    // time).
    std::optional<EventDifference> First;
    size_t Position = 0;            // of the first differing event, from 0
    std::vector<Event> Before;      // the events just before it, alike in both
    std::optional<Event> OldEvent;  // there; nothing when that run had ended
    std::optional<Event> NewEvent;
    size_t OldEvents = 0;
    size_t NewEvents = 0;
    size_t Group = 0;  // in Regression::Groups, for a run that differs
};

// The first difference between the windows of two results made again.
RunComparison FirstDifference(const RunResult& oldRun, const RunResult& newRun);

// The runs that differ first at the same place.
struct DifferenceGroup {
    std::string Key;           // EventDifference::Key, or the key of a run not made again alike
    std::string Title;         // the first run's difference, with its values
    std::vector<size_t> Runs;  // in run order
    bool Accepted = false;     // the key was in the accepted report
};

// Groups the differing runs by the key of their first difference, in the
// order of the first run of each; sets each comparison's group.
std::vector<DifferenceGroup> GroupDifferences(std::vector<RunComparison>& runs,
                                              const std::set<std::string>& accepted);

// The key and title of a run whose difference was not seen again.
extern const char* const kNotRepeatedKey;

}  // namespace sim
