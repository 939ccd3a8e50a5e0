#include "framework/data/TupletRules.h"

#include <cstdint>

namespace {

using TD = TupletDefinition;

// Flags bits copied and compared as they are: 7 to 11, 14 and 15.
constexpr uint16_t kFlagSettings = 0x0F80 | 0x4000 | TD::kTriStateFlag;
// OptionBits bits 0 to 3.
constexpr uint16_t kOptionSettings = 0x000F;

constexpr int kValueWords[] = {TD::kValue1, TD::kValue2, TD::kValue3, TD::kValue4,
                               TD::kValue5, TD::kValue6, TD::kValue7};

uint16_t SelectorA(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorA;
    return value <= 4 ? value : 0;
}

uint16_t SelectorB(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorB;
    return value <= 0x40 ? value : 0;
}

uint16_t SelectorC(uint16_t flags) {
    const uint16_t value = flags & TD::kSelectorC;
    return value == TD::kSelectorC ? 0 : value;
}

// 0: bit 15 of Flags clear; 1: set without OptionBits bit 4; 2: both set.
int TriState(const TD& d) {
    if ((d.Flags() & TD::kTriStateFlag) == 0) return 0;
    return (d.OptionBits() & TD::kTriStateOption) != 0 ? 2 : 1;
}

// Flags with the selectors normalised: the form in which they are copied
// and compared.
uint16_t GovernedFlags(uint16_t flags) {
    return static_cast<uint16_t>((flags & kFlagSettings) | SelectorA(flags) | SelectorB(flags) |
                                 SelectorC(flags));
}

}  // namespace

void CopyTupletDefinition(const TD& source, TD& target, bool withPosition) {
    target.SetWord(TD::kFlags, GovernedFlags(source.Flags()));

    uint16_t options = target.OptionBits() & ~(kOptionSettings | TD::kTriStateOption);
    options |= source.OptionBits() & kOptionSettings;
    if (TriState(source) == 2) options |= TD::kTriStateOption;
    target.SetWord(TD::kOptionBits, options);

    if (withPosition) {
        target.SetWord(TD::kPosition1, source.Word(TD::kPosition1));
        target.SetWord(TD::kPosition2, source.Word(TD::kPosition2));
    }
    for (int offset : kValueWords) target.SetWord(offset, source.Word(offset));
}

bool TupletDefinitionsMatch(const TD& a, const TD& b, bool withPosition) {
    if (GovernedFlags(a.Flags()) != GovernedFlags(b.Flags())) return false;
    if ((a.OptionBits() & kOptionSettings) != (b.OptionBits() & kOptionSettings)) return false;
    if (TriState(a) != TriState(b)) return false;
    if (withPosition && (a.Word(TD::kPosition1) != b.Word(TD::kPosition1) ||
                         a.Word(TD::kPosition2) != b.Word(TD::kPosition2))) {
        return false;
    }
    for (int offset : kValueWords) {
        if (a.Word(offset) != b.Word(offset)) return false;
    }
    return true;
}
