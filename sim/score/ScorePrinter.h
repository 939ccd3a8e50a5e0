// The score for people to read.
#pragma once

#include <ostream>
#include <string>

#include "sim/score/Score.h"

namespace sim {

// The score for people to read: staves, measures, layers shown and hidden,
// each cell's entries with their tuplets field by field (and where they
// differ from the defaults), the defaults, and the other records.
void PrintScore(std::ostream& out, const Score& score);

// The named fields of a 30-byte definition block,
// "HeadWords 0 0 0 0, OptionBits 0x0001, Position1 0, ...", with
// breakBeforeFlags written between Value2 and Flags (" " for one line).
std::string DefinitionText(const Bytes& block, const std::string& breakBeforeFlags = " ");

}  // namespace sim
