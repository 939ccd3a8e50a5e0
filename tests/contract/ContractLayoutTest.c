/* The contract's headers from C99: the layouts read back from bytes placed
 * at the offsets the host uses, the tag and key helpers, and the host
 * function names. Exits 0 when everything holds, else 1 after naming each
 * failure. (ContractCxx17.cpp compiles the same headers as C++17.) */
#include <stdio.h>
#include <string.h>

#include "contract/Melvara.h"

static int failures = 0;

static void Check(int ok, const char* what) {
    if (!ok) {
        printf("FAIL: %s\n", what);
        ++failures;
    }
}

static void Put16(uint8_t* at, unsigned value) {
    at[0] = (uint8_t)value;
    at[1] = (uint8_t)(value >> 8);
}

static void Put32(uint8_t* at, unsigned long value) {
    Put16(at, (unsigned)(value & 0xFFFFu));
    Put16(at + 2, (unsigned)(value >> 16));
}

/* A frame of two entries laid out byte by byte, one byte off alignment. */
static void Frames(void) {
    static uint8_t memory[1 + 24 + 2 * 146];
    uint8_t* frame = memory + 1;
    uint8_t* entries = frame + 24;
    uint8_t* second = entries + 146;
    memset(memory, 0, sizeof memory);
    Put16(frame + 0, 0x1234);
    Put16(frame + 2, 0xFFFE);
    Put16(frame + 6, 40);
    memcpy(frame + 14, &entries, sizeof entries);
    Put16(frame + 22, 2);
    Put32(second + 0, 0x00012345ul);
    Put32(second + 8, 0x00080001ul);
    Put16(second + 14, 0xFFFF);
    second[16 + 10 * 11] = 0x5A;
    Put32(second + 136, 0xFFFFFFFBul);

    Check(MelvaraFrameSlotScope(frame) == 0x1234, "frame: slot scope at 0");
    Check(MelvaraFrameSlot(frame) == -2, "frame: signed slot at 2");
    Check(MelvaraFrameMeasure(frame) == 40, "frame: measure at 6");
    Check(MelvaraFrameEntries(frame) == entries, "frame: entries pointer at 14");
    Check(MelvaraFrameEntryCount(frame) == 2, "frame: entry count at 22");
    Check(MelvaraFrameEntry(frame, 1) == second, "frame: entries 146 bytes apart");
    Check(MelvaraEntryNumber(second) == 0x00012345ul, "entry: number at 0");
    Check((MelvaraEntryFlags(second) & MELVARA_ENTRY_HAS_TUPLETS) != 0, "entry: tuplet flag bit 19");
    Check(MelvaraEntryNoteCount(second) == -1, "entry: signed note count at 14");
    Check(*MelvaraEntryNote(second, 11) == 0x5A, "entry: note 11 at 16 + 110");
    Check(MelvaraEntryPosition(second) == -5, "entry: signed position at 136");
}

/* The region record as the host writes it, read through the struct. */
static void Region(void) {
    uint8_t bytes[20];
    RegionRecord region;
    Put16(bytes + 0, 7);
    Put16(bytes + 2, 2);
    Put16(bytes + 4, 3);
    Put32(bytes + 6, 0xFFFFFF00ul);
    Put16(bytes + 10, 8);
    Put16(bytes + 12, 4);
    Put16(bytes + 14, 5);
    Put32(bytes + 16, 1024);
    memcpy(&region, bytes, sizeof region);
    Check(region.StartSlotScope == 7 && region.StartSlot == 2 && region.StartMeasure == 3 &&
              region.StartPos == -256,
          "region: start fields at 0, 2, 4, 6");
    Check(region.EndSlotScope == 8 && region.EndSlot == 4 && region.EndMeasure == 5 &&
              region.EndPos == 1024,
          "region: end fields at 10, 12, 14, 16");
}

static void Records(void) {
    uint16_t keys[4] = {9, 9, 9, 9};
    uint8_t word[5];
    MelvaraTupletKeys(keys, 0x00012345ul, 3);
    Check(keys[0] == 0x2345 && keys[1] == 0x0001 && keys[2] == 3 && keys[3] == 0,
          "tuplet keys: entry number low word first, index, 0");
    Check(MELVARA_PART_TAG('1', '4') == 0x6F743134ul, "part tag 'ot14'");
    MelvaraWriteLE32(word + 1, 0x11223344ul);
    Check(word[1] == 0x44 && word[4] == 0x11 && MelvaraReadLE32(word + 1) == 0x11223344ul,
          "little-endian at an odd address");
}

/* The names the host program exports: a misspelt one is never found. */
static void HostFunctionNames(void) {
    static const char* const expected[] = {
        "MX_LoadKData",     "MX_SaveKData",  "MX_CreateKData",    "MX_DeleteKData",
        "MX_NextKData",     "MX_GetCurrentKovrinDocument",        "MX_GetCurKRegions",
        "MX_LoadTGF",       "MX_FreeTGF",    "MX_SlotToInst",     "MX_InstToSlot",
        "MX_GetShowLayer",  "MX_GetMaxLayers"};
#define NAME(Name) "MX_" #Name,
    static const char* const listed[] = {MELVARA_HOST_FUNCTIONS(NAME)};
#undef NAME
    size_t i;
    Check(MELVARA_HOST_FUNCTION_COUNT == 13, "thirteen host functions");
    for (i = 0; i < 13; ++i) Check(strcmp(listed[i], expected[i]) == 0, expected[i]);
}

int main(void) {
    Frames();
    Region();
    Records();
    HostFunctionNames();
    if (failures == 0) printf("ok: the contract's layouts hold\n");
    return failures == 0 ? 0 : 1;
}
