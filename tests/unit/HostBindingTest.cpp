#include <gtest/gtest.h>

#include "framework/host/HostFunctions.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

class HostBinding : public SimHostTest {
protected:
    // Calls every wrapper once.
    void CallEach() {
        uint16_t keys[4] = {1, 0, 0, 0};
        uint8_t buffer[32] = {};
        uint32_t count = sizeof buffer;
        host::MX_LoadKData(0x70665450, keys, buffer, &count);
        host::MX_SaveKData(0x70665450, keys, buffer, 0);
        host::MX_CreateKData(0x70665450, keys, buffer, 0);
        host::MX_DeleteKData(0x70665450, keys);
        host::MX_NextKData(0x70665450, keys);
        host::MX_GetCurrentKovrinDocument();
        uint8_t a8[8], a24[24], b24[24];
        host::MX_GetCurKRegions(a8, a24, b24);
        host::MX_FreeTGF(host::MX_LoadTGF(1, 1, 0, 1));
        host::MX_SlotToInst(1, 0);
        host::MX_InstToSlot(1);
        host::MX_GetShowLayer(0);
        host::MX_GetMaxLayers();
    }
};

TEST_F(HostBinding, EachFunctionIsLookedUpOnceAndEveryCallCarriesTheVersion) {
    Score().AddStaff(1, 1).SetMeasures(1);
    CallEach();
    CallEach();
    const auto& lookups = testplatform::Current().ProcLookups;
    EXPECT_EQ(lookups.size(), 13u);
    for (const auto& [name, count] : lookups) EXPECT_EQ(count, 1) << name;
    EXPECT_EQ(testplatform::Current().ModuleLookups.at("MELVARA.EXE"), 1);
    EXPECT_EQ(Calls().size(), 26u);
    for (const sim::HostCall& call : Calls()) {
        EXPECT_EQ(call.Version, 0x19000000u) << sim::DescribeCall(call);
    }
}

TEST_F(HostBinding, AMissingFunctionIsLookedUpOnceAndAnswersAsAFailedCall) {
    for (int fn = 0; fn <= static_cast<int>(HostFn::GetMaxLayers); ++fn) {
        Host.Failures().SetFunctionMode(static_cast<HostFn>(fn), sim::FunctionMode::Missing);
    }
    host::ForgetBinding();
    Score().AddStaff(1, 1).SetMeasures(1);
    Score().SetDefaults(SampleTuplet(1));

    uint16_t keys[4] = {1, 0, 0, 0};
    uint8_t buffer[30] = {};
    uint32_t count = sizeof buffer;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(host::MX_LoadKData(0x70665450, keys, buffer, &count), 0);
        EXPECT_EQ(host::MX_SaveKData(0x70665450, keys, buffer, 30), 0);
        EXPECT_EQ(host::MX_CreateKData(0x70665450, keys, buffer, 30), 0);
        EXPECT_EQ(host::MX_DeleteKData(0x70665450, keys), 0);
        EXPECT_EQ(host::MX_NextKData(0x70665450, keys), 0);
        EXPECT_EQ(host::MX_GetCurrentKovrinDocument(), 0);
        uint8_t a8[8], a24[24], b24[24];
        EXPECT_FALSE(host::MX_GetCurKRegions(a8, a24, b24));
        EXPECT_EQ(host::MX_LoadTGF(1, 1, 0, 1), nullptr);
        host::MX_FreeTGF(&count);  // nothing happens
        EXPECT_EQ(host::MX_SlotToInst(1, 0), 0);
        EXPECT_EQ(host::MX_InstToSlot(1), 0);
        EXPECT_EQ(host::MX_GetShowLayer(0), 0);
        EXPECT_EQ(host::MX_GetMaxLayers(), 4);
    }
    EXPECT_TRUE(Calls().empty());
    for (const auto& [name, lookups] : testplatform::Current().ProcLookups) {
        EXPECT_EQ(lookups, 1) << name;
    }
}

TEST_F(HostBinding, TheDemoProgramIsTheSecondPlaceToLook) {
    auto& platform = testplatform::Current();
    platform.Modules.erase("MELVARA.EXE");
    static int demo = 0;
    platform.Modules["MELDEMO.EXE"] = &demo;
    Score().AddStaff(7, 1);
    EXPECT_EQ(host::MX_SlotToInst(1, 0), 7);
    EXPECT_EQ(platform.ModuleLookups.at("MELVARA.EXE"), 1);
    EXPECT_EQ(platform.ModuleLookups.at("MELDEMO.EXE"), 1);
}

// A renamed or newer host program: neither name finds a module, and the
// empty handle, which stands for the main program, finds its functions.
TEST_F(HostBinding, UnderAnyOtherNameTheMainProgramsFunctionsAreBound) {
    auto& platform = testplatform::Current();
    platform.Modules.clear();
    Score().AddStaff(7, 1);
    EXPECT_EQ(host::MX_SlotToInst(1, 0), 7);
    EXPECT_EQ(platform.ProcLookups.at("MX_SlotToInst"), 1);
    EXPECT_EQ(platform.ModuleLookups.at("MELVARA.EXE"), 1);
    EXPECT_EQ(platform.ModuleLookups.at("MELDEMO.EXE"), 1);
    EXPECT_EQ(Calls().size(), 1u);
}

TEST_F(HostBinding, AHostProgramThatExportsNothingLeavesEveryFunctionMissing) {
    auto& platform = testplatform::Current();
    platform.Modules.clear();
    platform.Resolve = [](void*, const char*) -> void* { return nullptr; };
    Score().AddStaff(7, 1);
    EXPECT_EQ(host::MX_SlotToInst(1, 0), 0);
    EXPECT_EQ(host::MX_GetMaxLayers(), 4);
    EXPECT_EQ(host::MX_SlotToInst(1, 0), 0);
    // The empty module and the missing addresses are cached too.
    EXPECT_EQ(platform.ModuleLookups.at("MELVARA.EXE"), 1);
    EXPECT_EQ(platform.ModuleLookups.at("MELDEMO.EXE"), 1);
    EXPECT_EQ(platform.ProcLookups.at("MX_SlotToInst"), 1);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(HostBinding, SixteenBitResultsAreWidenedWithSign) {
    Score().AddStaff(-3, 1);
    EXPECT_EQ(host::MX_SlotToInst(1, 0), -3);
}

}  // namespace
