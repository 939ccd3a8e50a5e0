// The controls tests use to make the host misbehave, the exported functions
// and their lookup by name, the document, region, layer and slot functions,
// and the message boxes.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <optional>
#include <new>
#include <stdexcept>
#include <thread>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "tests/sim/SimTestHelpers.h"

namespace {

using simtest::V;

sim::Score SmallScore() {
    sim::Score score;
    score.Document = 12;
    score.SetMeasures(2).SetLayers(4, {1, 3});
    score.AddStaff(3, 1, 7).AddStaff(1, 2, 7);
    score.AddEntry(3, 1, 0, 0, {sim::TupletDefinition{.Value1 = 1}});
    score.SetDefaults(sim::TupletDefinition{.Value1 = 2});
    return score;
}

using FnPtr = void*;

// Each host function called once through its C export with harmless
// arguments; returns whether the call reported success.
struct Probe {
    sim::HostFn Fn;
    std::function<bool()> Call;
};

std::vector<Probe> Probes() {
    static uint8_t buffer[64];
    static uint16_t keys[4];
    static uint32_t count;
    auto load = [] {
        const uint16_t k[4] = {1, 0, 0, 0};
        std::memcpy(keys, k, sizeof keys);
        count = 30;
        return MX_LoadKData(sim::kTupletDefaultsTag, keys, buffer, &count, V) != 0;
    };
    return {
        {sim::HostFn::LoadKData, load},
        {sim::HostFn::SaveKData,
         [] {
             const uint16_t k[4] = {1, 0, 0, 0};
             std::memcpy(keys, k, sizeof keys);
             return MX_SaveKData(sim::kTupletDefaultsTag, keys, buffer, 30, V) != 0;
         }},
        {sim::HostFn::CreateKData,
         [] {
             const uint16_t k[4] = {9, 0, 0xFFFF, 0};
             std::memcpy(keys, k, sizeof keys);
             return MX_CreateKData(sim::kTupletTag, keys, buffer, 30, V) != 0;
         }},
        {sim::HostFn::DeleteKData,
         [] {
             const uint16_t k[4] = {1, 0, 0, 0};
             std::memcpy(keys, k, sizeof keys);
             return MX_DeleteKData(sim::kTupletTag, keys, V) != 0;
         }},
        {sim::HostFn::NextKData,
         [] {
             const uint16_t k[4] = {0, 0, 0, 0};
             std::memcpy(keys, k, sizeof keys);
             return MX_NextKData(sim::kTupletTag, keys, nullptr, nullptr, V) != 0;
         }},
        {sim::HostFn::GetCurrentKovrinDocument, [] { return MX_GetCurrentKovrinDocument(V) != 0; }},
        {sim::HostFn::GetCurKRegions,
         [] { return MX_GetCurKRegions(buffer, buffer + 8, buffer + 32, V) != 0; }},
        {sim::HostFn::LoadTGF,
         [] {
             void* frame = MX_LoadTGF(nullptr, 1, 1, 0, 1, V);
             if (frame != nullptr)
                 MX_FreeTGF(frame, V);
             return frame != nullptr;
         }},
        {sim::HostFn::SlotToInst, [] { return MX_SlotToInst(1, 7, V) != 0; }},
        {sim::HostFn::InstToSlot, [] { return MX_InstToSlot(3, 0, V) != 0; }},
        {sim::HostFn::GetShowLayer, [] { return MX_GetShowLayer(0, V) != 0; }},
        {sim::HostFn::GetMaxLayers, [] { return MX_GetMaxLayers(V) != 0; }},
        {sim::HostFn::MessageBoxW,
         [] { return MessageBoxW(sim::CurrentHost()->Window(), u"t", u"c", 0) != 0; }},
        {sim::HostFn::IsWindow, [] { return IsWindow(sim::CurrentHost()->Window()) != 0; }},
    };
}

TEST(HostControls, EveryFunctionWorksThroughItsExportAndFailsWhenMadeTo) {
    for (const Probe& probe : Probes()) {
        const char* name = sim::HostFnName(probe.Fn);
        {
            sim::Host host(SmallScore());
            sim::CurrentHostScope current(host);
            EXPECT_TRUE(probe.Call()) << name << " normally succeeds";
        }
        sim::Host host(SmallScore());
        sim::CurrentHostScope current(host);
        host.Failures().SetFunctionMode(probe.Fn, sim::FunctionMode::Failing);
        EXPECT_FALSE(probe.Call()) << name << " made to fail";
        EXPECT_EQ(host.GetScore(), SmallScore()) << name << " made to fail changes nothing";
        EXPECT_EQ(host.Frames().Counts().Loaded, 0u) << name;
        const auto failed =
            std::find_if(host.Log().Calls().begin(), host.Log().Calls().end(),
                         [&](const sim::HostCall& c) { return c.Function == probe.Fn; });
        ASSERT_NE(failed, host.Log().Calls().end()) << name;
        EXPECT_EQ(failed->Outcome, sim::CallOutcome::Failed) << name;
        EXPECT_NE(sim::FindHostFunction(name), nullptr) << name << " is still found";
    }
}

TEST(HostControls, AnExceptionInTheHostGivesTheModuleTheFailureValueAndIsKept) {
    for (const bool outOfMemory : {true, false}) {
        for (const Probe& probe : Probes()) {
            const char* name = sim::HostFnName(probe.Fn);
            sim::Host host(SmallScore());
            sim::CurrentHostScope current(host);
            host.Log().OnCall = [&](const sim::HostCall&) {
                if (outOfMemory)
                    throw std::bad_alloc();
                throw std::runtime_error("the disk is on fire");
            };
            EXPECT_FALSE(probe.Call()) << name;
            // A later fault leaves the first one reported.
            if (probe.Fn == sim::HostFn::GetMaxLayers)
                MX_GetShowLayer(0, V);
            else
                MX_GetMaxLayers(V);
            ASSERT_TRUE(host.Log().Fault()) << name;
            EXPECT_STREQ(sim::HostFnName(host.Log().Fault()->Function), name);
            EXPECT_EQ(host.Log().Fault()->OutOfMemory, outOfMemory) << name;
            const std::string text = host.Log().Fault()->Describe();
            const std::string start = outOfMemory ? std::string("out of memory in ") + name
                                                  : std::string(name) + " failed inside the host";
            EXPECT_EQ(text.rfind(start, 0), 0u) << text;
            EXPECT_EQ(text.find("the disk is on fire") != std::string::npos, !outOfMemory) << text;
        }
    }
}

TEST(HostControls, WithoutACurrentHostEveryExportGivesItsFailureValue) {
    ASSERT_EQ(sim::CurrentHost(), nullptr);
    for (const Probe& probe : Probes()) {
        if (probe.Fn == sim::HostFn::MessageBoxW || probe.Fn == sim::HostFn::IsWindow)
            continue;
        EXPECT_FALSE(probe.Call()) << sim::HostFnName(probe.Fn);
    }
    EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", 0), 0);
    EXPECT_EQ(IsWindow(nullptr), 0);
}

TEST(HostControls, LookupByNameFindsTheExportsUnlessMarkedMissing) {
    sim::Host host(SmallScore());
    sim::CurrentHostScope current(host);
    void* load = sim::FindHostFunction("MX_LoadKData");
    void* exported;
    auto function = &MX_LoadKData;
    std::memcpy(&exported, &function, sizeof exported);
    EXPECT_EQ(load, exported);
    EXPECT_NE(sim::FindHostFunction("MessageBoxW"), nullptr);
    EXPECT_EQ(sim::FindHostFunction("MX_LoadKDat"), nullptr);
    EXPECT_EQ(sim::FindHostFunction("LoadKData"), nullptr);
    EXPECT_EQ(sim::FindHostFunction(nullptr), nullptr);

    host.Failures().SetFunctionMode(sim::HostFn::GetMaxLayers, sim::FunctionMode::Missing);
    EXPECT_EQ(sim::FindHostFunction("MX_GetMaxLayers"), nullptr);
    EXPECT_NE(sim::FindHostFunction("MX_GetShowLayer"), nullptr);

    EXPECT_EQ(MX_GetMaxLayers(V), 0) << "a call anyway gives the failure value";
    EXPECT_EQ(host.Log().Calls().back().Outcome, sim::CallOutcome::Missing);
    ASSERT_EQ(host.Monitor().Warnings().size(), 1u);
    EXPECT_EQ(host.Monitor().Warnings()[0],
              "the module called MX_GetMaxLayers, which the host does not export");
}

TEST(HostControls, TheNthHostCallFailsCountingOnlyTheMxFunctions) {
    sim::Host host(SmallScore());
    host.Failures().FailCall(3);
    EXPECT_EQ(host.GetMaxLayers(V), 4);                // #1
    EXPECT_EQ(host.IsWindowHandle(host.Window()), 1);  // not counted
    EXPECT_EQ(host.GetShowLayer(0, V), 1);             // #2
    EXPECT_EQ(host.SlotToInst(1, 7, V), 0);            // #3 fails
    EXPECT_EQ(host.SlotToInst(1, 7, V), 3);            // #4
    EXPECT_EQ(host.Log().CallCount(), 4u);
    EXPECT_EQ(host.Log().CallCount(sim::HostFn::SlotToInst), 2u);
    ASSERT_EQ(host.Log().Calls().size(), 5u);
    EXPECT_EQ(host.Log().Calls()[1].Number, 0u) << "window functions are not numbered";
    EXPECT_EQ(host.Log().Calls()[3].Number, 3u);
    EXPECT_EQ(host.Log().Calls()[3].Outcome, sim::CallOutcome::Failed);
    EXPECT_EQ(sim::DescribeCall(host.Log().Calls()[3]),
              "#3 MX_SlotToInst(slot 1, scope 7, 0x19000000) = 0  [made to fail]");
}

TEST(HostControls, ARecordOrAWholeTagCanBeMadeToFailLoadingOrSaving) {
    sim::Host host(SmallScore());
    uint8_t buffer[30];
    uint32_t count = 30;
    uint16_t defaults[4] = {1, 0, 0, 0};
    uint16_t tuplet[4] = {1, 0, 0, 0};
    host.Failures().FailLoad(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys);
    host.Failures().FailLoad(sim::MakeTag('z', 'z', 'z', 'z'));
    EXPECT_EQ(host.LoadKData(sim::kTupletDefaultsTag, defaults, buffer, &count, V), 0);
    EXPECT_EQ(host.LoadKData(sim::kTupletTag, tuplet, buffer, &count, V), 1);
    EXPECT_FALSE(host.Failures().LoadFailureFired(sim::kTupletTag, std::nullopt));
    host.Failures().FailLoad(sim::kTupletTag);
    EXPECT_EQ(host.LoadKData(sim::kTupletTag, tuplet, buffer, &count, V), 0);

    host.Failures().FailSave(sim::kTupletTag, sim::Keys{1, 0, 0, 0});
    host.Failures().FailSave(sim::kTupletTag, sim::Keys{2, 0, 0, 0});
    EXPECT_EQ(host.SaveKData(sim::kTupletTag, tuplet, buffer, 30, V), 0);
    EXPECT_EQ(host.SaveKData(sim::kTupletDefaultsTag, defaults, buffer, 30, V), 1);

    // Which of them changed a call.
    EXPECT_TRUE(
        host.Failures().LoadFailureFired(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys));
    EXPECT_TRUE(host.Failures().LoadFailureFired(sim::kTupletTag, std::nullopt));
    EXPECT_FALSE(host.Failures().LoadFailureFired(sim::MakeTag('z', 'z', 'z', 'z'), std::nullopt));
    EXPECT_TRUE(host.Failures().SaveFailureFired(sim::kTupletTag, sim::Keys{1, 0, 0, 0}));
    EXPECT_FALSE(host.Failures().SaveFailureFired(sim::kTupletTag, sim::Keys{2, 0, 0, 0}));
}

TEST(HostControls, TheCurrentDocumentCanBeSwitched) {
    sim::Host host(SmallScore());
    EXPECT_EQ(host.GetCurrentKovrinDocument(V), 12);
    host.SetCurrentDocument(-3);
    EXPECT_EQ(host.GetCurrentKovrinDocument(V), -3);
}

TEST(HostControls, AFunctionCanGiveAnOddAnswerToEveryCall) {
    struct Case {
        sim::HostFn Fn;
        std::function<int()> Call;
    };
    const Case cases[] = {
        {sim::HostFn::GetMaxLayers, [] { return MX_GetMaxLayers(V); }},
        {sim::HostFn::GetShowLayer, [] { return MX_GetShowLayer(1, V); }},
        {sim::HostFn::SlotToInst, [] { return MX_SlotToInst(1, 7, V); }},
        {sim::HostFn::InstToSlot, [] { return MX_InstToSlot(3, 0, V); }},
        {sim::HostFn::GetCurrentKovrinDocument, [] { return MX_GetCurrentKovrinDocument(V); }},
    };
    for (const Case& c : cases) {
        for (int16_t value : {int16_t{-32768}, int16_t{-1}, int16_t{0}, int16_t{32767}}) {
            sim::Host host(SmallScore());
            sim::CurrentHostScope current(host);
            host.SetAnswer(c.Fn, value);
            EXPECT_EQ(c.Call(), value) << sim::HostFnName(c.Fn);
        }
    }
}

TEST(HostControls, TheLastCallIsKeptWithWhetherItReturned) {
    sim::Host host(SmallScore());
    host.Log().SetRecordCalls(false);
    EXPECT_FALSE(host.Log().LastCall().Returned);
    EXPECT_FALSE(host.Log().LastCall().Running);
    std::vector<sim::LastHostCall> during;
    host.Boxes().OnBox = [&](const sim::BoxRecord&) { during.push_back(host.Log().LastCall()); };
    host.SlotToInst(2, 7, V);
    host.GetShowLayer(3, V);
    host.ShowMessageBox(host.Window(), u"t", u"c", sim::kBoxOk);
    ASSERT_EQ(during.size(), 1u);
    EXPECT_TRUE(during[0].Running) << "while the box is shown";
    EXPECT_EQ(during[0].RunningFunction, sim::HostFn::MessageBoxW);
    ASSERT_TRUE(during[0].Returned);
    EXPECT_EQ(sim::DescribeCall(*during[0].Returned), "#2 MX_GetShowLayer(layer 3, 0x19000000) = 0");
    const sim::LastHostCall after = host.Log().LastCall();
    EXPECT_FALSE(after.Running);
    ASSERT_TRUE(after.Returned);
    EXPECT_EQ(after.Returned->Function, sim::HostFn::MessageBoxW);
}

// What the module does that breaks the contract, and the first call that
// showed it, against what a host only warns about.
TEST(HostControls, BreachesOfTheContractNameTheirFirstCall) {
    constexpr uint32_t kTag = sim::kTupletDefaultsTag;
    struct Case {
        const char* Breach;  // nullptr: none
        std::function<void(sim::Host&)> Calls;
        uint64_t Call = 2;  // 0: no host call; boxes are not numbered
    };
    const Case cases[] = {
        {"MX_SaveKData of a record whose last load failed",
         [](sim::Host& host) {
             host.Failures().FailCall(1);
             uint16_t keys[4] = {1, 0, 0, 0};
             uint8_t buffer[30] = {};
             uint32_t count = 30;
             host.LoadKData(kTag, keys, buffer, &count, V);
             host.SaveKData(kTag, keys, buffer, 30, V);
         }},
        {"MX_SaveKData of more bytes than the record's last load copied",
         [](sim::Host& host) {
             uint16_t keys[4] = {1, 0, 0, 0};
             uint8_t buffer[40] = {};
             uint32_t count = 20;
             host.LoadKData(kTag, keys, buffer, &count, V);
             host.SaveKData(kTag, keys, buffer, 30, V);
         }},
        {"MX_SaveKData of a record loaded while another document was current",
         [](sim::Host& host) {
             uint16_t keys[4] = {1, 0, 0, 0};
             uint8_t buffer[30] = {};
             uint32_t count = 30;
             host.LoadKData(kTag, keys, buffer, &count, V);
             host.SetCurrentDocument(13);
             host.SaveKData(kTag, keys, buffer, 30, V);
         }},
        {"MX_InstToSlot called with a second argument of 1 instead of 0",
         [](sim::Host& host) {
             host.GetMaxLayers(V);
             host.InstToSlot(3, 1, V);
         }},
        {"a message box was shown over a window the host did not give",
         [](sim::Host& host) {
             int other = 0;
             host.GetMaxLayers(V);
             host.ShowMessageBox(&other, u"t", u"c", 0);
         },
         0},
        {"MessageBoxW given a text without a terminator in its first 4096 units",
         [](sim::Host& host) {
             const std::u16string endless(5000, u'x');
             host.ShowMessageBox(host.Window(), endless.c_str(), u"c", 0);
         },
         0},
        {"MessageBoxW given a caption without a terminator: after 3 units it runs into memory "
         "that cannot be read",
         [](sim::Host& host) {
             // Three units at the very end of a page that an unreadable one follows.
             const long page = sysconf(_SC_PAGESIZE);
             auto* pages = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
             ASSERT_NE(pages, MAP_FAILED);
             ASSERT_EQ(mprotect(pages + page, page, PROT_NONE), 0);
             const char16_t units[3] = {u'a', u'b', u'c'};
             std::memcpy(pages + page - sizeof units, units, sizeof units);
             host.ShowMessageBox(host.Window(), u"t",
                                 reinterpret_cast<const char16_t*>(pages + page - sizeof units), 0);
             EXPECT_EQ(host.Boxes().List().back().Caption, u"abc");
             munmap(pages, 2 * page);
         },
         0},
        {nullptr,
         [](sim::Host& host) {
             uint16_t keys[4] = {1, 0, 0, 0};
             uint8_t buffer[30] = {};
             uint32_t count = 30;
             host.LoadKData(kTag, keys, buffer, &count, V);
             host.SaveKData(kTag, keys, buffer, 30, V);
             host.SlotToInst(2, 0, V);                   // warned about: the region's scope
             host.ShowMessageBox(nullptr, u"Saved.", u"Probe", 0);  // no owner is allowed
             EXPECT_EQ(host.Monitor().Warnings().size(), 2u);
         }},
        // A load that failed, then one that did not: the save is of a good load.
        {nullptr,
         [](sim::Host& host) {
             host.Failures().FailCall(1);
             uint16_t keys[4] = {1, 0, 0, 0};
             uint8_t buffer[30] = {};
             uint32_t count = 30;
             host.LoadKData(kTag, keys, buffer, &count, V);
             count = 30;
             host.LoadKData(kTag, keys, buffer, &count, V);
             host.SaveKData(kTag, keys, buffer, 30, V);
         }},
    };
    for (const Case& c : cases) {
        sim::Host host(SmallScore());
        c.Calls(host);
        const auto breaches = host.Monitor().Breaches();
        if (c.Breach == nullptr) {
            EXPECT_TRUE(breaches.empty()) << breaches.front().What;
            continue;
        }
        ASSERT_EQ(breaches.size(), 1u) << c.Breach;
        EXPECT_EQ(breaches[0].What, c.Breach);
        EXPECT_EQ(breaches[0].Call, c.Call) << c.Breach;
    }
}

TEST(HostControls, SlotsStavesAndLayersFollowTheScore) {
    sim::Host host(SmallScore());
    EXPECT_EQ(host.SlotToInst(2, 7, V), 1);
    EXPECT_EQ(host.SlotToInst(3, 7, V), 0) << "no staff at slot 3";
    EXPECT_EQ(host.SlotToInst(2, 0, V), 0) << "another staff's scope";
    EXPECT_EQ(host.InstToSlot(3, 0, V), 1);
    EXPECT_EQ(host.InstToSlot(2, 0, V), 0);
    EXPECT_EQ(host.GetMaxLayers(V), 4);
    const int shown[] = {1, 0, 1, 0, 0};
    for (int16_t layer = 0; layer < 5; ++layer) {
        EXPECT_EQ(host.GetShowLayer(layer, V), shown[layer]) << "layer " << layer;
    }
    EXPECT_EQ(host.GetShowLayer(-1, V), 0);
    ASSERT_EQ(host.Monitor().Warnings().size(), 1u);
    EXPECT_EQ(host.Monitor().Warnings()[0],
              "MX_SlotToInst asked for slot 2 with scope 0; its staff has scope 7");
}

TEST(HostControls, TheCurrentSelectionFillsTheThirdArea) {
    sim::Host host(SmallScore());
    RegionRecord region{7, 1, 2, 480, 7, 2, 2, 960};
    host.SetSelection(region);
    uint8_t area8[8];
    uint8_t area24a[24];
    uint8_t area24b[24];
    std::memset(area8, 0xEE, sizeof area8);
    std::memset(area24a, 0xEE, sizeof area24a);
    std::memset(area24b, 0xEE, sizeof area24b);
    EXPECT_EQ(host.GetCurKRegions(area8, area24a, area24b, V), 1);
    EXPECT_EQ(std::memcmp(area24b, &region, 20), 0);
    for (int i = 20; i < 24; ++i)
        EXPECT_EQ(area24b[i], 0) << "byte " << i;
    for (uint8_t b : area8)
        EXPECT_EQ(b, 0);
}

// A save of fewer bytes than the record had loses the rest: a warning, not a
// breach. A record of another size that a load found and no save followed
// is one the module passed over.
TEST(HostControls, ASaveThatShortensARecordIsWarnedAboutAndRecordsFoundKeepTheirSize) {
    sim::Host host(SmallScore());
    uint16_t defaults[4] = {1, 0, 0, 0};
    uint16_t tuplet[4] = {0, 0, 0, 0};
    uint8_t buffer[30] = {};
    uint32_t count = 30;
    ASSERT_EQ(host.NextKData(sim::kTupletTag, tuplet, nullptr, nullptr, V), 1);
    host.LoadKData(sim::kTupletTag, tuplet, nullptr, &count, V);  // the size alone
    count = 30;
    host.LoadKData(sim::kTupletDefaultsTag, defaults, buffer, &count, V);
    host.SaveKData(sim::kTupletDefaultsTag, defaults, buffer, 30, V);
    EXPECT_FALSE(host.Monitor().ShorterSaveWarning()) << "the same size";
    host.SaveKData(sim::kTupletDefaultsTag, defaults, buffer, 20, V);
    host.SaveKData(sim::kTupletDefaultsTag, defaults, buffer, 10, V);
    EXPECT_EQ(host.Monitor().ShorterSaveWarning().value_or(""),
              "MX_SaveKData left a record shorter than it was, and the bytes past the count saved "
              "are lost: 'pfTP' {1,0,0,0}, 30 bytes saved as 20 (and 1 more)");
    EXPECT_TRUE(host.Monitor().Breaches().empty());
    const auto found = host.Monitor().RecordsFound();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].Key.Tag, sim::kTupletTag);
    EXPECT_EQ(found[0].Size, 30u);
    EXPECT_FALSE(found[0].SavedSince);
    EXPECT_EQ(found[1].Size, 30u) << "the size the load told, not the sizes saved since";
    EXPECT_TRUE(found[1].SavedSince);
    host.LoadKData(sim::kTupletDefaultsTag, defaults, nullptr, &count, V);  // the size alone
    EXPECT_FALSE(host.Monitor().RecordsFound()[1].SavedSince) << "passed over after its save";
}

