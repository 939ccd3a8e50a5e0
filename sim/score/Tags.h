// Record tags and key blocks: the record kinds the host stores and how they are named.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "contract/MelvaraRecords.h"

namespace sim {

// Four 16-bit key words naming one record of a tag.
using Keys = std::array<uint16_t, 4>;

// A 32-bit record kind written as four characters, most significant first.
constexpr uint32_t MakeTag(char a, char b, char c, char d) {
    return MELVARA_TAG(a, b, c, d);
}

// Tuplet records: keys {entry number low word, high word, index, 0}.
constexpr uint32_t kTupletTag = MELVARA_TUPLET_TAG;
// The Default Tuplet Definition, preference number 1.
constexpr uint32_t kTupletDefaultsTag = MELVARA_TUPLET_DEFAULTS_TAG;
constexpr Keys kTupletDefaultsKeys{MELVARA_TUPLET_DEFAULTS_KEY, 0, 0, 0};
// Part records: tag 'ot' and two characters, keys {owner, index, 0, 0}.
constexpr uint16_t kPartOwner = MELVARA_PART_OWNER;
constexpr uint32_t PartTag(char a, char b) {
    return MELVARA_PART_TAG(a, b);
}

// Key block of the tuplet record of an entry.
constexpr Keys TupletKeys(uint32_t entryNumber, uint16_t index) {
    return {static_cast<uint16_t>(entryNumber & 0xFFFF), static_cast<uint16_t>(entryNumber >> 16),
            index, 0};
}
constexpr uint32_t EntryNumberOf(const Keys& keys) {
    return static_cast<uint32_t>(keys[0]) | (static_cast<uint32_t>(keys[1]) << 16);
}

// A record's identity, ordered by tag, then the four key words in order.
struct RecordKey {
    uint32_t Tag = 0;
    Keys Words{};
    auto operator<=>(const RecordKey&) const = default;
};

// "pfTP" when all four characters are printable ASCII, else "0x45035450".
std::string TagText(uint32_t tag);
// TagText in quotes ('pfTP') for printing; the tuplet tag is "tuplet".
std::string TagLabel(uint32_t tag);
// Four characters, or "0x" and eight hex digits.
std::optional<uint32_t> ParseTag(std::string_view text);
// {0xFFFE,0,0,0}: words of 0x8000 and above in hex.
std::string KeysText(const Keys& keys);

}  // namespace sim
