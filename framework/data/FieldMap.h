#pragma once

#include <cstdint>

#include "contract/MelvaraRecords.h"

// A field map assembles a composed record field by field from part records:
// small stored records of six 16-bit words, tag 'ot' and two characters.
// Each distinct part record is loaded once per transfer and saved at most
// once, only when one of its words changed.

// Conversion of a field between part words w[i], w[i+1] and the field value.
enum FieldConversion : int32_t {
    kConvertWord = 0,         // 2 bytes: v = w[i]
    kConvertHighFirst = 1,    // 4 bytes: v = w[i] << 16 | w[i+1]
    kConvertLowFirst = 2,     // 4 bytes: v = w[i+1] << 16 | w[i]
    kConvertInverted = 3,     // 2 bytes: v = 1 when w[i] is 0, else 0
    kConvertLowByte = 4,      // 2 bytes: v = low byte of w[i]; saved sign-extended
};

struct FieldMapRow {
    char PartChars[2];    // the part's tag: 'o', 't', PartChars[0], PartChars[1]
    uint16_t PartKey1;    // 0 stands for 0xFFFE
    uint16_t PartKey2;
    int16_t Offset;       // byte offset of the field in the composed record
    int16_t WordIndex;    // first word of the field in the part record, 0 to 5
    int16_t Size;         // 2 or 4 bytes
    int32_t Conversion;   // FieldConversion
    uint32_t MinVersion;  // the row takes part only on hosts of this version or later
};

struct FieldMap {
    const FieldMapRow* Rows;
    int32_t RowCount;
};

// A record tag written as four characters, the first in the high byte.
constexpr uint32_t TagOf(const char (&text)[5]) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
           static_cast<uint8_t>(text[3]);
}

// Which first key words (preference numbers) a composed tag accepts.
struct KeyCondition {
    uint16_t Min;
    uint16_t Max;
    constexpr bool Holds(uint16_t key) const { return key >= Min && key <= Max; }
};
constexpr KeyCondition kAnyKey{0, 0xFFFF};

constexpr uint32_t kPartTagBase = MELVARA_PART_TAG(0, 0);
constexpr uint16_t kDefaultOwnerKey = MELVARA_PART_OWNER;
constexpr int kPartRecordBytes = MELVARA_PART_BYTES;
// Transfers keep their working marks on the stack; no map is longer.
constexpr int32_t kMaxFieldMapRows = 64;

constexpr uint32_t PartTag(const FieldMapRow& row) {
    return kPartTagBase | (static_cast<uint32_t>(static_cast<uint8_t>(row.PartChars[0])) << 8) |
           static_cast<uint8_t>(row.PartChars[1]);
}

// Sum of the rows' sizes: the size the composed record reports.
uint32_t ReportedSize(const FieldMap& map);
// Bytes the rows span: the largest offset plus size.
uint32_t LayoutSpan(const FieldMap& map);

// The transfers of a composed record. A row whose MinVersion is above
// hostVersion takes no part: on load its bytes keep what they held, on save
// its part word stays as stored. Part records are loaded and saved through
// LoadKData and SaveKData. The buffer must span LayoutSpan(map) bytes. Both
// return false only for a map they cannot transfer (more than
// kMaxFieldMapRows rows, or a row outside a part record).

// Fills every taking-part field from its part record; a part record that
// fails to load gives its fields zero. allPartsLoaded, when given, tells
// whether every part record loaded whole (12 bytes).
bool LoadFields(const FieldMap& map, uint8_t* buffer, uint32_t hostVersion,
                bool* allPartsLoaded = nullptr);
// Saves every part record one of whose words the buffer changes. A part
// record that fails to load, or loads with another size than 12 bytes, is
// not saved: its other words are unknown, or would be cut.
bool SaveFields(const FieldMap& map, const uint8_t* buffer, uint32_t hostVersion);
