#include "framework/data/TupletRules.h"

#include <cstring>

namespace {

using TD = TupletDefinition;

// Flags bits copied and compared as they are: 7 to 11, 14 and 15.
constexpr uint16_t kFlagSettings = 0x0F80 | 0x4000 | TD::kTriStateFlag;
// OptionBits bits 0 to 3.
constexpr uint16_t kOptionSettings = 0x000F;

// Words copied whole lie in runs: the position, Value1 and Value2, Value3
// to Value7.
static_assert(TD::kPosition2 == TD::kPosition1 + 2 && TD::kValue2 == TD::kValue1 + 2);
static_assert(TD::kValue7 == TD::kValue3 + 8);

void CopyBytes(const TD& source, TD& target, int from, int to) {
    std::memcpy(target.Bytes + from, source.Bytes + from, static_cast<size_t>(to - from));
}

constexpr uint16_t SelectorA(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorA;
    return value <= 4 ? value : 0;
}

constexpr uint16_t SelectorB(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorB;
    return value <= 0x40 ? value : 0;
}

constexpr uint16_t SelectorC(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorC;
    return value == TD::kSelectorC ? 0 : value;
}

constexpr uint16_t NormalisedFlags(uint16_t flags) {
    return static_cast<uint16_t>((flags & kFlagSettings) | SelectorA(flags) | SelectorB(flags) |
                                 SelectorC(flags));
}

// NormalisedFlags of each low byte (selectors A and B, bit 7) and of each
// high byte (selector C, bits 8 to 11, 14 and 15): every tuplet of a walk is
// normalised, two lookups instead of three tests.
struct FlagTables {
    uint8_t Low[256];
    uint8_t High[256];
};

constexpr FlagTables MakeFlagTables() {
    FlagTables tables{};
    for (int byte = 0; byte < 256; ++byte) {
        tables.Low[byte] = static_cast<uint8_t>(NormalisedFlags(static_cast<uint16_t>(byte)));
        const uint16_t high = NormalisedFlags(static_cast<uint16_t>(byte << 8));
        tables.High[byte] = static_cast<uint8_t>(high >> 8);
    }
    return tables;
}

constexpr FlagTables kFlagTables = MakeFlagTables();

// Flags with the selectors normalised: the form in which they are copied
// and compared.
uint16_t GovernedFlags(uint16_t flags) {
    return static_cast<uint16_t>(kFlagTables.Low[flags & 0xFF] | kFlagTables.High[flags >> 8] << 8);
}

// OptionBits bits 0 to 3, and bit 4 only when Flags bit 15 is set too: the
// tri-state (0: bit 15 clear; 1: set without bit 4; 2: both set) together
// with bit 15 of the governed Flags.
uint16_t GovernedOptions(uint16_t options, uint16_t flags) {
    static_assert(TD::kTriStateFlag >> 11 == TD::kTriStateOption);
    const uint16_t triStateOption = (flags >> 11) & TD::kTriStateOption;
    return static_cast<uint16_t>(options & (kOptionSettings | triStateOption));
}

uint64_t Read64(const uint8_t* at) {
    uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

}  // namespace

void CopyTupletDefinition(const TD& source, TD& target, bool withPosition) {
    target.SetWord(TD::kFlags, GovernedFlags(source.Flags()));

    uint16_t options = target.OptionBits() & ~(kOptionSettings | TD::kTriStateOption);
    options |= GovernedOptions(source.OptionBits(), source.Flags());
    target.SetWord(TD::kOptionBits, options);

    if (withPosition) CopyBytes(source, target, TD::kPosition1, TD::kPosition2 + 2);
    CopyBytes(source, target, TD::kValue1, TD::kValue2 + 2);
    CopyBytes(source, target, TD::kValue3, TD::kValue7 + 2);
}

GovernedFields::GovernedFields(const TD& d)
    : Settings(GovernedFlags(d.Flags()) |
               static_cast<uint32_t>(GovernedOptions(d.OptionBits(), d.Flags())) << 16),
      Position(ReadLE32(d.Bytes + TD::kPosition1)),
      Values1To2(ReadLE32(d.Bytes + TD::kValue1)),
      Values3To6(Read64(d.Bytes + TD::kValue3)),
      Value7(d.Word(TD::kValue7)) {}

TupletMatch MatchGovernedFields(const GovernedFields& a, const GovernedFields& b) {
    const bool settings = a.Settings == b.Settings && a.Values1To2 == b.Values1To2 &&
                          a.Values3To6 == b.Values3To6 && a.Value7 == b.Value7;
    return {settings && a.Position == b.Position, settings};
}

TupletMatch DefaultsComparison::Compare(const TD& defaults, const TD& tuplet) {
    const uint8_t* compared = defaults.Bytes + TD::kOptionBits;
    // Three overlapping 8-byte words cover the 22 compared bytes.
    static_assert(kComparedBytes == 22);
    const bool unchanged = Normalised && Read64(compared) == Read64(From) &&
                           Read64(compared + 8) == Read64(From + 8) &&
                           Read64(compared + 14) == Read64(From + 14);
    if (!unchanged) {
        std::memcpy(From, compared, kComparedBytes);
        Defaults = GovernedFields(defaults);
        Normalised = true;
    }
    return MatchGovernedFields(GovernedFields(tuplet), Defaults);
}
