// Loading the module for a check, and the commands its menu offers.
#include "sim/validate/CheckContext.h"

#include "sim/module/Menu.h"

namespace sim {

std::optional<CheckResult> CheckContext::LoadModule() {
    SetWhere("loading " + Settings.ModulePath);
    std::string error;
    if (!Loaded.Load(Settings.ModulePath, error))
        return Skipped("the module does not load (" + error + ")");
    return std::nullopt;
}

std::vector<int16_t> CheckContext::MenuIndexes(uint32_t hostVersion) {
    SetWhere("reading the menu");
    std::vector<int16_t> indexes;
    for (const MenuEntry& entry : ReadMenu(Loaded, hostVersion))
        indexes.push_back(entry.Index);
    return indexes;
}

std::optional<CheckResult> CheckContext::LoadForCommands(std::vector<int16_t>& indexes) {
    if (auto skip = LoadModule())
        return skip;
    indexes = MenuIndexes();
    if (indexes.empty())
        return Skipped("the module offers no command");
    return std::nullopt;
}

}  // namespace sim
