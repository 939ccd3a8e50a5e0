#include "plugin/CommandTable.h"

namespace {

constexpr MenuCommand kCommands[] = {
    {"QV Tuplets - Reset to Defaults",
     "Set the Default Tuplet Definition to all the tuplets in the selected region.",
     "Reset Tuplets", ResetToDefaults},
    {"QV Tuplets - Compare with Defaults...",
     "Reports differences between region's tuplets and the Default Tuplet Definition.",
     "Compare Tuplet Defaults", CompareWithDefaults},
    {"QV Tuplets - Change Defaults",
     "Change the Default Tuplet Definition to the tuplet in the selected region.",
     "Change Tuplet Defaults", ChangeDefaults},
};

}  // namespace

const MenuCommand* FindMenuCommand(int16_t index, uint32_t menuHostVersion) {
    if (index <= 0) return &kCommands[0];
    if (index == 1) return &kCommands[1];
    if (index == 2 && menuHostVersion >= kChangeDefaultsMinHostVersion) return &kCommands[2];
    return nullptr;
}

CommandMode CommandModeForMenuIndex(int16_t index) {
    if (index == 0) return ResetToDefaults;
    if (index == 2) return ChangeDefaults;
    return CompareWithDefaults;
}
