#include "plugin/MelvaraExtension.h"

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCString.h"
#include "framework/core/MCUI.h"
#include "framework/host/HostVersion.h"
#include "framework/music/MCMusicRegion.h"
#include "plugin/CommandTable.h"
#include "plugin/TupletCommand.h"

namespace {

constexpr size_t kMenuTextBytes = 64;
constexpr size_t kMenuTextUnits = 63;

// The strncpy rule: at most 64 bytes, zero-padded; a text of 64 bytes or
// more fills the field without a terminator.
void CopyMenuText(char* field, const char* text) {
    size_t i = 0;
    for (; i < kMenuTextBytes && text[i] != '\0'; ++i) field[i] = text[i];
    for (; i < kMenuTextBytes; ++i) field[i] = '\0';
}

// At most 63 units and a zero unit; the host's units after it stay. Each
// character is widened as MCString widens it, straight into the field: the
// menu needs no memory.
void CopyMenuText(char16_t* field, const char* text) {
    size_t i = 0;
    for (; i < kMenuTextUnits && text[i] != '\0'; ++i) field[i] = WidenChar(text[i]);
    field[i] = 0;
}

}  // namespace

uint32_t MelvaraExtensionVersion(uint32_t hostVersion) {
    HostVersion = hostVersion;
    MenuHostVersion = hostVersion;
    return hostVersion;
}

int MelvaraExtensionInit(void*, uint32_t* word) {
    if (word != nullptr) *word |= 1u;
    return 1;
}

int16_t MelvaraExtensionEnumerate(void*, int16_t index, MenuItemRecord* item) {
    const MenuCommand* command = FindMenuCommand(index, MenuHostVersion);
    if (command == nullptr || item == nullptr) return 0;
    CopyMenuText(item->Title, command->Title);
    CopyMenuText(item->Description, command->Description);
    CopyMenuText(item->ShortName, command->ShortName);
    item->ItemFlag = 1;
    return 1;
}

int16_t MelvaraExtensionEnumerate_UTF16(void*, int16_t index, MenuItemRecordW* item) {
    const MenuCommand* command = FindMenuCommand(index, MenuHostVersion);
    if (command == nullptr || item == nullptr) return 0;
    CopyMenuText(item->Title, command->Title);
    CopyMenuText(item->Description, command->Description);
    CopyMenuText(item->ShortName, command->ShortName);
    item->ItemFlag = 1;
    return 1;
}

int MelvaraExtensionInvoke(void* window, int16_t index, const void* selection20) {
    // Nothing may unwind into the host; every failure is the command's to
    // report, and the host always hears success.
    try {
        // Nothing of the command's stays in the module's hands.
        mcpool::TrimOnExit trim;
        const MCUI ui(window);
        MCMusicRegion region;
        region.SetFromCommandRecord(selection20);
        RunTupletCommand(region, CommandModeForMenuIndex(index), ui);
    } catch (...) {
    }
    return 1;
}

int MelvaraExtensionGetMenuStatus(void*) { return 1; }

void MelvaraExtensionTerminate(void) {}