// While a module is loaded, host functions are its to call inside the
// host's call of an export, on that call's thread: any other call gives its
// failure value without reaching the host, and the first is kept.
TEST(HostControls, HostCallsOutsideAnExportsCallAreNotCarriedOut) {
    sim::Host host(SmallScore());
    sim::CurrentHostScope current(host);
    EXPECT_EQ(MX_GetMaxLayers(V), 4) << "no module loaded, no rule";
    sim::NoteModuleLoaded();
    {
        const sim::ModuleCallScope invoke("MelvaraExtensionInvoke");
        EXPECT_EQ(MX_GetMaxLayers(V), 4);
        int16_t fromThread = -1;
        std::thread([&fromThread] { fromThread = MX_GetMaxLayers(V); }).join();
        EXPECT_EQ(fromThread, 0);
    }
    EXPECT_EQ(MX_GetMaxLayers(V), 0) << "after Invoke returned";
    {
        const sim::ModuleCallScope terminate("MelvaraExtensionTerminate", "in Terminate");
        EXPECT_EQ(MX_GetMaxLayers(V), 0);
    }
    sim::NoteModuleUnloaded();
    EXPECT_EQ(host.Log().CallCount(sim::HostFn::GetMaxLayers), 2u);
    EXPECT_EQ(sim::StrayCallCount(), 3u);
    ASSERT_TRUE(sim::FirstStrayCall());
    EXPECT_EQ(sim::FirstStrayCall()->Describe(),
              "MX_GetMaxLayers called from another thread than the one the host called "
              "MelvaraExtensionInvoke on");
}

