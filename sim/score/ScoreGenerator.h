// Scores generated from a seed, for benchmarks, the validator and melvara-sim generate.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/score/Score.h"

namespace sim {

// What GenerateScore builds: Measures x Staves x Layers cells, each layer of
// each cell with Entries note entries, and about TupletShare of the entries
// carrying 1 to 3 tuplets. Everything follows from Seed.
struct GeneratorOptions {
    int16_t Measures = 1;   // 1 to 32767
    int16_t Staves = 1;     // 1 to 32767: staff numbers and slots 1 to Staves
    int16_t Layers = 1;     // 1 to 20
    int32_t Entries = 1;    // per layer of a cell, 0 to 32767
    double TupletShare = 0.25;  // 0 to 1
    uint64_t Seed = 1;
};

// The three kinds of generated tuplets, each picked with a third of the
// chance: equal to the defaults in every compared field (their head words
// are their own), different only in their position, or different in a value
// word (and in half of these the position too).
struct GeneratedCounts {
    uint64_t Cells = 0;    // staff-measure-layer cells with entries
    uint64_t Entries = 0;
    uint64_t EntriesWithTuplets = 0;
    uint64_t Tuplets = 0;
    uint64_t Matching = 0;
    uint64_t PositionOnly = 0;
    uint64_t OtherFields = 0;
};

// Makes the score one cell at a time, so that a score of any size can be
// written as it is made: Head() holds the staves, the tuplet defaults and
// the part records of their supplement; NextCell gives the cells in the
// order measure, staff, layer. A score for tests and benchmarks of any
// size: staves 1 to Staves in slots 1 to Staves (scope 0), no hidden layer,
// entries numbered from 1 in the order measure, staff, layer, entry, at
// positions 0, 256, 512 ... of their measure, each with 1 to 3 notes.
class ScoreGenerator {
  public:
    // Throws std::invalid_argument for options out of range.
    explicit ScoreGenerator(const GeneratorOptions& options);

    const Score& Head() const { return Start; }
    // The next cell with its entries and their tuplet records (replacing
    // what the arguments held); false after the last.
    bool NextCell(CellKey& cell, std::vector<Entry>& entries, std::map<RecordKey, Bytes>& tuplets);
    // Of the cells given so far.
    const GeneratedCounts& Counts() const { return Totals; }
    // Entries in the whole score.
    uint64_t EntryCount() const;

  private:
    GeneratorOptions Options;
    uint64_t State;  // of the random numbers
    Score Start;
    TupletDefinition Defaults;
    GeneratedCounts Totals;
    CellKey Next{1, 1, 0};
    uint32_t Number = 0;
};

// The whole score of the generator in memory.
Score GenerateScore(const GeneratorOptions& options, GeneratedCounts* counts = nullptr);

// The distance between two entries of a layer.
constexpr int32_t kGeneratedPositionStep = 256;

}  // namespace sim
