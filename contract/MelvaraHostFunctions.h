/* The thirteen functions the host program exports to its modules, and how a
 * module finds them.
 *
 * A module calls them only from inside one of its exports (in practice from
 * MelvaraExtensionInvoke), on the thread the host called it on. Each call
 * ends with the version argument MELVARA_CALL_VERSION. Integer results are
 * 16-bit; for the record functions nonzero means done. A host may lack any of
 * them, and any call may fail: a module checks every result and treats a
 * missing function as a call that failed (0, no frame; for MX_GetMaxLayers, 4
 * layers).
 *
 * Finding them:
 * - Windows: the host program is the module "MELVARA.EXE", or "MELDEMO.EXE"
 *   for the demo; when neither is found, the null module stands for the main
 *   program, whatever its file name:
 *       HMODULE host = GetModuleHandleA(MELVARA_HOST_PROGRAM);
 *       if (host == NULL) host = GetModuleHandleA(MELVARA_DEMO_PROGRAM);
 *       FARPROC address = GetProcAddress(host, "MX_LoadKData");
 * - The Linux stand-in (melvara-sim): the host program exports the functions
 *   under the same plain names:
 *       void* address = dlsym(RTLD_DEFAULT, "MX_LoadKData");
 * Copy the address into a variable of the function's type with memcpy (ISO C
 * does not convert between data and function pointers). Look each up once:
 * the address stays valid while the module is loaded.
 *
 * Message boxes: on Windows a module calls the system's MessageBoxW and
 * IsWindow (USER32). In the Linux stand-in the host program exports both
 * under those names (MelvaraMessageBoxWFn and MelvaraIsWindowFn below), found
 * with dlsym(RTLD_DEFAULT, ...) like the others.
 *
 * Plain C99 and C++17. */
#ifndef MELVARA_HOST_FUNCTIONS_H
#define MELVARA_HOST_FUNCTIONS_H

#include <stdint.h>

#include "contract/MelvaraExports.h"

/* The version argument: the last argument of every call, always this. */
#define MELVARA_CALL_VERSION 0x19000000u

/* The host program's module names on Windows, tried in this order. */
#define MELVARA_HOST_PROGRAM "MELVARA.EXE"
#define MELVARA_DEMO_PROGRAM "MELDEMO.EXE"

/* The number of layers to assume when MX_GetMaxLayers is missing. */
#define MELVARA_MISSING_LAYER_COUNT 4

/* The thirteen functions, each once, in the order of this header: X(Name)
 * stands for the function MX_Name, whose pointer type is MX_NameFn. */
#define MELVARA_HOST_FUNCTIONS(X) \
    X(LoadKData)                  \
    X(SaveKData)                  \
    X(CreateKData)                \
    X(DeleteKData)                \
    X(NextKData)                  \
    X(GetCurrentKovrinDocument)   \
    X(GetCurKRegions)             \
    X(LoadTGF)                    \
    X(FreeTGF)                    \
    X(SlotToInst)                 \
    X(InstToSlot)                 \
    X(GetShowLayer)               \
    X(GetMaxLayers)
#define MELVARA_HOST_FUNCTION_COUNT (0 MELVARA_HOST_FUNCTIONS(MELVARA_COUNT_ONE))
#define MELVARA_COUNT_ONE(Name) +1
MELVARA_LAYOUT(thirteen_host_functions, MELVARA_HOST_FUNCTION_COUNT == 13);

