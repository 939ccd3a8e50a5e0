// Loads the built module by file, as the host does, and reads its menu
// through the exports.
#include <gtest/gtest.h>

#include <fstream>

#include "sim/module/Menu.h"
#include "sim/module/ModuleLoader.h"

#ifndef MELVARA_MODULE_PATH
#error "MELVARA_MODULE_PATH must name the built module"
#endif

namespace {

TEST(ModuleLoad, MenuThroughTheExports) {
    struct Case {
        uint32_t hostVersion;
        size_t commands;
    };
    for (const Case c : {Case{0x10FFFFFF, 2}, Case{0x11000000, 3}}) {
        sim::LoadedModule module;
        std::string error;
        ASSERT_TRUE(module.Load(MELVARA_MODULE_PATH, error)) << error;
        const auto menu = sim::ReadMenu(module, c.hostVersion);
        ASSERT_EQ(menu.size(), c.commands) << std::hex << c.hostVersion;
        EXPECT_EQ(sim::FieldText(menu[0].Narrow.Title, 64), "QV Tuplets - Reset to Defaults");
        EXPECT_EQ(sim::FieldText(menu[1].Wide.Title, 128), "QV Tuplets - Compare with Defaults...");
        EXPECT_EQ(sim::FieldText(menu[1].Wide.Description, 128),
                  "Reports differences between region's tuplets and the Default Tu");
        if (c.commands == 3) {
            EXPECT_EQ(sim::FieldText(menu[2].Narrow.ShortName, 64), "Change Tuplet Defaults");
        }
        EXPECT_EQ(module.GetMenuStatus(nullptr), 1);
        module.Terminate();
    }
}

TEST(ModuleLoad, AFileThatIsNoModuleIsReported) {
    sim::LoadedModule module;
    std::string error;
    EXPECT_FALSE(module.Load("/nonexistent/qvzevedovuvedoza64.so", error));
    EXPECT_NE(error.find("cannot load"), std::string::npos) << error;
}

// A file of the first bytes of a module: ELF of a class, or a DOS stub
// pointing at a PE header of a machine.
std::string ModuleHead(const std::string& kind) {
    std::string head(128, '\0');
    if (kind == "elf64" || kind == "elf32") {
        head.replace(0, 5, std::string("\x7F" "ELF") + (kind == "elf64" ? '\2' : '\1'));
        return head;
    }
    head.replace(0, 2, "MZ");
    head[0x3C] = 0x40;
    const std::string machine = kind == "pe64" ? "\x64\x86" : "\x4C\x01";
    head.replace(0x40, 6, std::string("PE\0\0", 4) + machine);
    return head;
}

// A module of the other system, or of 32 bits, is refused with the program
// that loads it, before the system's loader says "invalid ELF header".
TEST(ModuleLoad, AModuleOfAnotherKindIsRefusedNamingTheToolToUse) {
    const struct {
        const char* Kind;
        const char* Reason;
    } cases[] = {
        {"pe64", ".mxt is a Windows module (.mxt): melvara-sim loads Linux modules (.so); use "
                 "MELVARA.EXE, under Wine: xvfb-run -a wine MELVARA.EXE validate --module "},
        {"pe32", ".mxt is a 32-bit module: the host loads 64-bit modules only"},
        {"elf32", ".mxt is a 32-bit module"},
        {"elf64", "cannot load"},  // this program's kind: the loader's own word
    };
    for (const auto& c : cases) {
        const std::string path = testing::TempDir() + "/" + c.Kind + ".mxt";
        std::ofstream(path, std::ios::binary) << ModuleHead(c.Kind);
        sim::LoadedModule module;
        std::string error;
        EXPECT_FALSE(module.Load(path, error)) << c.Kind;
        EXPECT_NE(error.find(c.Reason), std::string::npos) << c.Kind << ": " << error;
    }
}

}  // namespace
