#pragma once

#include <cstdint>

#include "framework/core/ByteOrder.h"

// The 30-byte tuplet definition block: the layout of a tuplet record and of
// the main block of the tuplet defaults. 16-bit little-endian words.
struct TupletDefinition {
    static constexpr int kSize = 30;

    static constexpr int kHeadWords = 0;  // four words no rule reads or writes
    static constexpr int kOptionBits = 8;
    static constexpr int kPosition1 = 10;
    static constexpr int kPosition2 = 12;
    static constexpr int kValue1 = 14;
    static constexpr int kValue2 = 16;
    static constexpr int kFlags = 18;
    static constexpr int kValue3 = 20;
    static constexpr int kValue4 = 22;
    static constexpr int kValue5 = 24;
    static constexpr int kValue6 = 26;
    static constexpr int kValue7 = 28;

    // Flags
    static constexpr uint16_t kSelectorA = 0x000F;  // 0 to 4; 5 to 15 count as 0
    static constexpr uint16_t kSelectorB = 0x0070;  // 0x00 to 0x40; 0x50 to 0x70 count as 0
    static constexpr uint16_t kSelectorC = 0x3000;  // 0x0000, 0x1000, 0x2000; 0x3000 counts as 0
    static constexpr uint16_t kTriStateFlag = 0x8000;
    // OptionBits
    static constexpr uint16_t kTriStateOption = 0x0010;  // counts only with kTriStateFlag

    uint16_t Word(int offset) const { return ReadLE16(Bytes + offset); }
    void SetWord(int offset, uint16_t value) { WriteLE16(Bytes + offset, value); }

    uint16_t OptionBits() const { return Word(kOptionBits); }
    uint16_t Flags() const { return Word(kFlags); }
    // SelectorA after normalisation: 1 to 4 as held, anything else 0.
    int SelectorA() const {
        const int value = Flags() & kSelectorA;
        return value <= 4 ? value : 0;
    }

    uint8_t Bytes[kSize];
};

static_assert(sizeof(TupletDefinition) == TupletDefinition::kSize);
