// The floor of the benchmarks makes exactly the module's host calls: the
// same functions, arguments and results in the same order, message boxes
// included, for each command over regions that cut cells, layers and
// positions, and when the host refuses frames or the defaults.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "bench/BenchPlatform.h"
#include "bench/Floor.h"
#include "framework/host/HostFunctions.h"
#include "plugin/MelvaraExtension.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/score/ScoreGenerator.h"
#include "sim/score/Selection.h"

namespace {

using Floor = benchfloor::FloorCounts (*)(const benchfloor::HostFunctions&, void*, const RegionRecord&);

struct Command {
    const char* Name;
    int16_t MenuIndex;
    Floor Run;
};

const Command kCommands[] = {
    {"reset", 0, &benchfloor::Reset},
    {"compare", 1, &benchfloor::Compare},
    {"change", 2, &benchfloor::Change},
};

RegionRecord Region(int16_t startMeasure, int32_t startPos, int16_t startSlot, int16_t endMeasure,
                    int32_t endPos, int16_t endSlot) {
    return sim::RegionRect(startMeasure, startPos, endMeasure, endPos, startSlot, endSlot);
}

struct Case {
    std::string Name;
    sim::Score Score;
    RegionRecord Region;
    std::function<void(sim::Host&)> Controls;
};

// Every call the host saw, one line each, and the boxes' captions.
std::vector<std::string> CallsOf(const sim::Host& host) {
    std::vector<std::string> lines;
    for (const sim::HostCall& call : host.Log().Calls()) lines.push_back(sim::DescribeCall(call));
    return lines;
}

class FloorCalls : public ::testing::Test {
protected:
    FloorCalls() { benchplatform::SetBoxesGoToHost(true); }
    ~FloorCalls() override {
        benchplatform::SetBoxesGoToHost(false);
        host::ForgetBinding();
    }

    std::vector<std::string> ModuleCalls(const Case& c, const Command& command) {
        sim::Host host(c.Score);
        if (c.Controls) c.Controls(host);
        sim::CurrentHostScope scope(host);
        host::ForgetBinding();
        MelvaraExtensionVersion(0x19000000);
        RegionRecord region = c.Region;
        MelvaraExtensionInvoke(host.Window(), command.MenuIndex, &region);
        return CallsOf(host);
    }

    std::vector<std::string> FloorCallsOf(const Case& c, const Command& command,
                                          benchfloor::FloorCounts& counts) {
        sim::Host host(c.Score);
        if (c.Controls) c.Controls(host);
        sim::CurrentHostScope scope(host);
        benchfloor::HostFunctions functions;
        EXPECT_TRUE(functions.Find(&benchplatform::FindHostFunction));
        counts = command.Run(functions, host.Window(), c.Region);
        return CallsOf(host);
    }

    void ExpectSameCalls(const Case& c) {
        for (const Command& command : kCommands) {
            SCOPED_TRACE(c.Name + ", " + command.Name);
            const std::vector<std::string> module = ModuleCalls(c, command);
            benchfloor::FloorCounts counts;
            const std::vector<std::string> floor = FloorCallsOf(c, command, counts);
            ASSERT_FALSE(module.empty());
            const size_t common = std::min(module.size(), floor.size());
            for (size_t i = 0; i < common; ++i) {
                ASSERT_EQ(floor[i], module[i]) << "first difference at call " << i + 1;
            }
            EXPECT_EQ(floor.size(), module.size());
        }
    }
};

sim::Score Generated(double share, uint64_t seed) {
    sim::GeneratorOptions options;
    options.Measures = 3;
    options.Staves = 3;
    options.Layers = 4;
    options.Entries = 5;
    options.TupletShare = share;
    options.Seed = seed;
    return sim::GenerateScore(options);
}

// A score whose only tuplet is on an entry of measure 3, slot 3, layer 2.
sim::Score OneTuplet() {
    sim::Score score = Generated(0.0, 4);
    sim::Entry& entry = score.Cells.at(sim::CellKey{3, 3, 1}).at(2);
    entry.Flags |= sim::kEntryHasTuplets;
    score.SetTuplet(entry.Number, 0, *score.Defaults());
    return score;
}

TEST_F(FloorCalls, WholeScoreAndCutRegions) {
    const RegionRecord whole = Region(1, 0, 1, 3, 0x7FFFFFFF, 3);
    ExpectSameCalls({"whole score", Generated(0.4, 1), whole, nullptr});
    ExpectSameCalls({"positions cut in the first and last measure",
                     Generated(0.4, 2), Region(1, 300, 2, 3, 600, 3), nullptr});
    ExpectSameCalls({"one cell", Generated(0.6, 3), Region(2, 0, 2, 2, 0x7FFFFFFF, 2), nullptr});
    ExpectSameCalls({"start after end", Generated(0.4, 1), Region(3, 0, 1, 2, 0, 3), nullptr});
    ExpectSameCalls({"slots beyond the score", Generated(0.4, 5), Region(1, 0, 2, 1, 0x7FFFFFFF, 5),
                     nullptr});
}

TEST_F(FloorCalls, HiddenLayersOneTupletAndNone) {
    sim::Score hidden = Generated(0.5, 6);
    hidden.HiddenLayers = {0, 2};
    const RegionRecord whole = Region(1, 0, 1, 3, 0x7FFFFFFF, 3);
    ExpectSameCalls({"hidden layers", hidden, whole, nullptr});
    ExpectSameCalls({"one tuplet", OneTuplet(), whole, nullptr});
    ExpectSameCalls({"no tuplet", Generated(0.0, 7), whole, nullptr});
}

TEST_F(FloorCalls, RefusedFramesDefaultsAndDocument) {
    const RegionRecord whole = Region(1, 0, 1, 3, 0x7FFFFFFF, 3);
    ExpectSameCalls({"frames refused", Generated(0.5, 8), whole, [](sim::Host& host) {
                         host.Failures().SetFunctionMode(sim::HostFn::LoadTGF,
                                                         sim::FunctionMode::Failing);
                     }});
    ExpectSameCalls({"the 20th host call refused", Generated(0.5, 8), whole,
                     [](sim::Host& host) { host.Failures().FailCall(20); }});
    sim::Score noDefaults = Generated(0.5, 9);
    noDefaults.RemoveRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys);
    ExpectSameCalls({"defaults missing", noDefaults, whole, nullptr});
    ExpectSameCalls({"a supplement part missing", OneTuplet(), whole,
                     [](sim::Host& host) { host.Failures().FailLoad(sim::PartTag('6', '9')); }});
    ExpectSameCalls({"tuplet saves refused", Generated(0.5, 10), whole,
                     [](sim::Host& host) { host.Failures().FailSave(sim::kTupletTag); }});
}

TEST_F(FloorCalls, FloorCountsWhatItVisits) {
    sim::GeneratedCounts generated;
    sim::GeneratorOptions options;
    options.Measures = 2;
    options.Staves = 2;
    options.Layers = 3;
    options.Entries = 4;
    options.TupletShare = 0.5;
    const Case c{"counts", sim::GenerateScore(options, &generated), Region(1, 0, 1, 2, 0x7FFFFFFF, 2),
                 nullptr};
    benchfloor::FloorCounts counts;
    FloorCallsOf(c, kCommands[1], counts);
    EXPECT_EQ(counts.Cells, 4);
    EXPECT_EQ(static_cast<uint64_t>(counts.Entries), generated.Entries);
    EXPECT_EQ(static_cast<uint64_t>(counts.Tuplets), generated.Tuplets);
}

}  // namespace
