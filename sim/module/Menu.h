// A module's menu as the host reads it: one entry per command, from both records.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "sim/host/HostBuffer.h"
#include "sim/module/ModuleLoader.h"

namespace sim {

// Enumeration stops at this index even if a module answers every one: an
// enumeration that has not answered 0 by then never will.
constexpr int16_t kMaxMenuCommands = MELVARA_MENU_MAX_COMMANDS;

// One command as a module lists it, read from both menu records.
struct MenuEntry {
    int16_t Index = 0;
    MenuItemRecord Narrow{};
    MenuItemRecordW Wide{};
    bool NarrowFilled = false;
    bool WideFilled = false;
};

// Gives the module the host version, initialises it and enumerates its
// commands from index 0 until both records report no command. The word and
// the records are fenced host memory: an overrun of one is reported to the
// module guard as the export's fault (ModuleGuard::ReportOverrun).
std::vector<MenuEntry> ReadMenu(LoadedModule& module, uint32_t hostVersion);

// The word MelvaraExtensionInit sets bits in, named "the 32-bit word".
HostBuffer InitWord(uint32_t word);
// Reports an overrun of the buffer's fences, as the export's, to the module
// guard there is (ModuleGuard::ReportOverrun).
void CheckFences(const HostBuffer& buffer, const char* exportName);

// The menu as a user would read it, one block per command.
void PrintMenu(std::ostream& out, const std::vector<MenuEntry>& menu, uint32_t hostVersion);

// A fixed-size 8-bit field as text: up to its first zero byte.
std::string FieldText(const char* field, size_t size);
// A UTF-16 field as UTF-8: up to its first zero unit.
std::string FieldText(const char16_t* field, size_t units);

}  // namespace sim
