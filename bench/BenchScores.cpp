#include "bench/BenchScores.h"

#include "sim/score/ScoreGenerator.h"
#include "sim/score/Selection.h"

namespace benchscores {

sim::Score MakeScore(int16_t measures, ScoreKind kind) {
    sim::GeneratorOptions options;
    options.Measures = measures;
    options.Staves = kind == ScoreKind::LargeCell ? 1 : kStaves;
    options.Layers = kLayers;
    options.Entries = kind == ScoreKind::LargeCell ? kLargeCellEntries / kLayers : kEntries;
    options.TupletShare = kind == ScoreKind::OneTuplet ? 0.0 : kTupletShare;
    options.Seed = 1;
    sim::Score score = sim::GenerateScore(options);
    if (kind == ScoreKind::OneTuplet) {
        sim::Entry& entry = score.Cells.at(sim::CellKey{measures, kStaves, kLayers - 1}).back();
        entry.Flags |= sim::kEntryHasTuplets;
        sim::TupletDefinition tuplet = *score.Defaults();
        tuplet.Value3 = static_cast<uint16_t>(tuplet.Value3 + 1);
        score.SetTuplet(entry.Number, 0, tuplet);
    }
    return score;
}

RegionRecord RegionOf(int16_t measures, int16_t slots) {
    return sim::RegionRect(1, 0, measures, 0x7FFFFFFF, 1, slots);
}

}  // namespace benchscores
