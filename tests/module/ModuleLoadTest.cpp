// Loads the built module by file, as the host does, and reads its menu
// through the exports.
#include <gtest/gtest.h>

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

}  // namespace
