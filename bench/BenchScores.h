#pragma once

#include <cstdint>

#include "contract/MelvaraRegion.h"
#include "sim/score/Score.h"

// The generated scores the benchmarks run on: M measures of 50 staves, each
// with 4 layers of 4 note entries, as `melvara-sim generate --measures M
// --staves 50 --layers 4 --entries 4` writes them (a quarter of the entries
// carry 1 to 3 tuplets, seed 1).
namespace benchscores {

constexpr int16_t kStaves = 50;
constexpr int16_t kLayers = 4;
constexpr int32_t kEntries = 4;
constexpr double kTupletShare = 0.25;

enum class ScoreKind {
    Tuplets,    // about 8 tuplets per cell (measure and staff)
    OneTuplet,  // no tuplet but one, in the last cell: Change walks everything
    LargeCell,  // one staff whose cells hold kLargeCellEntries entries each
};

// The entries of a LargeCell score's cell: 4 layers of 500.
constexpr int32_t kLargeCellEntries = 2000;

sim::Score MakeScore(int16_t measures, ScoreKind kind);

// Measures 1 to `measures` and slots 1 to `slots`, every position.
RegionRecord RegionOf(int16_t measures, int16_t slots);

}  // namespace benchscores
