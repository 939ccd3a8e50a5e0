/* The seven exports of a plug-in module, and the two menu records.
 *
 * A module is a 64-bit dynamic library (.mxt on Windows, .so for the Linux
 * stand-in) that exports exactly these seven functions, under these plain
 * names with C linkage. The module defines them; the host loads the file,
 * finds each by name and calls them on its own thread, one call at a time.
 * A missing export makes the module unusable.
 *
 * The host's order: MelvaraExtensionVersion, MelvaraExtensionInit, the two
 * enumerations (index 0, 1, ... until one answers 0), MelvaraExtensionGetMenuStatus,
 * then MelvaraExtensionInvoke each time the user picks a command, and
 * MelvaraExtensionTerminate before unloading. A host may load, terminate and
 * unload a module many times in one run.
 *
 * Nothing may unwind out of an export into the host: no C++ exception, no
 * longjmp. Plain C99 and C++17. */
#ifndef MELVARA_EXPORTS_H
#define MELVARA_EXPORTS_H

#include <stddef.h>
#include <stdint.h>

#include "contract/MelvaraBytes.h"
#include "contract/MelvaraRegion.h"

#if defined(__cplusplus)
#define MELVARA_EXTERN_C extern "C"
#else
#define MELVARA_EXTERN_C extern
#endif

/* Declares an export. On Windows a .def file names the seven (EXPORTS
 * MelvaraExtensionVersion ...), so that they keep their plain names; on other
 * systems they are the library's only visible symbols (build with
 * -fvisibility=hidden). */
#if defined(_WIN32)
#define MELVARA_EXPORT MELVARA_EXTERN_C
#else
#define MELVARA_EXPORT MELVARA_EXTERN_C __attribute__((visibility("default")))
#endif

/* A UTF-16 code unit: char16_t in C++, a 16-bit unsigned integer in C, the
 * same in memory (WCHAR on Windows). */
#if defined(__cplusplus)
typedef char16_t MelvaraChar16;
#else
typedef uint16_t MelvaraChar16;
#endif

/* Highest menu index the host asks for; it stops at the first index that
 * answers 0. */
#define MELVARA_MENU_MAX_COMMANDS 64

/* The most characters of a menu text that the host's menu shows: 63 bytes of
 * an 8-bit text, 63 units of a UTF-16 one. The fields have room for more;
 * the host does not show it. */
#define MELVARA_MENU_TEXT_LENGTH 63

/* One menu command, as MelvaraExtensionEnumerate fills it: 8-bit texts. The
 * host reads each text up to its first zero byte, or all 64 bytes when there
 * is none; write them with MelvaraSetMenuText (below). ItemFlag is 1. */
typedef struct MenuItemRecord {
    char Title[64];       /* the menu item */
    char Description[64]; /* a line about what it does */
    char ShortName[64];   /* a short name, for toolbars and lists */
    uint32_t ItemFlag;    /* 1 */
} MenuItemRecord;
MELVARA_LAYOUT(MenuItemRecord_size, sizeof(MenuItemRecord) == 196);
MELVARA_LAYOUT(MenuItemRecord_Title, offsetof(MenuItemRecord, Title) == 0);
MELVARA_LAYOUT(MenuItemRecord_Description, offsetof(MenuItemRecord, Description) == 64);
MELVARA_LAYOUT(MenuItemRecord_ShortName, offsetof(MenuItemRecord, ShortName) == 128);
MELVARA_LAYOUT(MenuItemRecord_ItemFlag, offsetof(MenuItemRecord, ItemFlag) == 192);

/* The same command, as MelvaraExtensionEnumerate_UTF16 fills it: UTF-16
 * texts, each followed by a zero unit inside its 128 units. The host reads
 * each text up to that zero unit and nothing after it, and its menu shows at
 * most MELVARA_MENU_TEXT_LENGTH units of it; write them with
 * MelvaraSetMenuTextW (below). ItemFlag is 1. */
typedef struct MenuItemRecordW {
    MelvaraChar16 Title[128];
    MelvaraChar16 Description[128];
    MelvaraChar16 ShortName[128];
    uint32_t ItemFlag; /* 1 */
} MenuItemRecordW;
MELVARA_LAYOUT(MenuItemRecordW_size, sizeof(MenuItemRecordW) == 772);
MELVARA_LAYOUT(MenuItemRecordW_Title, offsetof(MenuItemRecordW, Title) == 0);
MELVARA_LAYOUT(MenuItemRecordW_Description, offsetof(MenuItemRecordW, Description) == 256);
MELVARA_LAYOUT(MenuItemRecordW_ShortName, offsetof(MenuItemRecordW, ShortName) == 512);
MELVARA_LAYOUT(MenuItemRecordW_ItemFlag, offsetof(MenuItemRecordW, ItemFlag) == 768);

/* Writes text into an 8-bit field of a MenuItemRecord (size: sizeof
 * item->Title): at most size - 1 and MELVARA_MENU_TEXT_LENGTH bytes of it,
 * then zero bytes to the end of the field, so that it is always terminated.
 * The bytes are the system's 8-bit characters, copied as they are. */
