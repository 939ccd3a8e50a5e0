#pragma once

#include "framework/data/TupletDefinition.h"

// How a tuplet relates to the tuplet defaults. The rules govern the same
// fields: the three selectors (normalised), the single settings of Flags
// and of OptionBits bits 0 to 3, the tri-state of Flags bit 15 with
// OptionBits bit 4, the position (when asked for) and Value1 to Value7.
// HeadWords and OptionBits bits 5 to 15 are neither copied nor compared.

// Writes the governed fields of target from source. Target's Flags are
// rewritten whole; of its OptionBits only bits 0 to 4; its position only
// withPosition.
void CopyTupletDefinition(const TupletDefinition& source, TupletDefinition& target,
                          bool withPosition);

// Whether every governed field of a and b is equal, the position only
// withPosition.
bool TupletDefinitionsMatch(const TupletDefinition& a, const TupletDefinition& b,
                            bool withPosition);