TEST(HostControls, BoxesAreRecordedAndAnsweredFromTheScriptOrByDefault) {
    sim::Host host(SmallScore());
    std::vector<std::string> seen;
    host.Boxes().OnBox = [&](const sim::BoxRecord& box) { seen.push_back(box.CaptionUtf8()); };
    host.Boxes().ScriptAnswers({sim::kIdNo});
    void* window = host.Window();
    EXPECT_EQ(host.ShowMessageBox(window, u"Done", u"Info", sim::kBoxOk), sim::kIdOk)
        << "an OK box leaves the scripted No for a later box";
    EXPECT_EQ(host.ShowMessageBox(window, u"Copy?", u"Ask", sim::kBoxYesNo), sim::kIdNo);
    EXPECT_EQ(host.ShowMessageBox(window, u"Again?", u"Ask", sim::kBoxYesNo), sim::kIdYes)
        << "the default button of a Yes/No box";
    EXPECT_EQ(host.ShowMessageBox(window, u"Again?", u"Ask", sim::kBoxYesNo | 0x100), sim::kIdNo)
        << "the second button made the default";
    EXPECT_EQ(host.Boxes().UnusedAnswers(), 0u);
    host.Boxes().ScriptAnswers({sim::kIdRetry, sim::kIdOk});
    host.ShowMessageBox(window, u"Done", u"Info", sim::kBoxOk);
    EXPECT_EQ(host.Boxes().UnusedAnswerList(), (std::vector<int>{sim::kIdRetry, sim::kIdOk}))
        << "an answer waits behind one that no box offers";

    const auto& boxes = host.Boxes().List();
    ASSERT_EQ(boxes.size(), 5u);
    EXPECT_EQ(boxes[1].TextUtf8(), "Copy?");
    EXPECT_EQ(boxes[1].Style, sim::kBoxYesNo);
    EXPECT_TRUE(boxes[1].Scripted);
    EXPECT_FALSE(boxes[2].Scripted);
    EXPECT_TRUE(boxes[0].HostWindow);
    EXPECT_EQ(seen, (std::vector<std::string>{"Info", "Ask", "Ask", "Ask", "Info"}));
    EXPECT_TRUE(host.Monitor().Warnings().empty());
}