static inline void MelvaraSetMenuText(char* field, size_t size, const char* text) {
    size_t at = 0;
    for (; at + 1 < size && at < MELVARA_MENU_TEXT_LENGTH && text[at] != '\0'; ++at)
        field[at] = text[at];
    for (; at < size; ++at) field[at] = '\0';
}

/* Writes the UTF-8 text as UTF-16 into the units units at field (a message
 * box's text, a menu text): at most units - 1 units of it, never half a
 * character, then zero units to the end. A byte that does not begin a
 * well-formed UTF-8 character becomes U+FFFD. Returns the number of units
 * before the terminator. */
static inline size_t MelvaraUtf16FromUtf8(MelvaraChar16* field, size_t units, const char* text) {
    const unsigned char* next = (const unsigned char*)text;
    size_t at = 0, length;
    while (*next != 0) {
        uint32_t c = *next;
        int bytes = 1, i;
        if (c >= 0xC2 && c <= 0xDF) {
            bytes = 2;
            c &= 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            bytes = 3;
            c &= 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            bytes = 4;
            c &= 0x07;
        } else if (c >= 0x80) {
            c = 0xFFFD;
        }
        for (i = 1; i < bytes && (next[i] & 0xC0) == 0x80; ++i) c = (c << 6) | (next[i] & 0x3F);
        if (i < bytes || (bytes == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ||
            (bytes == 4 && (c < 0x10000 || c > 0x10FFFF))) {
            c = 0xFFFD; /* cut short, overlong or a surrogate: its first byte stands for it */
            bytes = 1;
        }
        if (at + (c > 0xFFFF ? 2 : 1) >= units) break;
        if (c > 0xFFFF) {
            field[at++] = (MelvaraChar16)(0xD800 + ((c - 0x10000) >> 10));
            field[at++] = (MelvaraChar16)(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            field[at++] = (MelvaraChar16)c;
        }
        next += bytes;
    }
    for (length = at; at < units; ++at) field[at] = 0;
    return length;
}

/* Writes the UTF-8 text into a UTF-16 field of a MenuItemRecordW (units:
 * 128, the field's length in units): at most units - 1 and
 * MELVARA_MENU_TEXT_LENGTH units of it, never half a character, then zero
 * units to the end of the field. */
static inline void MelvaraSetMenuTextW(MelvaraChar16* field, size_t units, const char* text) {
    size_t at = MelvaraUtf16FromUtf8(
        field, units > MELVARA_MENU_TEXT_LENGTH ? MELVARA_MENU_TEXT_LENGTH + 1 : units, text);
    for (; at < units; ++at) field[at] = 0;
}

/* Called first after loading, with the host's version (0x19000000 for the
 * current host; older hosts give lower numbers, compared unsigned). Keep it
 * if the menu or the records depend on it. Return hostVersion unchanged. */
MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion);

/* Called once after MelvaraExtensionVersion. word points to a 32-bit word of
 * the host's: set bit 0 (word |= 1) and leave the other bits as they are;
 * unused is not to be read. Return 1. */
MELVARA_EXPORT int MelvaraExtensionInit(void* unused, uint32_t* word);

/* Called for index 0, 1, 2 ... until it answers 0, at most
 * MELVARA_MENU_MAX_COMMANDS times. With a command at index: write the three
 * texts and ItemFlag into *item and return 1; bytes after a text's
 * terminator are not read. Without: return 0 and write nothing at all into
 * *item. Nothing may be written outside the record's 196 bytes. The answers
 * may depend on the version given to MelvaraExtensionVersion, but must be the
 * same each time for the same index and version. */
MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void* unused, int16_t index,
                                                 MenuItemRecord* item);

/* As MelvaraExtensionEnumerate, with the UTF-16 record: the same answer for
 * each index and the same texts, each terminated inside its 128 units; units
 * after the terminator are not read. */
MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void* unused, int16_t index,
                                                       MenuItemRecordW* item);

/* Called when the user picks the command at menu index, on the host's
 * thread; the host waits for it. window is the host's window: the owner of
 * the module's message boxes (it may be null). selection20 is the user's
 * selection, a 20-byte RegionRecord (contract/MelvaraRegion.h) to be read
 * with memcpy and never written, or null when there is none.
 * The command runs to its end inside this call: every layer frame it loaded
 * is released with MX_FreeTGF before it returns, and it keeps no pointer into
 * host memory. Host functions may fail or be missing at any call: a command
 * reports what went wrong in a message box, or does nothing, but never
 * crashes. Return 1. */
MELVARA_EXPORT int MelvaraExtensionInvoke(void* window, int16_t index, const void* selection20);

/* Asked by the host whether the module's commands can be picked: return 1.
 * unused is not to be read. */
MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void* unused);

/* Called once before the host unloads the module. Release what the module
 * holds; no host function may be called from now on. */
MELVARA_EXPORT void MelvaraExtensionTerminate(void);

#endif
