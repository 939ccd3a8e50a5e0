#include "framework/data/FieldMap.h"

#include <cstring>

#include "framework/core/ByteOrder.h"
#include "framework/data/KDataTranslation.h"
#include "framework/host/HostFunctions.h"

namespace {

constexpr int kPartWords = kPartRecordBytes / 2;

bool RowFitsPart(const FieldMapRow& row) {
    if (row.Offset < 0 || row.WordIndex < 0) return false;
    if (row.Size == 2) return row.WordIndex < kPartWords;
    if (row.Size == 4) return row.WordIndex + 1 < kPartWords;
    return false;
}

bool MapIsTransferable(const FieldMap& map) {
    if (map.RowCount < 0 || map.RowCount > kMaxFieldMapRows) return false;
    if (map.RowCount > 0 && map.Rows == nullptr) return false;
    for (int32_t i = 0; i < map.RowCount; ++i) {
        if (!RowFitsPart(map.Rows[i])) return false;
    }
    return true;
}

bool SamePart(const FieldMapRow& a, const FieldMapRow& b) {
    return a.PartChars[0] == b.PartChars[0] && a.PartChars[1] == b.PartChars[1] &&
           a.PartKey1 == b.PartKey1 && a.PartKey2 == b.PartKey2;
}

bool TakesPart(const FieldMapRow& row, uint32_t hostVersion) { return hostVersion >= row.MinVersion; }

// A part record's six words.
struct PartRecord {
    uint16_t Words[kPartWords] = {};

    // Loads the part record the row names; false when the host has none,
    // or gives it with another size than 12 bytes: the words it gave are
    // kept (the others zero), but such a record is not one to save back.
    bool Load(const FieldMapRow& row) {
        uint16_t keys[4] = {PartKey(row), row.PartKey2, 0, 0};
        uint8_t bytes[kPartRecordBytes] = {};
        uint32_t count = kPartRecordBytes;
        if (LoadKData(PartTag(row), keys, bytes, &count, host::kCallVersion) == 0) return false;
        for (int i = 0; i < kPartWords; ++i) Words[i] = ReadLE16(bytes + 2 * i);
        return count == kPartRecordBytes;
    }

    void Save(const FieldMapRow& row) {
        uint16_t keys[4] = {PartKey(row), row.PartKey2, 0, 0};
        uint8_t bytes[kPartRecordBytes];
        for (int i = 0; i < kPartWords; ++i) WriteLE16(bytes + 2 * i, Words[i]);
        SaveKData(PartTag(row), keys, bytes, kPartRecordBytes, host::kCallVersion);
    }

    static uint16_t PartKey(const FieldMapRow& row) {
        return row.PartKey1 == 0 ? kDefaultOwnerKey : row.PartKey1;
    }
};

void LoadField(const FieldMapRow& row, const PartRecord& part, uint8_t* buffer) {
    const uint16_t* w = part.Words + row.WordIndex;
    uint8_t* field = buffer + row.Offset;
    if (row.Size == 4) {
        uint32_t value = 0;
        if (row.Conversion == kConvertHighFirst) value = (uint32_t{w[0]} << 16) | w[1];
        if (row.Conversion == kConvertLowFirst) value = (uint32_t{w[1]} << 16) | w[0];
        WriteLE32(field, value);
        return;
    }
    uint16_t value = w[0];
    if (row.Conversion == kConvertInverted) value = w[0] == 0 ? 1 : 0;
    if (row.Conversion == kConvertLowByte) value = w[0] & 0xFF;
    WriteLE16(field, value);
}

// Writes the field into the part's words; true when that changes the part.
bool SaveField(const FieldMapRow& row, const uint8_t* buffer, PartRecord& part) {
    uint16_t* w = part.Words + row.WordIndex;
    const uint8_t* field = buffer + row.Offset;
    if (row.Size == 4) {
        const uint32_t value = ReadLE32(field);
        if (row.Conversion == kConvertHighFirst || row.Conversion == kConvertLowFirst) {
            const int high = row.Conversion == kConvertHighFirst ? 0 : 1;
            const uint32_t stored = (uint32_t{w[high]} << 16) | w[1 - high];
            if (value == stored) return false;
            w[high] = static_cast<uint16_t>(value >> 16);
            w[1 - high] = static_cast<uint16_t>(value);
            return true;
        }
        // No conversion writes nothing, but a value still counts as a change.
        return value != 0;
    }
    const uint16_t value = ReadLE16(field);
    uint16_t word = value;
    if (row.Conversion == kConvertInverted) word = value == 0 ? 1 : 0;
    if (row.Conversion == kConvertLowByte) {
        word = static_cast<uint16_t>(static_cast<int16_t>(static_cast<int8_t>(value & 0xFF)));
    }
    if (word == w[0]) return false;
    w[0] = word;
    return true;
}

// The taking-part rows one part record feeds, in row order.
struct PartRows {
    const FieldMapRow* Rows[kMaxFieldMapRows];
    int32_t Count = 0;
};

// Calls visit once per distinct part record, in the order of its first row,
// with the rows it feeds: each part record is transferred once.
template <typename Visit>
void ForEachPart(const FieldMap& map, uint32_t hostVersion, Visit visit) {
    bool handled[kMaxFieldMapRows] = {};
    for (int32_t i = 0; i < map.RowCount; ++i) {
        const FieldMapRow& first = map.Rows[i];
        if (handled[i] || !TakesPart(first, hostVersion)) continue;
        PartRows rows;
        for (int32_t j = i; j < map.RowCount; ++j) {
            const FieldMapRow& row = map.Rows[j];
            if (handled[j] || !SamePart(first, row) || !TakesPart(row, hostVersion)) continue;
            rows.Rows[rows.Count++] = &row;
            handled[j] = true;
        }
        visit(first, rows);
    }
}

}  // namespace

uint32_t ReportedSize(const FieldMap& map) {
    uint32_t size = 0;
    for (int32_t i = 0; i < map.RowCount; ++i) size += static_cast<uint32_t>(map.Rows[i].Size);
    return size;
}

uint32_t LayoutSpan(const FieldMap& map) {
    uint32_t span = 0;
    for (int32_t i = 0; i < map.RowCount; ++i) {
        const FieldMapRow& row = map.Rows[i];
        const int32_t end = row.Offset + row.Size;
        if (end > 0 && static_cast<uint32_t>(end) > span) span = static_cast<uint32_t>(end);
    }
    return span;
}

bool LoadFields(const FieldMap& map, uint8_t* buffer, uint32_t hostVersion, bool* allPartsLoaded) {
    if (allPartsLoaded != nullptr) *allPartsLoaded = true;
    if (!MapIsTransferable(map)) return false;
    ForEachPart(map, hostVersion, [&](const FieldMapRow& first, const PartRows& rows) {
        PartRecord part;
        if (!part.Load(first) && allPartsLoaded != nullptr) *allPartsLoaded = false;
        for (int32_t k = 0; k < rows.Count; ++k) LoadField(*rows.Rows[k], part, buffer);
    });
    return true;
}

bool SaveFields(const FieldMap& map, const uint8_t* buffer, uint32_t hostVersion) {
    if (!MapIsTransferable(map)) return false;
    ForEachPart(map, hostVersion, [&](const FieldMapRow& first, const PartRows& rows) {
        PartRecord part;
        const bool loaded = part.Load(first);
        bool changed = false;
        for (int32_t k = 0; k < rows.Count; ++k) {
            if (SaveField(*rows.Rows[k], buffer, part)) changed = true;
        }
        if (changed && loaded) part.Save(first);
    });
    return true;
}
