/* count-tuplets: a plug-in module for Melvara, in C, written against the
 * host's contract (contract/) alone. Its one command, "Count Tuplets",
 * counts the tuplets in the shown layers of the selection and shows the
 * count in a message box.
 *
 * Read it from top to bottom: the seven exports, finding the host's
 * functions, reading the selection and the layer frames, loading records,
 * and a message box. Build it with the Makefile beside it. */

/* dlsym's RTLD_DEFAULT, on Linux. */
#define _GNU_SOURCE

#include <stdint.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "contract/Melvara.h"

/* --- 1. The menu -----------------------------------------------------------
 * The host asks for the commands at index 0, 1, ... until an enumeration
 * answers 0. This module has one, at index 0. */

static const char kTitle[] = "Count Tuplets";
static const char kDescription[] = "Counts the tuplets in the shown layers of the selection.";
static const char kShortName[] = "Count Tuplets";

MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion) {
    return hostVersion; /* the menu is the same for every host version */
}

MELVARA_EXPORT int MelvaraExtensionInit(void* unused, uint32_t* word) {
    (void)unused;
    if (word != NULL) *word |= 1u;
    return 1;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void* unused, int16_t index,
                                                 MenuItemRecord* item) {
    (void)unused;
    if (index != 0 || item == NULL) return 0; /* no command: write nothing */
    /* Cut to what the host's menu shows (63 characters), zero to the end. */
    MelvaraSetMenuText(item->Title, sizeof item->Title, kTitle);
    MelvaraSetMenuText(item->Description, sizeof item->Description, kDescription);
    MelvaraSetMenuText(item->ShortName, sizeof item->ShortName, kShortName);
    item->ItemFlag = 1;
    return 1;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void* unused, int16_t index,
                                                       MenuItemRecordW* item) {
    (void)unused;
    if (index != 0 || item == NULL) return 0;
    MelvaraSetMenuTextW(item->Title, 128, kTitle); /* from UTF-8 */
    MelvaraSetMenuTextW(item->Description, 128, kDescription);
    MelvaraSetMenuTextW(item->ShortName, 128, kShortName);
    item->ItemFlag = 1;
    return 1;
}

MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void* unused) {
    (void)unused;
    return 1;
}

/* --- 2. The host's functions -------------------------------------------------
 * The host program exports thirteen functions, found by name. The contract
 * lists them once (MELVARA_HOST_FUNCTIONS): this struct gets a field of the
 * right type for each, MX_LoadKData in host.LoadKData and so on. A function
 * the host lacks stays null, and the module must do without it. */

static struct {
#define HOST_FIELD(Name) MX_##Name##Fn Name;
    MELVARA_HOST_FUNCTIONS(HOST_FIELD)
#undef HOST_FIELD
    int Bound;
} host;

/* A function of the host program by name, or null. */
static void* FindInHost(const char* name) {
    void* result;
#if defined(_WIN32)
    HMODULE program = GetModuleHandleA(MELVARA_HOST_PROGRAM);
    FARPROC address;
    if (program == NULL) program = GetModuleHandleA(MELVARA_DEMO_PROGRAM);
    address = GetProcAddress(program, name); /* no module: the main program */
    memcpy(&result, &address, sizeof result);
#else
    result = dlsym(RTLD_DEFAULT, name); /* the Linux stand-in exports them too */
#endif
    return result;
}

