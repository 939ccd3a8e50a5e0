// melvara-sim: stands in for the host. Loads a plug-in module by file through
// its seven exports and drives it.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "sim/Menu.h"
#include "sim/ModuleLoader.h"

namespace {

constexpr const char* kUsage =
    "usage: melvara-sim menu --module PATH [--host-version V]\n"
    "\n"
    "  menu   load the module and list its commands in the 8-bit and UTF-16\n"
    "         menu records, as the host enumerates them\n"
    "\n"
    "options:\n"
    "  --module PATH      the plug-in module file (.so on Linux)\n"
    "  --host-version V   host version given to the module (default 0x19000000)\n"
    "  --help             this text\n";

bool ParseVersion(const std::string& text, uint32_t& version) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 0);
    if (text.empty() || *end != 0 || value > 0xFFFFFFFFull) return false;
    version = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::cout << kUsage;
        return argc < 2 ? 2 : 0;
    }
    const std::string command = argv[1];
    std::string modulePath;
    uint32_t hostVersion = 0x19000000;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc) {
            std::cerr << "melvara-sim: " << option << " needs a value\n";
            return 2;
        }
        const std::string value = argv[++i];
        if (option == "--module") {
            modulePath = value;
        } else if (option == "--host-version") {
            if (!ParseVersion(value, hostVersion)) {
                std::cerr << "melvara-sim: --host-version: not a 32-bit number: " << value << "\n";
                return 2;
            }
        } else {
            std::cerr << "melvara-sim: unknown option " << option << "\n" << kUsage;
            return 2;
        }
    }
    if (command != "menu") {
        std::cerr << "melvara-sim: unknown command " << command << "\n" << kUsage;
        return 2;
    }
    if (modulePath.empty()) {
        std::cerr << "melvara-sim: menu needs --module PATH\n";
        return 2;
    }
    sim::LoadedModule module;
    std::string error;
    if (!module.Load(modulePath, error)) {
        std::cerr << "melvara-sim: " << error << "\n";
        return 1;
    }
    sim::PrintMenu(std::cout, sim::ReadMenu(module, hostVersion), hostVersion);
    return 0;
}
