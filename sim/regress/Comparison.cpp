// The first difference between two runs, found from their digests and windows; runs grouped by it.
#include "sim/regress/Comparison.h"

#include <algorithm>
#include <map>

namespace sim {

const char* const kNotRepeatedKey =
    "the runs differed, and not when made again: the module does not do the same each time";

std::pair<size_t, size_t> DifferenceWindow(const RunResult& oldRun, const RunResult& newRun) {
    const size_t common = std::min(oldRun.Checkpoints.size(), newRun.Checkpoints.size());
    size_t block = 0;
    while (block < common && oldRun.Checkpoints[block] == newRun.Checkpoints[block])
        ++block;
    // The runs are alike up to this block; they part in it, or one of them
    // ends in it.
    const size_t start = block * EventTrace::kCheckpointEvents;
    return {start > kEventsBefore ? start - kEventsBefore : 0,
            start + EventTrace::kCheckpointEvents + 1};
}

RunComparison FirstDifference(const RunResult& oldRun, const RunResult& newRun) {
    RunComparison comparison;
    comparison.Differs = true;
    comparison.OldEvents = oldRun.Events;
    comparison.NewEvents = newRun.Events;
    std::map<size_t, const Event*> before;
    std::map<size_t, const Event*> after;
    for (const auto& [position, event] : oldRun.Window)
        before[position] = &event;
    for (const auto& [position, event] : newRun.Window)
        after[position] = &event;
    if (before.empty() && after.empty())
        return comparison;
    const size_t from = std::min(before.empty() ? after.begin()->first : before.begin()->first,
                                 after.empty() ? before.begin()->first : after.begin()->first);
    for (size_t position = from;; ++position) {
        const bool oldEnded = position >= oldRun.Events;
        const bool newEnded = position >= newRun.Events;
        if (oldEnded && newEnded)
            return comparison;
        const auto oldFound = before.find(position);
        const auto newFound = after.find(position);
        // A position inside a run but outside its window: nothing more to see.
        if ((!oldEnded && oldFound == before.end()) || (!newEnded && newFound == after.end()))
            return comparison;
        const Event* oldEvent = oldEnded ? nullptr : oldFound->second;
        const Event* newEvent = newEnded ? nullptr : newFound->second;
        if (std::optional<EventDifference> difference = CompareEvents(oldEvent, newEvent)) {
            comparison.First = std::move(difference);
            comparison.Position = position;
            if (oldEvent != nullptr)
                comparison.OldEvent = *oldEvent;
            if (newEvent != nullptr)
                comparison.NewEvent = *newEvent;
            for (size_t back = position > kEventsBefore ? position - kEventsBefore : 0;
                 back < position; ++back) {
                if (const auto found = before.find(back); found != before.end())
                    comparison.Before.push_back(*found->second);
            }
            return comparison;
        }
    }
}

std::vector<DifferenceGroup> GroupDifferences(std::vector<RunComparison>& runs,
                                              const std::set<std::string>& accepted) {
    std::vector<DifferenceGroup> groups;
    std::map<std::string, size_t> byKey;
    for (size_t i = 0; i < runs.size(); ++i) {
        RunComparison& run = runs[i];
        if (!run.Differs)
            continue;
        const std::string key = run.First ? run.First->Key : kNotRepeatedKey;
        auto found = byKey.find(key);
        if (found == byKey.end()) {
            found = byKey.emplace(key, groups.size()).first;
            DifferenceGroup group;
            group.Key = key;
            group.Title = run.First ? run.First->Title() : kNotRepeatedKey;
            group.Accepted = accepted.count(key) != 0;
            groups.push_back(std::move(group));
        }
        run.Group = found->second;
        groups[found->second].Runs.push_back(i);
    }
    return groups;
}

}  // namespace sim
