// What a module file says of itself: the names it exports and imports, the libraries it needs.
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

// The host functions a module file links to directly instead of finding
// them by name: in an ELF shared object the thirteen functions among its
// undefined dynamic symbols, in a PE DLL every name it imports from a
// program (a .EXE). Nothing, with error set, as above.
std::optional<std::vector<std::string>> ReadHostImports(const std::string& path,
                                                        std::string& error);

// The libraries an ELF shared object needs (DT_NEEDED), and the folders it
// names to find them (DT_RUNPATH or DT_RPATH, "$ORIGIN" made the module's
// folder); whether it calls AddressSanitizer's runtime (undefined __asan_
// symbols). Empty for a PE file, or a file that cannot be read.
struct NeededLibraries {
    std::vector<std::string> Names;
    std::vector<std::string> Folders;
    bool CallsAsan = false;
};
NeededLibraries ReadNeededLibraries(const std::string& path);

}  // namespace sim
