#pragma once

#include <cstdint>

// What a menu command does.
enum CommandMode : int32_t {
    ResetToDefaults = 0,
    ChangeDefaults = 1,
    CompareWithDefaults = 2,
};

struct MenuCommand {
    const char* Title;
    const char* Description;
    const char* ShortName;
    CommandMode Mode;
};

// First host version that is offered the Change Defaults command.
constexpr uint32_t kChangeDefaultsMinHostVersion = 0x11000000;

// The command the host lists at a menu index, or null when there is none:
// any index of 0 or below gives the first row; index 2 is offered only to
// hosts of version kChangeDefaultsMinHostVersion or later.
const MenuCommand* FindMenuCommand(int16_t index, uint32_t menuHostVersion);

// The mode a picked menu index runs: 0 reset, 2 change (whatever the host's
// version), every other index compare.
CommandMode CommandModeForMenuIndex(int16_t index);
