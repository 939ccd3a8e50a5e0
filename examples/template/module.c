/* A plug-in module for Melvara, from the kit's template: two commands over
 * the tuplets of the selection, each asking before it acts and saying what
 * it did. Rename it, keep the seven exports, and put your own commands in
 * kCommands and Run.
 *
 *   0 "Template - Count Tuplets"           counts the tuplets; on Yes shows
 *                                          the first one's fields
 *   1 "Template - Clear Tuplet Positions"  on Yes sets Position1 and
 *                                          Position2 of each tuplet to 0 and
 *                                          saves it
 *
 * Build and validate with the Makefile beside it; see the kit's README.txt. */

/* dlsym's RTLD_DEFAULT, on Linux. */
#define _GNU_SOURCE

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "contract/Melvara.h"

#define V MELVARA_CALL_VERSION /* the last argument of every host call */
#define MAX_LAYERS 32          /* a larger layer count is not believed */

/* --- The menu ------------------------------------------------------------- */

static const struct {
    const char* Title;
    const char* Description;
    const char* ShortName;
} kCommands[] = {
    {"Template - Count Tuplets", "Counts the tuplets in the shown layers of the selection.",
     "Count Tuplets"},
    {"Template - Clear Tuplet Positions",
     "Sets the position of every tuplet in the shown layers of the selection to 0.",
     "Clear Positions"},
};
#define COMMAND_COUNT ((int)(sizeof kCommands / sizeof kCommands[0]))

MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion) {
    return hostVersion;
}

MELVARA_EXPORT int MelvaraExtensionInit(void* unused, uint32_t* word) {
    (void)unused;
    if (word != NULL) *word |= 1u;
    return 1;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void* unused, int16_t index,
                                                 MenuItemRecord* item) {
    (void)unused;
    if (index < 0 || index >= COMMAND_COUNT || item == NULL) return 0; /* write nothing */
    MelvaraSetMenuText(item->Title, sizeof item->Title, kCommands[index].Title);
    MelvaraSetMenuText(item->Description, sizeof item->Description, kCommands[index].Description);
    MelvaraSetMenuText(item->ShortName, sizeof item->ShortName, kCommands[index].ShortName);
    item->ItemFlag = 1;
    return 1;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void* unused, int16_t index,
                                                       MenuItemRecordW* item) {
    (void)unused;
    if (index < 0 || index >= COMMAND_COUNT || item == NULL) return 0;
    MelvaraSetMenuTextW(item->Title, 128, kCommands[index].Title);
    MelvaraSetMenuTextW(item->Description, 128, kCommands[index].Description);
    MelvaraSetMenuTextW(item->ShortName, 128, kCommands[index].ShortName);
    item->ItemFlag = 1;
    return 1;
}

MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void* unused) {
    (void)unused;
    return 1;
}

/* --- The host's functions, each found by name once ------------------------ */

static struct {
#define HOST_FIELD(Name) MX_##Name##Fn Name;
    MELVARA_HOST_FUNCTIONS(HOST_FIELD)
#undef HOST_FIELD
    MelvaraMessageBoxWFn MessageBox; /* the Linux stand-in's; Windows has its own */
    int Bound;
} host;

static void* FindInHost(const char* name) {
    void* result;
#if defined(_WIN32)
    HMODULE program = GetModuleHandleA(MELVARA_HOST_PROGRAM);
    FARPROC address;
    if (program == NULL) program = GetModuleHandleA(MELVARA_DEMO_PROGRAM);
    address = GetProcAddress(program, name); /* no module: the main program */
    memcpy(&result, &address, sizeof result);
#else
    result = dlsym(RTLD_DEFAULT, name);
#endif
    return result;
}