#if defined(__cplusplus)
extern "C" {
#endif

/* --- Records (contract/MelvaraRecords.h) ------------------------------------
 * keys is a block of four 16-bit words, never null. The host saves into the
 * document that is current when MX_SaveKData is called: a module that
 * loaded a record in one document (MX_GetCurrentKovrinDocument) saves it
 * into no other, and loads it again after the user switched documents. */

/* Loads record (tag, keys) into buffer. *count is the room in buffer on
 * entry; the host copies at most that many bytes and sets *count to the
 * record's size, which may be more than it copied. count is never null.
 * 0: no such record, or the load failed. The buffer and *count may then
 * hold bytes the host left there: rely on neither. */
typedef int16_t (*MX_LoadKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                  uint32_t version);

/* Replaces the bytes of the existing record (tag, keys) with count bytes from
 * buffer. Save only a record whose last load succeeded, and no more bytes
 * than that load copied into the buffer (the record's size, or the room
 * given when that was less). 0: no such record, or the host refused;
 * nothing changed. */
typedef int16_t (*MX_SaveKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                  uint32_t version);

/* Creates record (tag, keys) with count bytes from buffer. With
 * keys[MELVARA_KEY_INDEX] = MELVARA_KEY_NEW_INDEX the host takes the next free
 * index under the tag and the first two words and writes it there; a host may
 * leave MELVARA_KEY_NEW_INDEX, and the caller then finds the record with
 * MX_NextKData. 0: the record exists or cannot be made. */
typedef int16_t (*MX_CreateKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                    uint32_t version);

/* Deletes record (tag, keys). 0: no such record. */
typedef int16_t (*MX_DeleteKDataFn)(uint32_t tag, uint16_t keys[4], uint32_t version);

/* Steps keys in place to the next record of the tag, in ascending order of
 * the four words. buffer and count are always null: load the record with
 * MX_LoadKData. 0: no next record; keys unchanged. */
typedef int16_t (*MX_NextKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                  uint32_t version);

/* --- The document and the selection ---------------------------------------- */

/* The id of the document the user works in; it changes when the user
 * switches documents between two commands. 0 when missing. */
typedef int16_t (*MX_GetCurrentKovrinDocumentFn)(uint32_t version);

/* Fills three areas of MELVARA_REGIONS_AREA1_BYTES, _AREA2_BYTES and
 * _AREA3_BYTES bytes (contract/MelvaraRegion.h): the first 20 bytes of the
 * third are the user's current selection, a RegionRecord; the other areas are
 * the host's own. The result means nothing. When it is missing there is no
 * selection to read. */
typedef int16_t (*MX_GetCurKRegionsFn)(void* area8, void* area24a, void* area24b,
                                       uint32_t version);

/* --- Layer frames (contract/MelvaraFrame.h) -------------------------------- */

/* Loads the entries of one layer of one cell: the staff at slot, the measure
 * (from 1) and the layer, counted from 0 and below MX_GetMaxLayers. none is
 * always null. option is the cell's option word, handed to the host as it
 * is: pass 1. (The simulated host shows it in its trace and gives the same
 * frame for any value.) Returns the frame, to be released with MX_FreeTGF
 * exactly once before the export returns; null when there is no such staff,
 * measure or layer, or the load failed. */
typedef void* (*MX_LoadTGFFn)(void* none, int16_t slot, int16_t measure, int16_t layer,
                              int16_t option, uint32_t version);

/* Releases a frame that MX_LoadTGF returned; every pointer into it is dead
 * afterwards. Never a frame twice, never a handle the host did not give.
 * When it is missing the host keeps the frames: nothing to do. */
typedef void (*MX_FreeTGFFn)(void* frame, uint32_t version);

/* --- Staves and layers ------------------------------------------------------ */

/* The staff number (a staff's identity) of the staff at slot (its place in
 * the current order). scope is the 16-bit word stored just before the slot in
 * a region record or frame. 0: no staff there, or not with that scope. */
typedef int16_t (*MX_SlotToInstFn)(int16_t slot, uint16_t scope, uint32_t version);

/* The slot of the staff numbered staff; zero is always 0. 0: no such staff. */
typedef int16_t (*MX_InstToSlotFn)(int16_t staff, int16_t zero, uint32_t version);

/* Nonzero when the host shows layer (from 0); commands that work on what the
 * user sees leave hidden layers alone. 0 when missing: no layer is shown. */
typedef int16_t (*MX_GetShowLayerFn)(int16_t layer, uint32_t version);

/* The number of layers of the document's cells. A host may answer any 16-bit
 * value: treat one below 1 as none, and cap it to what the module can hold.
 * MELVARA_MISSING_LAYER_COUNT when missing. */
typedef int16_t (*MX_GetMaxLayersFn)(uint32_t version);

/* --- Message boxes in the Linux stand-in ------------------------------------
 * As the system's functions of the same names on Windows: MessageBoxW shows
 * text under caption over window (or over none) with the buttons and icon of
 * style, waits for the user and answers the button pressed; 0 when the box
 * could not be shown. IsWindow is nonzero for a live window. */
typedef int (*MelvaraMessageBoxWFn)(void* window, const MelvaraChar16* text,
                                    const MelvaraChar16* caption, unsigned style);
typedef int (*MelvaraIsWindowFn)(void* window);

#if defined(__cplusplus)
}
#endif

/* Styles and answers of MessageBoxW, as on Windows. */
#define MELVARA_MB_OK 0x0u
#define MELVARA_MB_OKCANCEL 0x1u
#define MELVARA_MB_YESNO 0x4u
#define MELVARA_MB_ICONERROR 0x10u
#define MELVARA_MB_ICONQUESTION 0x20u
#define MELVARA_MB_ICONWARNING 0x30u
#define MELVARA_MB_ICONINFORMATION 0x40u
#define MELVARA_IDOK 1
#define MELVARA_IDCANCEL 2
#define MELVARA_IDYES 6
#define MELVARA_IDNO 7

#endif
