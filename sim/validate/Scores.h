// The scores the checks run the module on.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "contract/MelvaraRegion.h"
#include "sim/score/Score.h"
#include "sim/score/ScoreGenerator.h"

namespace sim {

struct NamedScore;

// Where a score of the checks comes from, so that it can be made again: a
// preset (below), or generated from the generator's options.
struct ScoreSource {
    std::string Preset;
    GeneratorOptions Generated;  // when Preset is empty
    std::string File;            // a file name for it: "empty.json"

    // melvara-sim generate's arguments that write it (without --out).
    std::vector<std::string> Arguments() const;
    // As plain fields, and back (nothing for fields that are none).
    std::vector<std::string> Fields() const;
    static std::optional<ScoreSource> FromFields(const std::vector<std::string>& fields);
    NamedScore Make() const;
};

// The scores the checks run the module on.
struct NamedScore {
    std::string Name;  // "the empty score", "piece.json" ...
    Score Document;
    ScoreSource Source;
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

// The checks' own scores by name, as generate --preset writes them: empty,
// one-tuplet, large, million, and each sample by its name (piece ...).
struct ScorePreset {
    std::string Name;
    std::string About;
    std::function<NamedScore()> Make;
};
const std::vector<ScorePreset>& ScorePresets();
const ScorePreset* FindScorePreset(const std::string& name);

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
