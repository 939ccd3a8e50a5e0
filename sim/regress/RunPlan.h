// The runs of regress as its run processes take them: each run's score, command, selection, answers
// and control.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract/MelvaraRegion.h"
#include "sim/validate/Scores.h"

namespace sim {

// How the host misbehaves in a run: not at all, one call failing, one of the
// odd hosts of the matrix (Matrix.h), or a host function missing.
struct ControlChoice {
    enum class Kind : uint8_t { None, FailingCall, OddHost, Missing };
    Kind What = Kind::None;
    uint64_t Value = 0;  // the call's number, the odd host's place, the HostFn

    bool operator==(const ControlChoice&) const = default;
};

// One run, made alike on both builds: a menu run reads the menu at the host
// version; a command run invokes the command (by each build's own index) on
// a score. A window asks the run process to keep the events at those
// positions whole.
struct PlannedRun {
    enum class Kind : uint8_t { Menu, Command };
    Kind What = Kind::Command;
    size_t Score = 0;  // in the plan's scores
    uint32_t HostVersion = 0x19000000;
    std::optional<int16_t> OldIndex;  // the command in each build's menu; none: not there
    std::optional<int16_t> NewIndex;
    std::string Title;  // the command's title, for people (not in the plan file)
    std::optional<RegionRecord> Selection;  // none: a null pointer
    std::vector<int> Answers;
    ControlChoice Control;
    size_t WindowFrom = 0;
    size_t WindowTo = 0;  // no window when equal to WindowFrom

    const std::optional<int16_t>& IndexOf(bool newBuild) const {
        return newBuild ? NewIndex : OldIndex;
    }
};

// What one run process is given: the scores, and runs by their number.
struct RunPlan {
    std::vector<ScoreSource> Scores;
    std::vector<std::pair<size_t, PlannedRun>> Runs;  // (run number, run)

    std::string Serialize() const;
    // Nothing, with error set, for text that is no plan.
    static std::optional<RunPlan> Parse(const std::string& text, std::string& error);
};

}  // namespace sim
