// Reading a module's menu from both records, and printing it for people.
#include "sim/module/Menu.h"

#include <cstring>

#include "sim/module/ModuleGuard.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

std::string Describe(const char* field, size_t size) {
    std::string text = FieldText(field, size);
    std::string shown = "\"" + text + "\"";
    if (text.size() == size) shown += "  (" + std::to_string(size) + " bytes, no terminator)";
    return shown;
}

std::string Describe(const char16_t* field, size_t units) {
    std::string shown = "\"" + FieldText(field, units) + "\"";
    size_t length = 0;
    while (length < units && field[length] != 0) ++length;
    shown += "  (" + std::to_string(length) + " units)";
    return shown;
}

}  // namespace

std::string FieldText(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

std::string FieldText(const char16_t* field, size_t units) {
    size_t length = 0;
    while (length < units && field[length] != 0) ++length;
    return Utf16ToUtf8(std::u16string(field, length));
}

HostBuffer InitWord(uint32_t word) {
    return HostBuffer(&word, sizeof word, "the 32-bit word", true);
}

void CheckFences(const HostBuffer& buffer, const char* exportName) {
    if (const std::optional<std::string> breach = buffer.Breach())
        ModuleGuard::ReportOverrun(exportName, *breach);
}

std::vector<MenuEntry> ReadMenu(LoadedModule& module, uint32_t hostVersion) {
    const auto& exports = LoadedModule::ExportNames();
    module.Version(hostVersion);
    const HostBuffer word = InitWord(0);
    module.Init(nullptr, word.As<uint32_t>());
    CheckFences(word, exports[1]);

    std::vector<MenuEntry> menu;
    for (int16_t index = 0; index < kMaxMenuCommands; ++index) {
        MenuEntry entry;
        entry.Index = index;
        const HostBuffer narrow = HostBuffer::ForRecord(entry.Narrow);
        entry.NarrowFilled = module.Enumerate(nullptr, index, narrow.As<MenuItemRecord>()) != 0;
        CheckFences(narrow, exports[2]);
        entry.Narrow = narrow.Copy<MenuItemRecord>();
        const HostBuffer wide = HostBuffer::ForRecord(entry.Wide);
        entry.WideFilled = module.EnumerateUtf16(nullptr, index, wide.As<MenuItemRecordW>()) != 0;
        CheckFences(wide, exports[3]);
        entry.Wide = wide.Copy<MenuItemRecordW>();
        if (!entry.NarrowFilled && !entry.WideFilled) break;
        menu.push_back(entry);
    }
    return menu;
}

void PrintMenu(std::ostream& out, const std::vector<MenuEntry>& menu, uint32_t hostVersion) {
    out << "Menu for host version " << Hex(hostVersion, 8) << ": " << menu.size()
        << (menu.size() == 1 ? " command" : " commands") << "\n";
    for (const MenuEntry& entry : menu) {
        out << "\n  [" << entry.Index << "]\n";
        if (entry.NarrowFilled) {
            out << "    8-bit   Title        " << Describe(entry.Narrow.Title, 64) << "\n"
                << "            Description  " << Describe(entry.Narrow.Description, 64) << "\n"
                << "            ShortName    " << Describe(entry.Narrow.ShortName, 64) << "\n"
                << "            ItemFlag     " << entry.Narrow.ItemFlag << "\n";
        } else {
            out << "    8-bit   (not filled)\n";
        }
        if (entry.WideFilled) {
            out << "    UTF-16  Title        " << Describe(entry.Wide.Title, 128) << "\n"
                << "            Description  " << Describe(entry.Wide.Description, 128) << "\n"
                << "            ShortName    " << Describe(entry.Wide.ShortName, 128) << "\n"
                << "            ItemFlag     " << entry.Wide.ItemFlag << "\n";
        } else {
            out << "    UTF-16  (not filled)\n";
        }
    }
}

}  // namespace sim
