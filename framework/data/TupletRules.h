#pragma once

#include <cstdint>

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

// The two answers of one comparison: whether every governed field is equal,
// with the position and without it.
struct TupletMatch {
    bool WithPosition;
    bool WithoutPosition;
};

// The governed fields of a definition in the form in which they are
// compared: selectors and tri-state normalised, the ungoverned bits left
// out. Two definitions match when these are equal.
struct GovernedFields {
    explicit GovernedFields(const TupletDefinition& d);

    // Normalised Flags; above them OptionBits 0 to 3 and the tri-state's bit 4.
    uint32_t Settings;
    uint32_t Position;    // Position1 and Position2
    uint32_t Values1To2;  // Value1 and Value2
    uint64_t Values3To6;  // Value3 to Value6
    uint16_t Value7;
};

TupletMatch MatchGovernedFields(const GovernedFields& a, const GovernedFields& b);

// Compares tuplets with one definition, the defaults, normalising the
// defaults once: again only when their compared bytes have changed since.
class DefaultsComparison {
public:
    TupletMatch Compare(const TupletDefinition& defaults, const TupletDefinition& tuplet);

private:
    // The defaults' bytes from OptionBits to Value7, as last normalised.
    static constexpr int kComparedBytes = TupletDefinition::kSize - TupletDefinition::kOptionBits;

    bool Normalised = false;
    uint8_t From[kComparedBytes] = {};
    GovernedFields Defaults{TupletDefinition{}};
};
