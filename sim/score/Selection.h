// The selection syntax of melvara-sim run, and the region record it gives.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contract/MelvaraRegion.h"
#include "sim/score/Score.h"

namespace sim {

// What the host passes with a command: a 20-byte region record, or none.
struct Selection {
    bool Present = true;
    RegionRecord Region{};
    // Measures or slots asked for that the score does not have, and how the
    // selection was cut.
    std::vector<std::string> Warnings;
};

// The selection syntax, as people type it (words in any order, any case):
//
//   all                      the whole score (the default)
//   none                     no region record: the command gets a null pointer
//   measures A-B             measures A to B; "measure A" is A to A; "A-B"
//                            alone is the same
//   measures A:P-B:Q         from position P in A to position Q in B
//   slots S-T                staff slots S to T; "slot S" is S to S
//   scopes X,Y               the start and end slot scopes; "scope X" is both
//   A-B/S-T, A:P-B:Q/S       compact form: measures, a slash, slots; also
//                            after "measure": "measure 2/1"
//   region a,b,c,d,e,f,g,h   the eight fields of the region record in order
//                            (StartSlotScope, StartSlot, StartMeasure,
//                            StartPos, EndSlotScope, EndSlot, EndMeasure,
//                            EndPos); any values, negative ones too
//
// Measures and slots count from 1, ranges may not run backwards, and
// numbers are decimal or 0x-hex (Numbers.h). A range that goes past the
// score is cut to it, as the host's own selection is, with a warning; one
// wholly outside the score is refused (but for slots of a score without
// staves, which are taken with a warning). What is not given covers the
// whole score: measures 1 to the last, slots from the lowest to the
// highest, positions 0 to 2147483647, and the scopes of the staves at the
// start and end slots (0 where there is none).
std::optional<Selection> ParseSelection(std::string_view text, const Score& score,
                                        std::string& error);

// The region from startPos in startMeasure to endPos in endMeasure over
// slots startSlot to endSlot, both ends with the same slot scope.
RegionRecord RegionRect(int16_t startMeasure, int32_t startPos, int16_t endMeasure, int32_t endPos,
                        int16_t startSlot, int16_t endSlot, uint16_t scope = 0);

// The whole score, as "all" gives it.
Selection WholeScore(const Score& score);

// The selection in the syntax above, every field given:
// "measures 1:0-3:2147483647 slots 1-3 scopes 0,0", "none", or "region ..."
// when the record cannot be written otherwise.
std::string FormatSelection(const Selection& selection);

// The selection as run's --select gives exactly this record on this score:
// "all", "none", the words of FormatSelection, or "region ..." when the
// words would give another record (outside the score, say).
std::string SelectionArgument(const Selection& selection, const Score& score);

}  // namespace sim
