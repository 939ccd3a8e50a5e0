// The 30-byte tuplet definition block: its words read and written.
#include "sim/score/TupletDefinition.h"

#include <stdexcept>

#include "contract/MelvaraBytes.h"

namespace sim {
namespace {

constexpr TupletWord kWords[] = {
    {"HeadWords[0]", 0, false}, {"HeadWords[1]", 2, false}, {"HeadWords[2]", 4, false},
    {"HeadWords[3]", 6, false}, {"OptionBits", 8, true},    {"Position1", 10, false},
    {"Position2", 12, false},   {"Value1", 14, false},      {"Value2", 16, false},
    {"Flags", 18, true},        {"Value3", 20, false},      {"Value4", 22, false},
    {"Value5", 24, false},      {"Value6", 26, false},      {"Value7", 28, false},
};

}  // namespace

uint16_t WordAt(std::span<const uint8_t> block, size_t offset) {
    if (offset + 2 > block.size())
        throw std::out_of_range("word beyond the block");
    return MelvaraReadLE16(block.data() + offset);
}

void SetWordAt(std::span<uint8_t> block, size_t offset, uint16_t value) {
    if (offset + 2 > block.size())
        throw std::out_of_range("word beyond the block");
    MelvaraWriteLE16(block.data() + offset, value);
}

TupletDefinition TupletDefinition::FromBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() < kSize)
        throw std::invalid_argument("a tuplet definition needs 30 bytes");
    TupletDefinition d;
    for (size_t i = 0; i < 4; ++i)
        d.HeadWords[i] = WordAt(bytes, 2 * i);
    d.OptionBits = WordAt(bytes, 8);
    d.Position1 = WordAt(bytes, 10);
    d.Position2 = WordAt(bytes, 12);
    d.Value1 = WordAt(bytes, 14);
    d.Value2 = WordAt(bytes, 16);
    d.Flags = WordAt(bytes, 18);
    d.Value3 = WordAt(bytes, 20);
    d.Value4 = WordAt(bytes, 22);
    d.Value5 = WordAt(bytes, 24);
    d.Value6 = WordAt(bytes, 26);
    d.Value7 = WordAt(bytes, 28);
    return d;
}

Bytes TupletDefinition::ToBytes() const {
    Bytes bytes(kSize);
    for (size_t i = 0; i < 4; ++i)
        SetWordAt(bytes, 2 * i, HeadWords[i]);
    SetWordAt(bytes, 8, OptionBits);
    SetWordAt(bytes, 10, Position1);
    SetWordAt(bytes, 12, Position2);
    SetWordAt(bytes, 14, Value1);
    SetWordAt(bytes, 16, Value2);
    SetWordAt(bytes, 18, Flags);
    SetWordAt(bytes, 20, Value3);
    SetWordAt(bytes, 22, Value4);
    SetWordAt(bytes, 24, Value5);
    SetWordAt(bytes, 26, Value6);
    SetWordAt(bytes, 28, Value7);
    return bytes;
}

std::span<const TupletWord> TupletWords() {
    return kWords;
}

std::span<const TupletWord> TupletFields() {
    return std::span<const TupletWord>(kWords).subspan(4);
}

}  // namespace sim
