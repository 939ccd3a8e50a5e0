/* The contract's headers from C99: the layouts read back from bytes placed
 * at the offsets the host uses, the menu text helpers, the tag and key
 * helpers, and the host function names. Exits 0 when everything holds, else 1 after naming each
 * failure. (ContractCxx17.cpp compiles the same headers as C++17.) */
#include <stdio.h>
#include <string.h>

#include "contract/Melvara.h"

static int failures = 0;

/* ContractCxx17.cpp: the menu text helpers compiled as C++17. */
int ContractCxx17MenuTexts(void);

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
    region = MelvaraRegionFrom(bytes);
    Check(region.StartSlotScope == 7 && region.StartSlot == 2 && region.StartMeasure == 3 &&
              region.StartPos == -256,
          "region: start fields at 0, 2, 4, 6");
    Check(region.EndSlotScope == 8 && region.EndSlot == 4 && region.EndMeasure == 5 &&
              region.EndPos == 1024,
          "region: end fields at 10, 12, 14, 16");
}

/* A tuplet record as the host stores it, read through the struct. */
static void TupletDefinition(void) {
    uint8_t bytes[MELVARA_TUPLET_BYTES];
    MelvaraTupletDefinition tuplet;
    unsigned word;
    for (word = 0; word < 15; ++word) Put16(bytes + 2 * word, 0x0100u + word);
    memcpy(&tuplet, bytes, sizeof tuplet);
    Check(tuplet.HeadWords[0] == 0x0100 && tuplet.HeadWords[3] == 0x0103,
          "tuplet: HeadWords at 0 to 7");
    Check(tuplet.OptionBits == 0x0104 && tuplet.Position1 == 0x0105 && tuplet.Position2 == 0x0106,
          "tuplet: OptionBits, Position1, Position2 at 8, 10, 12");
    Check(tuplet.Value1 == 0x0107 && tuplet.Value2 == 0x0108 && tuplet.Flags == 0x0109,
          "tuplet: Value1, Value2, Flags at 14, 16, 18");
    Check(tuplet.Value3 == 0x010A && tuplet.Value7 == 0x010E,
          "tuplet: Value3 to Value7 at 20 to 28");
}

/* Menu texts: cut to what the host's menu shows, terminated, the rest of the
 * field zero; UTF-8 to UTF-16 without half a character. */
static void MenuTexts(void) {
    static const char kLong[] =
        "0123456789012345678901234567890123456789012345678901234567890123456789";
    MenuItemRecord item;
    MenuItemRecordW wide;
    size_t i, nonzero = 0;
    memset(&item, 0x5A, sizeof item);
    MelvaraSetMenuText(item.Title, sizeof item.Title, kLong);
    MelvaraSetMenuText(item.ShortName, sizeof item.ShortName, "Short");
    Check(memcmp(item.Title, kLong, MELVARA_MENU_TEXT_LENGTH) == 0 &&
              item.Title[MELVARA_MENU_TEXT_LENGTH] == '\0',
          "8-bit text: the first 63 bytes and a zero byte");
    for (i = 5; i < sizeof item.ShortName; ++i) nonzero += item.ShortName[i] != '\0';
    Check(strcmp(item.ShortName, "Short") == 0 && nonzero == 0, "8-bit text: zero to the end");
    Check(item.Description[0] == 0x5A, "8-bit text: no other field written");

    memset(&wide, 0x5A, sizeof wide);
    /* e, e acute, the euro sign, a character beyond 16 bits, a stray byte, a
     * surrogate written as UTF-8 (three bytes, none a character). */
    MelvaraSetMenuTextW(wide.Title, 128,
                        "e\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E\xFF\xED\xA0\x80z");
    Check(wide.Title[0] == 'e' && wide.Title[1] == 0xE9 && wide.Title[2] == 0x20AC &&
              wide.Title[3] == 0xD834 && wide.Title[4] == 0xDD1E && wide.Title[5] == 0xFFFD &&
              wide.Title[6] == 0xFFFD && wide.Title[8] == 0xFFFD && wide.Title[9] == 'z' &&
              wide.Title[10] == 0 && wide.Title[127] == 0,
          "UTF-16 text: from UTF-8, a pair beyond 16 bits, U+FFFD for each stray byte");
    MelvaraSetMenuTextW(wide.Description, 128, kLong);
    Check(wide.Description[62] == '2' && wide.Description[MELVARA_MENU_TEXT_LENGTH] == 0,
          "UTF-16 text: the first 63 units and a zero unit");
    /* 62 units, then a pair that does not fit: cut before it. */
    MelvaraSetMenuTextW(wide.ShortName, 128,
                        "01234567890123456789012345678901234567890123456789012345678901"
                        "\xF0\x9D\x84\x9E");
    Check(wide.ShortName[61] == '1' && wide.ShortName[62] == 0, "UTF-16 text: no half pair");
    Check(ContractCxx17MenuTexts(), "menu texts from C++17 as from C");
    Check(MELVARA_CONTRACT_VERSION == MELVARA_CONTRACT_VERSION_MAJOR * 100 +
                                         MELVARA_CONTRACT_VERSION_MINOR &&
              MELVARA_CONTRACT_VERSION >= 101,
          "contract version 1.1 or later");
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
    TupletDefinition();
    MenuTexts();
    Records();
    HostFunctionNames();
    if (failures == 0) printf("ok: the contract's layouts hold\n");
    return failures == 0 ? 0 : 1;
}