TEST(HostControls, ABoxThatCannotBeShownAnswersZero) {
    sim::Host host(SmallScore());
    host.Failures().SetFunctionMode(sim::HostFn::MessageBoxW, sim::FunctionMode::Failing);
    EXPECT_EQ(host.ShowMessageBox(host.Window(), u"text", u"caption", sim::kBoxYesNo), 0);
    ASSERT_EQ(host.Boxes().List().size(), 1u);
    EXPECT_FALSE(host.Boxes().List()[0].Shown);
}

TEST(HostControls, ABoxOverAnotherWindowIsWarnedAbout) {
    sim::Host host(SmallScore());
    EXPECT_EQ(host.IsWindowHandle(nullptr), 0);
    EXPECT_EQ(host.IsWindowHandle(host.Window()), 1);
    host.ShowMessageBox(nullptr, u"Stopped.", nullptr, sim::kBoxOk | sim::kBoxIconStop);
    EXPECT_EQ(host.Boxes().List()[0].Caption, u"");
    ASSERT_EQ(host.Monitor().Warnings().size(), 1u);
    EXPECT_EQ(host.Monitor().Warnings()[0], "a message box was shown over no window");
}

TEST(HostControls, TheCallLogCanBeSwitchedOffWhileCountsGoOn) {
    sim::Host host(SmallScore());
    host.Log().SetRecordCalls(false);
    int traced = 0;
    host.Log().OnCall = [&](const sim::HostCall&) { ++traced; };
    host.GetMaxLayers(V);
    host.GetMaxLayers(V);
    EXPECT_TRUE(host.Log().Calls().empty());
    EXPECT_EQ(host.Log().CallCount(), 2u);
    EXPECT_EQ(traced, 2);

    host.Log().SetRecordCalls(true, 1);
    host.GetMaxLayers(V);
    host.GetMaxLayers(V);
    EXPECT_EQ(host.Log().Calls().size(), 1u) << "no more than the limit";
    EXPECT_EQ(host.Log().CallsNotKept(), 1u);
}

TEST(HostControls, BoxStylesReadAsPeopleSeeThem) {
    EXPECT_EQ(sim::ButtonsName(0x4), "Yes/No");
    EXPECT_EQ(sim::ButtonsName(0x0), "OK");
    EXPECT_EQ(sim::ButtonsName(0x3), "Yes/No/Cancel");
    EXPECT_EQ(sim::IconName(0x10), "stop icon");
    EXPECT_EQ(sim::IconName(0x4), "no icon");
    EXPECT_EQ(sim::ParseAnswer("Yes"), sim::kIdYes);
    EXPECT_EQ(sim::ParseAnswer("try again"), sim::kIdTryAgain);
    EXPECT_EQ(sim::ParseAnswer("7"), 7);
    EXPECT_EQ(sim::ParseAnswer("maybe"), std::nullopt);
}

}  // namespace
