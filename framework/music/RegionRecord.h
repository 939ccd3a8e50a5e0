#pragma once

#include <cstddef>
#include <cstdint>

// The host's 20-byte region record: the selection passed with a command and
// the first 20 bytes of MX_GetCurKRegions' third area. Packed, little-endian;
// filled with memcpy from host memory, never read through a cast.
#pragma pack(push, 1)
struct RegionRecord {
    uint16_t StartSlotScope;  // handed with StartSlot to MX_SlotToInst
    int16_t StartSlot;        // first staff slot
    int16_t StartMeasure;     // first measure
    int32_t StartPos;         // entries of StartMeasure before it are outside
    uint16_t EndSlotScope;    // handed with EndSlot to MX_SlotToInst
    int16_t EndSlot;          // last staff slot
    int16_t EndMeasure;       // last measure
    int32_t EndPos;           // entries of EndMeasure after it are outside
};
#pragma pack(pop)

static_assert(sizeof(RegionRecord) == 20);
static_assert(offsetof(RegionRecord, StartSlotScope) == 0);
static_assert(offsetof(RegionRecord, StartSlot) == 2);
static_assert(offsetof(RegionRecord, StartMeasure) == 4);
static_assert(offsetof(RegionRecord, StartPos) == 6);
static_assert(offsetof(RegionRecord, EndSlotScope) == 10);
static_assert(offsetof(RegionRecord, EndSlot) == 12);
static_assert(offsetof(RegionRecord, EndMeasure) == 14);
static_assert(offsetof(RegionRecord, EndPos) == 16);
