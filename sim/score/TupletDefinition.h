// The 30-byte tuplet definition block and its named fields.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sim {

using Bytes = std::vector<uint8_t>;

// The 30-byte tuplet definition block of tuplet records and of the main block
// of the tuplet defaults: fifteen little-endian 16-bit words.
struct TupletDefinition {
    static constexpr size_t kSize = 30;

    std::array<uint16_t, 4> HeadWords{};  // bytes 0-7
    uint16_t OptionBits = 0;              // 8
    uint16_t Position1 = 0;               // 10
    uint16_t Position2 = 0;               // 12
    uint16_t Value1 = 0;                  // 14
    uint16_t Value2 = 0;                  // 16
    uint16_t Flags = 0;                   // 18
    uint16_t Value3 = 0;                  // 20
    uint16_t Value4 = 0;                  // 22
    uint16_t Value5 = 0;                  // 24
    uint16_t Value6 = 0;                  // 26
    uint16_t Value7 = 0;                  // 28

    // The block from its 30 bytes (at least 30 must be given).
    static TupletDefinition FromBytes(std::span<const uint8_t> bytes);
    Bytes ToBytes() const;

    bool operator==(const TupletDefinition&) const = default;
};

// One word of the block by name, for files, printing and differences.
struct TupletWord {
    const char* Name;  // "HeadWords[0]" ... "OptionBits" ... "Value7"
    size_t Offset;     // byte offset in the block
    bool Hex;          // shown as 0x0000 (bit fields) rather than decimal
};

// The fifteen words in byte order.
std::span<const TupletWord> TupletWords();
// The eleven named fields after the head words, in byte order.
std::span<const TupletWord> TupletFields();

// The word at a byte offset of a 30-byte block, or written there.
uint16_t WordAt(std::span<const uint8_t> block, size_t offset);
void SetWordAt(std::span<uint8_t> block, size_t offset, uint16_t value);

}  // namespace sim
