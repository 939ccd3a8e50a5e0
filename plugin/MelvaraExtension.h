#pragma once

// The module's binary surface: the seven exports the host calls and the two
// menu records it hands in. C linkage, undecorated names, x86-64 layout.

#include <cstddef>
#include <cstdint>

#include "framework/music/RegionRecord.h"

#if defined(_WIN32)
#define MELVARA_EXPORT extern "C"
#else
#define MELVARA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Filled by MelvaraExtensionEnumerate. Texts are copied like strncpy with a
// limit of 64: zero-padded, and without terminator when 64 bytes or longer.
struct MenuItemRecord {
    char Title[64];
    char Description[64];
    char ShortName[64];
    uint32_t ItemFlag;  // 1
};
static_assert(sizeof(MenuItemRecord) == 196);
static_assert(offsetof(MenuItemRecord, Description) == 64);
static_assert(offsetof(MenuItemRecord, ShortName) == 128);
static_assert(offsetof(MenuItemRecord, ItemFlag) == 192);

// Filled by MelvaraExtensionEnumerate_UTF16. Each text is at most 63 units
// and one zero unit; the units after the terminator are not written.
struct MenuItemRecordW {
    char16_t Title[128];
    char16_t Description[128];
    char16_t ShortName[128];
    uint32_t ItemFlag;  // 1
};
static_assert(sizeof(MenuItemRecordW) == 772);
static_assert(offsetof(MenuItemRecordW, Description) == 256);
static_assert(offsetof(MenuItemRecordW, ShortName) == 512);
static_assert(offsetof(MenuItemRecordW, ItemFlag) == 768);

// Called by the host first with its version; recorded for the menu gate and
// the versioned field maps. Returns its argument.
MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion);

// Called once after loading. Sets bit 0 of *word (other bits kept); a null
// pointer is left alone. Returns 1.
MELVARA_EXPORT int MelvaraExtensionInit(void* unused, uint32_t* word);

// Called per menu index from 0. Fills the record and returns 1, or returns 0
// and writes nothing when the index has no command (index 2 needs a host of
// version 0x11000000 or later) or the record pointer is null.
MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void* unused, int16_t index, MenuItemRecord* item);

// As MelvaraExtensionEnumerate, with the UTF-16 record.
MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void* unused, int16_t index,
                                                       MenuItemRecordW* item);

// Called when the user picks a command: index 0 resets the region's tuplets
// to the defaults, 2 makes the region's one tuplet the defaults, any other
// compares. selection20 is the 20-byte region record (RegionRecord) or null.
// Runs the command to its end, message boxes included; always returns 1.
MELVARA_EXPORT int MelvaraExtensionInvoke(void* window, int16_t index, const void* selection20);

// The commands are never greyed out: always 1.
MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void* unused);

// Called before unloading; the module holds nothing to release.
MELVARA_EXPORT void MelvaraExtensionTerminate(void);