/* Looks each function up once; the addresses hold while the module is loaded. */
static void BindHost(void) {
    void* address;
    if (host.Bound) return;
#define HOST_BIND(Name)                               \
    address = FindInHost("MX_" #Name);                \
    memcpy(&host.Name, &address, sizeof host.Name);
    MELVARA_HOST_FUNCTIONS(HOST_BIND)
#undef HOST_BIND
    host.Bound = 1;
}

MELVARA_EXPORT void MelvaraExtensionTerminate(void) {
    memset(&host, 0, sizeof host); /* a new load binds again */
}

/* --- 3. Counting: the selection, the layer frames, the records ------------- */

#define V MELVARA_CALL_VERSION /* the last argument of every host call */
#define MAX_LAYERS 32          /* a larger layer count is not believed */

/* The tuplets of one entry: records of the tuplet tag under the entry's
 * number and the indexes 0, 1, ... up to the first that does not load. */
static long TupletsOf(const uint8_t* entry) {
    MelvaraTupletDefinition tuplet; /* Position1, Value1 ... would be read here */
    uint16_t keys[4];
    long count = 0;
    uint16_t index;
    if ((MelvaraEntryFlags(entry) & MELVARA_ENTRY_HAS_TUPLETS) == 0) return 0;
    for (index = 0; index < 0xFFFF; ++index) {
        uint32_t size = sizeof tuplet;
        MelvaraTupletKeys(keys, MelvaraEntryNumber(entry), index);
        if (host.LoadKData(MELVARA_TUPLET_TAG, keys, &tuplet, &size, V) == 0) break;
        ++count;
    }
    return count;
}

/* The tuplets of the selection in the layers the host shows. */
static long CountTuplets(const RegionRecord* region) {
    int shown[MAX_LAYERS];
    int layers = host.GetMaxLayers != NULL ? host.GetMaxLayers(V) : MELVARA_MISSING_LAYER_COUNT;
    int layer, measure, slot, i;
    long count = 0;
    if (layers > MAX_LAYERS) layers = MAX_LAYERS;
    /* Layers count from 0; without MX_GetShowLayer no layer is shown. */
    for (layer = 0; layer < layers; ++layer) {
        shown[layer] = host.GetShowLayer != NULL && host.GetShowLayer((int16_t)layer, V) != 0;
    }
    /* The region's slots go to MX_LoadTGF as they are: no staff numbers are
     * needed. int, not int16_t: a region may end at measure or slot 32767. */
    for (measure = region->StartMeasure; measure <= region->EndMeasure; ++measure) {
        for (slot = region->StartSlot; slot <= region->EndSlot; ++slot) {
            for (layer = 0; layer < layers; ++layer) {
                void* frame;
                if (!shown[layer]) continue;
                /* Option word 1; the frame is null when the cell has no such layer. */
                frame = host.LoadTGF(NULL, (int16_t)slot, (int16_t)measure, (int16_t)layer, 1, V);
                if (frame == NULL) continue;
                for (i = 0; i < MelvaraFrameEntryCount(frame); ++i) {
                    const uint8_t* entry = MelvaraFrameEntry(frame, i);
                    int32_t position = MelvaraEntryPosition(entry);
                    if (measure == region->StartMeasure && position < region->StartPos) continue;
                    if (measure == region->EndMeasure && position > region->EndPos) continue;
                    count += TupletsOf(entry);
                }
                if (host.FreeTGF != NULL) host.FreeTGF(frame, V); /* once, before returning */
            }
        }
    }
    return count;
}

/* --- 4. The message box ------------------------------------------------------
 * On Windows the system's MessageBoxW; in the Linux stand-in the host
 * program exports one of the same type. Texts are UTF-16, terminated. */

static void ShowCount(void* window, long count) {
    MelvaraChar16 text[96], caption[32];
    char line[96], digits[24];
    int n = 0;
    size_t at;
    do digits[n++] = (char)('0' + count % 10); while ((count /= 10) > 0);
    for (at = 0; n > 0; ++at) line[at] = digits[--n];
    line[at] = '\0';
    strcat(line, " tuplets in the shown layers of the selection.");
    MelvaraUtf16FromUtf8(text, 96, line);
    MelvaraUtf16FromUtf8(caption, 32, kTitle);
#if defined(_WIN32)
    MessageBoxW((HWND)window, (LPCWSTR)text, (LPCWSTR)caption, MB_OK | MB_ICONINFORMATION);
#else
    {
        MelvaraMessageBoxWFn box;
        void* address = dlsym(RTLD_DEFAULT, "MessageBoxW");
        memcpy(&box, &address, sizeof box);
        if (box != NULL) box(window, text, caption, MELVARA_MB_OK | MELVARA_MB_ICONINFORMATION);
    }
#endif
}

/* --- 5. The command ------------------------------------------------------------
 * The host passes its window, the menu index and the selection: a 20-byte
 * region record, copied out with memcpy, or null. Without one, the command
 * asks the host for the current selection. Every host call may fail: a
 * missing function or a failed call means less to count, never a crash. */

MELVARA_EXPORT int MelvaraExtensionInvoke(void* window, int16_t index, const void* selection20) {
    RegionRecord region;
    (void)index; /* one command */
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
    ShowCount(window, host.LoadTGF != NULL && host.LoadKData != NULL ? CountTuplets(&region) : 0);
    return 1;
}
