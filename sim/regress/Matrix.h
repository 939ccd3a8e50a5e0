// The runs of melvara-sim regress by level: scores, commands, selections, host versions, answers,
// controls.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/host/HostControls.h"
#include "sim/regress/RunPlan.h"
#include "sim/regress/RunResult.h"
#include "sim/validate/Scores.h"

namespace sim {

// The host version of a host of today: the runs of level 1, the hostile
// host and the speed comparison use it.
constexpr uint32_t kTodaysHostVersion = 0x19000000;

// A host that answers oddly, as a control of a run.
struct OddHost {
    std::string What;  // "every record cut to half its size"
    HostControls Controls;
    bool LastMeasures = false;  // select the last 8 measures, not the whole score
};
// The odd hosts of level 3, in order; a run names one by its place.
const std::vector<OddHost>& OddHosts();

// The controls a run's choice stands for.
HostControls ControlsOf(const ControlChoice& choice);

// One command as both builds list it at a host version: matched by title,
// else by index; a command only one build lists has no index in the other.
struct CommandPair {
    std::optional<int16_t> Old;
    std::optional<int16_t> New;
    std::string Title;
};
std::vector<CommandPair> PairCommands(const std::vector<MenuTitle>& oldMenu,
                                      const std::vector<MenuTitle>& newMenu);

// The runs of a level, the same for both builds. Level 1: the samples, each
// command on the whole score, at the host version of today. Level 2: also
// the empty, one-tuplet and large scores and two generated from the seed,
// with no selection and cut regions, at older host versions, and every
// message box answered No or Cancel where one offered it. Level 3: also a
// hostile host on the small scores with tuplets: each host call failing in
// turn, odd answers, each host function missing.
class Matrix {
  public:
    Matrix(int level, uint64_t seed);

    const std::vector<NamedScore>& Scores() const { return AllScores; }
    std::vector<ScoreSource> Sources() const;
    const std::vector<uint32_t>& HostVersions() const { return Versions; }
    // The score the speed comparison times the commands on.
    size_t LargeScore() const { return Large; }

    // A menu run per host version.
    std::vector<PlannedRun> MenuRuns() const;
    // Each command on each score and selection, answers by default.
    std::vector<PlannedRun> BaseRuns(
        const std::map<uint32_t, std::vector<CommandPair>>& commands) const;
    // The runs that the base runs' results decide: other answers where a box
    // offered them, and the hostile host (failing calls up to the most calls
    // either build made).
    std::vector<PlannedRun> DerivedRuns(const std::vector<PlannedRun>& base,
                                        const std::vector<const RunResult*>& oldResults,
                                        const std::vector<const RunResult*>& newResults) const;

    // "\"Reset\" on piece.json, whole score, host version 0x11000000, answering
    // No, host call #3 made to fail"; "the menu at host version 0x19000000".
    std::string Describe(const PlannedRun& run) const;

  private:
    // Whether the score takes the hostile controls.
    bool Hostile(size_t score) const;

    int Level;
    std::vector<NamedScore> AllScores;
    std::vector<uint32_t> Versions;
    size_t Large = 0;
};

}  // namespace sim
