// The scores the checks run the module on, and the selections over them.
#include "sim/validate/Scores.h"

#include <algorithm>

#include "sim/score/ScoreFile.h"
#include "sim/score/ScoreGenerator.h"
#include "sim/score/Selection.h"

namespace sim {

namespace {

// Measures x staves cells of layers with entries each, a quarter of the
// entries with tuplets; named by its number of tuplets.
NamedScore Generated(int16_t measures, int16_t staves, int16_t layers, int32_t entries) {
    GeneratorOptions options;
    options.Measures = measures;
    options.Staves = staves;
    options.Layers = layers;
    options.Entries = entries;
    GeneratedCounts counts;
    Score score = GenerateScore(options, &counts);
    return {"a generated score of " + std::to_string(counts.Tuplets) + " tuplets",
            std::move(score)};
}

}  // namespace

NamedScore EmptyScore() {
    Score score;
    score.SetMeasures(1).AddStaff(1);
    return {"the empty score", score};
}

NamedScore OneTupletScore() {
    GeneratorOptions options;
    options.TupletShare = 1;
    Score score = GenerateScore(options);
    // The first tuplet stays, its entry's others go.
    bool first = true;
    for (auto record = score.Records.begin(); record != score.Records.end();) {
        if (record->first.Tag == kTupletTag && !first) {
            record = score.Records.erase(record);
        } else {
            first = first && record->first.Tag != kTupletTag;
            ++record;
        }
    }
    return {"a score of one tuplet", score};
}

std::vector<NamedScore> Samples() {
    std::vector<NamedScore> samples;
    for (const SampleScore& sample : SampleScores())
        samples.push_back({sample.Name, ParseScore(sample.Text, sample.Name)});
    return samples;
}

NamedScore LargeScore() {
    return Generated(24, 8, 4, 8);
}

NamedScore MillionTupletScore() {
    return Generated(250, 50, 4, 40);
}

std::vector<std::optional<RegionRecord>> SelectionsOf(const Score& score) {
    const auto [lowest, highest] = score.SlotRange();
    const int16_t last = score.Measures;
    const auto half = static_cast<int16_t>(std::max(1, last / 2));
    std::vector<std::optional<RegionRecord>> selections = {
        std::nullopt,
        WholeScore(score).Region,
        // From inside the first measure to inside the last, every staff.
        RegionRect(1, 256, last, 512, lowest, highest),
        // The second half of the measures, the first staff.
        RegionRect(half, 0, last, 0x7FFFFFFF, lowest, lowest),
        // A cut of one measure on the last staff.
        RegionRect(half, 100, half, 700, highest, highest),
    };
    for (auto& selection : selections) {
        if (!selection)
            continue;
        const Staff* start = score.FindStaffBySlot(selection->StartSlot);
        const Staff* end = score.FindStaffBySlot(selection->EndSlot);
        selection->StartSlotScope = start != nullptr ? start->Scope : 0;
        selection->EndSlotScope = end != nullptr ? end->Scope : 0;
    }
    return selections;
}

}  // namespace sim
