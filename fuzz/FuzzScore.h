#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <set>

#include "contract/MelvaraRegion.h"
#include "sim/score/Score.h"

// Scores for the fuzz targets, and what a walk over a region reaches in
// them as the simulated host answers.
namespace fuzz {

// A 30-byte tuplet definition block with every word derived from seed.
sim::Bytes TupletBytes(uint16_t seed);

// The Default Tuplet Definition with the three part records of its
// supplement, and tuplet records of the entries 0 to 15 whose bit is set in
// entries: entry e has 1 + e % 3 of them. No staves or cells.
sim::Score TupletScore(uint16_t entries);

// A small score made from the input: up to four staves with any slots and
// scopes, up to four measures, up to five layers with any of them hidden,
// entries with positions near the usual cuts, tuplet flags that may
// disagree with the records, tuplet records of any size and with gaps, and
// defaults and part records that may be missing or of any size.
sim::Score GenerateScore(FuzzedDataProvider& data);

// The tuplet records that a walk over the region reaches in the score, when
// the simulated host answers every call: measure by measure, slot by slot
// (through the start scope), the shown layers, the entries inside the cuts
// with their tuplet flag set, and each entry's records from index 0 to the
// first one missing, passing over those not of 30 bytes.
// With otherSizes, the tuplet records of another size than 30 bytes that the
// walk passes over are included: Change counts them.
std::set<sim::RecordKey> RegionTuplets(const sim::Score& score, const RegionRecord& region,
                                       bool otherSizes = false);

}  // namespace fuzz
