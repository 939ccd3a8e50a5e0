/* The region record: a rectangle of the score, 20 bytes.
 *
 * The host passes it with each command (MelvaraExtensionInvoke's selection20)
 * and writes it into the first 20 bytes of MX_GetCurKRegions' third area. A
 * region is a run of staves, given as staff slots (their places in the
 * score's current order), across a run of measures, cut at a position inside
 * the first and the last measure. Slots and measures of the score count from
 * 1 and a region is inclusive at both ends; positions are in the host's time
 * units inside a measure, as an entry record's (contract/MelvaraFrame.h).
 * Turn a slot into a staff number with MX_SlotToInst(slot, scope), the scope
 * being the word stored before the slot.
 *
 * When nothing is selected, MX_GetCurKRegions gives a region of zeros:
 * measure 0 and slot 0, which hold no cell (MX_LoadTGF gives no frame
 * there). Any region may also reach outside the score or run backwards: a
 * module takes it as it comes and finds no cell there.
 *
 * Packed and little-endian, at any alignment: copy it out of host memory
 * with MelvaraRegionFrom (or memcpy), and never write into the host's copy.
 * Plain C99 and C++17. */
#ifndef MELVARA_REGION_H
#define MELVARA_REGION_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "contract/MelvaraBytes.h"

#pragma pack(push, 1)
typedef struct RegionRecord {
    uint16_t StartSlotScope; /* handed with StartSlot to MX_SlotToInst */
    int16_t StartSlot;       /* first staff slot */
    int16_t StartMeasure;    /* first measure */
    int32_t StartPos;        /* entries of StartMeasure before this position are outside */
    uint16_t EndSlotScope;   /* handed with EndSlot to MX_SlotToInst */
    int16_t EndSlot;         /* last staff slot */
    int16_t EndMeasure;      /* last measure */
    int32_t EndPos;          /* entries of EndMeasure after this position are outside */
} RegionRecord;
#pragma pack(pop)

MELVARA_LAYOUT(RegionRecord_size, sizeof(RegionRecord) == 20);
MELVARA_LAYOUT(RegionRecord_StartSlotScope, offsetof(RegionRecord, StartSlotScope) == 0);
MELVARA_LAYOUT(RegionRecord_StartSlot, offsetof(RegionRecord, StartSlot) == 2);
MELVARA_LAYOUT(RegionRecord_StartMeasure, offsetof(RegionRecord, StartMeasure) == 4);
MELVARA_LAYOUT(RegionRecord_StartPos, offsetof(RegionRecord, StartPos) == 6);
MELVARA_LAYOUT(RegionRecord_EndSlotScope, offsetof(RegionRecord, EndSlotScope) == 10);
MELVARA_LAYOUT(RegionRecord_EndSlot, offsetof(RegionRecord, EndSlot) == 12);
MELVARA_LAYOUT(RegionRecord_EndMeasure, offsetof(RegionRecord, EndMeasure) == 14);
MELVARA_LAYOUT(RegionRecord_EndPos, offsetof(RegionRecord, EndPos) == 16);

/* The region record at selection20 (or any host memory), copied out. */
static inline RegionRecord MelvaraRegionFrom(const void* selection20) {
    RegionRecord region;
    memcpy(&region, selection20, sizeof region);
    return region;
}

/* The areas MX_GetCurKRegions fills, in bytes; the region is the start of
 * the third. */
#define MELVARA_REGIONS_AREA1_BYTES 8
#define MELVARA_REGIONS_AREA2_BYTES 24
#define MELVARA_REGIONS_AREA3_BYTES 24
MELVARA_LAYOUT(region_fits_third_area, sizeof(RegionRecord) <= MELVARA_REGIONS_AREA3_BYTES);

#endif
