// The names a module file exports, read from the file itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim {

// The names a module file exports, read from the file itself: the dynamic
// symbols defined in an ELF shared object, the export directory of a PE
// DLL. Either kind is read on any system. Nothing, with error set, for a
// file of neither kind or one that is cut short.
std::optional<std::vector<std::string>> ReadExportNames(const std::string& path,
                                                        std::string& error);

}  // namespace sim