static void BindHost(void) {
    void* address;
    if (host.Bound) return;
#define HOST_BIND(Name)                \
    address = FindInHost("MX_" #Name); \
    memcpy(&host.Name, &address, sizeof host.Name);
    MELVARA_HOST_FUNCTIONS(HOST_BIND)
#undef HOST_BIND
#if !defined(_WIN32)
    address = dlsym(RTLD_DEFAULT, "MessageBoxW");
    memcpy(&host.MessageBox, &address, sizeof host.MessageBox);
#endif
    host.Bound = 1;
}

MELVARA_EXPORT void MelvaraExtensionTerminate(void) {
    memset(&host, 0, sizeof host); /* a new load binds again */
}

/* A message box over the host's window: the button pressed, 0 when none. */
static int Ask(void* window, const char* caption, const char* text, unsigned style) {
    MelvaraChar16 text16[256], caption16[64];
    MelvaraUtf16FromUtf8(text16, 256, text);
    MelvaraUtf16FromUtf8(caption16, 64, caption);
#if defined(_WIN32)
    return MessageBoxW((HWND)window, (LPCWSTR)text16, (LPCWSTR)caption16, style);
#else
    return host.MessageBox != NULL ? host.MessageBox(window, text16, caption16, style) : 0;
#endif
}

/* --- Walking the tuplets of the selection ------------------------------------
 * Visit is called with each tuplet record that loads whole, in the shown
 * layers of the region, with its keys; it answers whether it changed the
 * record, which is then saved, in the size it loaded and into the document it
 * came from (one command runs in one document). */

typedef int (*VisitFn)(MelvaraTupletDefinition* tuplet, void* context);

typedef struct {
    long Tuplets; /* records visited */
    long Saved;   /* records changed and saved */
} Walk;

static void WalkEntry(const uint8_t* entry, VisitFn visit, void* context, Walk* walk) {
    uint16_t keys[4];
    uint16_t index;
    if ((MelvaraEntryFlags(entry) & MELVARA_ENTRY_HAS_TUPLETS) == 0) return;
    for (index = 0; index < 0xFFFF; ++index) {
        MelvaraTupletDefinition tuplet;
        uint32_t size = sizeof tuplet;
        MelvaraTupletKeys(keys, MelvaraEntryNumber(entry), index);
        if (host.LoadKData(MELVARA_TUPLET_TAG, keys, &tuplet, &size, V) == 0) break;
        if (size != sizeof tuplet) continue; /* not the layout this module knows */
        ++walk->Tuplets;
        if (visit(&tuplet, context) && host.SaveKData != NULL &&
            host.SaveKData(MELVARA_TUPLET_TAG, keys, &tuplet, size, V) != 0) {
            ++walk->Saved;
        }
    }
}

static Walk WalkTuplets(const RegionRecord* region, VisitFn visit, void* context) {
    Walk walk = {0, 0};
    int shown[MAX_LAYERS];
    int layers, layer, measure, slot, i;
    if (host.LoadTGF == NULL || host.LoadKData == NULL) return walk;
    layers = host.GetMaxLayers != NULL ? host.GetMaxLayers(V) : MELVARA_MISSING_LAYER_COUNT;
    if (layers > MAX_LAYERS) layers = MAX_LAYERS;
    for (layer = 0; layer < layers; ++layer)
        shown[layer] = host.GetShowLayer != NULL && host.GetShowLayer((int16_t)layer, V) != 0;
    /* int, not int16_t: a region may end at measure or slot 32767. */
    for (measure = region->StartMeasure; measure <= region->EndMeasure; ++measure) {
        for (slot = region->StartSlot; slot <= region->EndSlot; ++slot) {
            for (layer = 0; layer < layers; ++layer) {
                void* frame;
                if (!shown[layer]) continue;
                frame = host.LoadTGF(NULL, (int16_t)slot, (int16_t)measure, (int16_t)layer, 1, V);
                if (frame == NULL) continue;
                for (i = 0; i < MelvaraFrameEntryCount(frame); ++i) {
                    const uint8_t* entry = MelvaraFrameEntry(frame, i);
                    int32_t position = MelvaraEntryPosition(entry);
                    if (measure == region->StartMeasure && position < region->StartPos) continue;
                    if (measure == region->EndMeasure && position > region->EndPos) continue;
                    WalkEntry(entry, visit, context, &walk);
                }
                if (host.FreeTGF != NULL) host.FreeTGF(frame, V); /* once, before returning */
            }
        }
    }
    return walk;
}

/* --- The commands ------------------------------------------------------------ */

typedef struct {
    int Seen;
    MelvaraTupletDefinition Tuplet;
} First;

static int KeepFirst(MelvaraTupletDefinition* tuplet, void* first) {
    First* kept = (First*)first;
    if (!kept->Seen) kept->Tuplet = *tuplet;
    kept->Seen = 1;
    return 0; /* nothing changed */
}

static int ClearPosition(MelvaraTupletDefinition* tuplet, void* unused) {
    (void)unused;
    if (tuplet->Position1 == 0 && tuplet->Position2 == 0) return 0;
    tuplet->Position1 = 0;
    tuplet->Position2 = 0;
    return 1;
}

static int Count(MelvaraTupletDefinition* tuplet, void* unused) {
    (void)tuplet;
    (void)unused;
    return 0;
}

static void Run(void* window, int16_t index, const RegionRecord* region) {
    const char* caption = kCommands[index].Title;
    char text[256];
    Walk walk;
    if (index == 0) {
        First first;
        memset(&first, 0, sizeof first);
        walk = WalkTuplets(region, KeepFirst, &first);
        snprintf(text, sizeof text, "%ld tuplets in the shown layers of the selection.%s",
                 walk.Tuplets, walk.Tuplets > 0 ? " Show the first one's settings?" : "");
        if (walk.Tuplets == 0) {
            Ask(window, caption, text, MELVARA_MB_OK | MELVARA_MB_ICONINFORMATION);
            return;
        }
        if (Ask(window, caption, text, MELVARA_MB_YESNO | MELVARA_MB_ICONQUESTION) !=
            MELVARA_IDYES) {
            return;
        }
        snprintf(text, sizeof text,
                 "Position %u, %u\nValue1 %u, Value2 %u, Flags 0x%04X\nValue3 %u to Value7 %u",
                 first.Tuplet.Position1, first.Tuplet.Position2, first.Tuplet.Value1,
                 first.Tuplet.Value2, first.Tuplet.Flags, first.Tuplet.Value3, first.Tuplet.Value7);
        Ask(window, caption, text, MELVARA_MB_OK | MELVARA_MB_ICONINFORMATION);
        return;
    }
    walk = WalkTuplets(region, Count, NULL);
    snprintf(text, sizeof text, "Set the position of the %ld tuplets in the selection to 0?",
             walk.Tuplets);
    if (Ask(window, caption, text, MELVARA_MB_YESNO | MELVARA_MB_ICONQUESTION) != MELVARA_IDYES)
        return;
    walk = WalkTuplets(region, ClearPosition, NULL);
    snprintf(text, sizeof text, "Cleared the position of %ld tuplets.", walk.Saved);
    Ask(window, caption, text, MELVARA_MB_OK | MELVARA_MB_ICONINFORMATION);
}

/* The host passes its window, the menu index and the selection (a 20-byte
 * region record, or null: then the current one is asked for). Every host
 * call may fail and any function may be missing: less to do, never a crash. */
MELVARA_EXPORT int MelvaraExtensionInvoke(void* window, int16_t index, const void* selection20) {
    RegionRecord region;
    BindHost();
    memset(&region, 0, sizeof region); /* nothing selected: measure 0, no cell */
    if (selection20 != NULL) {
        region = MelvaraRegionFrom(selection20);
    } else if (host.GetCurKRegions != NULL) {
        uint8_t area1[MELVARA_REGIONS_AREA1_BYTES], area2[MELVARA_REGIONS_AREA2_BYTES];
        uint8_t area3[MELVARA_REGIONS_AREA3_BYTES];
        memset(area3, 0, sizeof area3);
        host.GetCurKRegions(area1, area2, area3, V);
        region = MelvaraRegionFrom(area3);
    }
    if (index >= 0 && index < COMMAND_COUNT) Run(window, index, &region);
    return 1;
}
