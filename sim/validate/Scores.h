// The scores the checks run the module on.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "contract/MelvaraRegion.h"
#include "sim/score/Score.h"

namespace sim {

// The scores the checks run the module on.
struct NamedScore {
    std::string Name;  // "the empty score", "piece.json" ...
    Score Document;
};

// One staff, one measure, nothing in it and no records.
NamedScore EmptyScore();
// One entry with one tuplet, the tuplet defaults and their part records.
NamedScore OneTupletScore();
// The project's samples (built in).
std::vector<NamedScore> Samples();
// 24 measures of 8 staves, 4 layers of 8 entries: about 3,000 tuplets.
NamedScore LargeScore();
// About a million tuplets: 250 measures of 50 staves, 4 layers of 40 entries.
NamedScore MillionTupletScore();

// What a check passes with a command on the score: no selection, the whole
// score, and regions that cut it (part of the measures and staves, starting
// and ending inside a measure).
std::vector<std::optional<RegionRecord>> SelectionsOf(const Score& score);

// The samples as text, generated from samples/*.json.
struct SampleScore {
    const char* Name;
    const char* Text;
};
const std::vector<SampleScore>& SampleScores();

}  // namespace sim
