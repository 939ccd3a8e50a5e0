// The differences between two scores, down to the field.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/score/Score.h"

namespace sim {

// One difference between two scores, down to the field.
struct ScoreChange {
    enum class Kind { Score, Staff, Entry, Tuplet, Defaults, Record };
    Kind What = Kind::Score;
    // "tuplet at staff 2, measure 1, layer 1, entry 3, index 0", "defaults",
    // "record 'ot14' {0xFFFE,0,0,0}", "entry 7", "staff 3", "score".
    std::string Where;
    // "Position2", "HeadWords[1]", "word 4", "flags", "record" (created or
    // deleted), "bytes" (size changed) ...
    std::string Field;
    std::string Old;  // "(none)" for something created
    std::string New;  // "(none)" for something deleted

    // Tuplets: the record's entry number and index.
    uint32_t EntryNumber = 0;
    uint16_t Index = 0;

    // "tuplet at staff 2, measure 1, layer 1, entry 3, index 0: Position2 32 -> 16"
    std::string Describe() const;
};

// Every difference from before to after: the score's own values, staves,
// entries, then records in key order. Tuplet records and the tuplet defaults
// are compared by their named fields, other records word by word (byte by
// byte when their size is odd or changed).
std::vector<ScoreChange> DiffScores(const Score& before, const Score& after);

}  // namespace sim
