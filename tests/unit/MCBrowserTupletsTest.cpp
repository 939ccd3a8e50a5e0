#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCIteratorHandler.h"
#include "framework/data/MCTuplet.h"
#include "framework/music/MCBrowserTuplets.h"
#include "framework/music/MCMusicRegion.h"
#include "framework/music/MCNoteEntry.h"
#include "sim/score/Selection.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

// One call of the handler: the tuplet record as the handler saw it.
struct Visit {
    uint32_t KeyEntry = 0;
    uint16_t KeyIndex = 0;
    uint16_t KeyWord4 = 0;
    uint32_t EntryNumber = 0;  // of the attached note entry
    int32_t EntryPos = 0;
    int16_t Measure = 0;
    int16_t Staff = 0;
    sim::TupletDefinition Definition;
};

// Records every tuplet it is handed; stops the walk at call StopAt (from 1).
class RecordingHandler : public MCIteratorHandler {
public:
    bool Iterate(__MCBase* object) override {
        if (object == nullptr || std::strcmp(object->ClassName(), "MCTuplet") != 0) {
            ADD_FAILURE() << "the handler was given something other than a tuplet";
            return false;
        }
        auto* tuplet = static_cast<MCTuplet*>(object);
        Visit visit;
        visit.KeyEntry = tuplet->KeyEntryNumber();
        visit.KeyIndex = tuplet->KeyIndex();
        visit.KeyWord4 = tuplet->GetKeys()[3];
        visit.Definition = sim::TupletDefinition::FromBytes(tuplet->Definition.Bytes);
        if (MCNoteEntry* entry = tuplet->GetNoteEntry()) {
            visit.EntryNumber = entry->EntryNumber();
            visit.EntryPos = entry->EntryPos();
            visit.Measure = entry->Measure;
            visit.Staff = entry->Staff;
        } else {
            ADD_FAILURE() << "a tuplet without its note entry";
        }
        Visits.push_back(visit);
        FailuresAtVisit.push_back(mcpool::FailedAllocations());
        if (FailAnAllocation) {
            // An allocation of the handler's own that fails, and that it ignores.
            mcpool::FailAllocation(1);
            mcpool::Free(mcpool::Allocate(16), 16);
            FailAnAllocation = false;
        }
        return StopAt == 0 || static_cast<int>(Visits.size()) < StopAt;
    }
    bool IsMatch(__MCBase*) override { return true; }

    std::vector<std::pair<uint32_t, uint16_t>> Keys() const {
        std::vector<std::pair<uint32_t, uint16_t>> keys;
        for (const Visit& v : Visits) keys.emplace_back(v.KeyEntry, v.KeyIndex);
        return keys;
    }
    std::vector<int32_t> Positions() const {
        std::vector<int32_t> positions;
        for (const Visit& v : Visits) positions.push_back(v.EntryPos);
        return positions;
    }

    std::vector<Visit> Visits;
    std::vector<uint64_t> FailuresAtVisit;  // mcpool::FailedAllocations() then
    int StopAt = 0;
    bool FailAnAllocation = false;
};

RegionRecord Rect(int16_t startMeasure, int16_t endMeasure, int16_t startSlot, int16_t endSlot,
                  int32_t startPos = 0, int32_t endPos = 0x7FFFFFFF, uint16_t scope = 0) {
    return sim::RegionRect(startMeasure, startPos, endMeasure, endPos, startSlot, endSlot, scope);
}

class TupletBrowser : public SimHostTest {
protected:
    std::vector<sim::TupletDefinition> Tuplets(std::initializer_list<uint16_t> seeds) {
        std::vector<sim::TupletDefinition> tuplets;
        for (uint16_t seed : seeds) tuplets.push_back(SampleTuplet(seed));
        return tuplets;
    }

    // The walk over a region with this record.
    int32_t Walk(const RegionRecord& record) {
        MCMusicRegion region;
        region.Record = record;
        return Browser.ForEachInRegion(Handler, region);
    }

    void ExpectEveryFrameReleasedOnce() {
        EXPECT_EQ(Host.Frames().Counts().Held, 0u);
        EXPECT_EQ(Host.Frames().Counts().Freed, Host.Frames().Counts().Loaded);
        for (const sim::FrameError& error : Host.Frames().Errors())
            ADD_FAILURE() << error.Describe();
    }

    std::vector<std::pair<int16_t, int16_t>> CellsLoaded() const {
        std::vector<std::pair<int16_t, int16_t>> cells;
        for (const sim::HostCall& call : CallsOf(HostFn::LoadTGF)) {
            cells.emplace_back(call.Measure, call.Slot);
        }
        return cells;
    }

    MCBrowserTuplets Browser;
    RecordingHandler Handler;
};

TEST_F(TupletBrowser, VisitsTheCellsMeasureByMeasureThenSlotBySlot) {
    // Staves numbered apart from their slots, all with scope 4.
    Score().AddStaff(10, 1, 4).AddStaff(20, 2, 4).AddStaff(30, 3, 4).SetLayers(1).SetMeasures(2);
    RegionRecord region = Rect(1, 2, 1, 3, 0, 0x7FFFFFFF, 4);
    region.EndSlotScope = 0;  // the start scope serves every slot

    EXPECT_EQ(Walk(region), 6);
    const std::vector<std::pair<int16_t, int16_t>> expected = {{1, 1}, {1, 2}, {1, 3},
                                                               {2, 1}, {2, 2}, {2, 3}};
    EXPECT_EQ(CellsLoaded(), expected);
    for (const sim::HostCall& call : CallsOf(HostFn::SlotToInst)) {
        EXPECT_EQ(call.Scope, 4) << sim::DescribeCall(call);
    }
    EXPECT_TRUE(Handler.Visits.empty());
    ExpectEveryFrameReleasedOnce();
    EXPECT_TRUE(Host.Monitor().Warnings().empty());
}

TEST_F(TupletBrowser, AHandlerThatStopsEndsTheWalkAtOnce) {
    Score().AddStaff(10, 1).AddStaff(20, 2).AddStaff(30, 3).SetLayers(1).SetMeasures(2);
    Score().AddEntry(10, 1, 0, 0, Tuplets({1}));
    Score().AddEntry(10, 1, 0, 10, Tuplets({2, 3}));
    const uint32_t second = Score().AddEntry(20, 1, 0, 0, Tuplets({4, 5}));
    Score().AddEntry(20, 1, 0, 10, Tuplets({6}));
    Score().AddEntry(30, 1, 0, 0, Tuplets({7}));
    Score().AddEntry(10, 2, 0, 0, Tuplets({8}));
    Handler.StopAt = 4;  // the first tuplet of the second cell

    EXPECT_EQ(Walk(Rect(1, 2, 1, 3)), 1);
    ASSERT_EQ(Handler.Visits.size(), 4u);
    EXPECT_EQ(Handler.Keys().back(), std::make_pair(second, uint16_t{0}));
    EXPECT_EQ(CountOf(HostFn::LoadTGF), 2u) << "no frame is loaded after the stop";
    // Indices 0-1 and 0-2 of the first cell's entries, then the tuplet that
    // stopped the walk; nothing after it.
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 6u);
    EXPECT_EQ(loads.back().KeysIn, sim::TupletKeys(second, 0));
    ExpectEveryFrameReleasedOnce();
}

// An allocation that fails ends the walk, the browser's own (a cell, its
// entries) or the handler's: no tuplet is visited after it, and the cell
// it failed in does not count as finished.
TEST_F(TupletBrowser, AFailedAllocationEndsTheWalk) {
    Score().AddStaff(10, 1).AddStaff(20, 2).AddStaff(30, 3).SetLayers(1);
    for (int16_t staff : {10, 20, 30}) Score().AddEntry(staff, 1, 0, 0, Tuplets({1, 2}));
    const uint64_t before = mcpool::Allocations();
    ASSERT_EQ(Walk(Rect(1, 1, 1, 3)), 3);
    const uint64_t allocations = mcpool::Allocations() - before;
    ASSERT_GE(allocations, 3u) << "each cell allocates";
    for (uint64_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
        Handler.Visits.clear();
        Handler.FailuresAtVisit.clear();
        const uint64_t failures = mcpool::FailedAllocations();
        mcpool::FailAllocation(n);
        EXPECT_LT(Walk(Rect(1, 1, 1, 3)), 3);
        mcpool::FailAllocation(0);
        ASSERT_EQ(mcpool::FailedAllocations(), failures + 1);
        EXPECT_LT(Handler.Visits.size(), 6u);
        for (uint64_t seen : Handler.FailuresAtVisit) EXPECT_EQ(seen, failures);
    }

    Handler.Visits.clear();
    Handler.FailAnAllocation = true;
    EXPECT_EQ(Walk(Rect(1, 1, 1, 3)), 0);
    EXPECT_EQ(Handler.Visits.size(), 1u) << "the handler's failure ends the walk too";
    ExpectEveryFrameReleasedOnce();
}

TEST_F(TupletBrowser, EveryTupletOfAnEntryIsVisitedThenTheNextEntry) {
    Score().AddStaff(10, 1).SetLayers(1);
    const uint32_t a = Score().AddEntry(10, 1, 0, 0, Tuplets({1, 2, 3}));
    const uint32_t b = Score().AddEntry(10, 1, 0, 10, Tuplets({4}));

    EXPECT_EQ(Walk(Rect(1, 1, 1, 1)), 1);
    const std::vector<std::pair<uint32_t, uint16_t>> expected = {{a, 0}, {a, 1}, {a, 2}, {b, 0}};
    EXPECT_EQ(Handler.Keys(), expected);
    const uint16_t seeds[] = {1, 2, 3, 4};
    for (size_t i = 0; i < Handler.Visits.size(); ++i) {
        EXPECT_EQ(Handler.Visits[i].Definition, SampleTuplet(seeds[i])) << "call " << i;
    }
    // Index 3 of the first entry was asked for and is not there.
    bool askedForIndex3 = false;
    for (const sim::HostCall& call : CallsOf(HostFn::LoadKData)) {
        if (call.KeysIn == sim::TupletKeys(a, 3)) askedForIndex3 = call.Result == 0;
    }
    EXPECT_TRUE(askedForIndex3);
}

// Every index a key word can hold is a tuplet's, 0xFFFF too; the walk ends
// there, as the index cannot go further.
TEST_F(TupletBrowser, AnEntryFullToIndexFFFFIsWalkedToTheEnd) {
    Score().AddStaff(10, 1).SetLayers(1);
    const uint32_t entry = Score().AddEntry(10, 1, 0, 0, Tuplets({1}));
    for (uint32_t index = 1; index <= 0xFFFF; ++index) {
        Score().SetTuplet(entry, static_cast<uint16_t>(index), SampleTuplet(static_cast<uint16_t>(index)));
    }
    EXPECT_EQ(Walk(Rect(1, 1, 1, 1)), 1);
    ASSERT_EQ(Handler.Visits.size(), 0x10000u);
    EXPECT_EQ(Handler.Visits.back().KeyIndex, 0xFFFF);
    EXPECT_EQ(Handler.Visits.back().Definition, SampleTuplet(0xFFFF));
}

TEST_F(TupletBrowser, TheHandlerGetsTheRecordWithItsKeysAndItsNoteEntry) {
    Score().AddStaff(10, 1).SetLayers(1);
    sim::Entry entry;
    entry.Number = 0x00030005;
    entry.Flags = sim::kEntryHasTuplets | 0x3;
    entry.Position = 240;
    Score().AddEntry(sim::CellKey{1, 10, 0}, entry);
    Score().SetTuplet(0x00030005, 0, SampleTuplet(11));
    Score().SetTuplet(0x00030005, 1, SampleTuplet(12));

    EXPECT_EQ(Walk(Rect(1, 1, 1, 1)), 1);
    ASSERT_EQ(Handler.Visits.size(), 2u);
    for (uint16_t i = 0; i < 2; ++i) {
        const Visit& visit = Handler.Visits[i];
        EXPECT_EQ(visit.KeyEntry, 0x00030005u);
        EXPECT_EQ(visit.KeyIndex, i);
        EXPECT_EQ(visit.KeyWord4, 0);
        EXPECT_EQ(visit.EntryNumber, 0x00030005u);
        EXPECT_EQ(visit.EntryPos, 240);
        EXPECT_EQ(visit.Measure, 1);
        EXPECT_EQ(visit.Staff, 10);
        EXPECT_EQ(visit.Definition, SampleTuplet(static_cast<uint16_t>(11 + i)));
    }
}

TEST_F(TupletBrowser, OnlyEntriesMarkedAndWithAFirstTupletAreVisited) {
    Score().AddStaff(10, 1).SetLayers(1);
    // Marked, but its tuplets start at index 1.
    sim::Entry marked;
    marked.Flags = sim::kEntryHasTuplets;
    const uint32_t noFirst = Score().AddEntry(sim::CellKey{1, 10, 0}, marked);
    Score().SetTuplet(noFirst, 1, SampleTuplet(1));
    // Has a tuplet, but is not marked.
    const uint32_t unmarked = Score().AddEntry(sim::CellKey{1, 10, 0}, sim::Entry{});
    Score().SetTuplet(unmarked, 0, SampleTuplet(2));
    const uint32_t plain = Score().AddEntry(10, 1, 0, 0, Tuplets({3}));

    EXPECT_EQ(Walk(Rect(1, 1, 1, 1)), 1);
    EXPECT_EQ(Handler.Keys(), (std::vector<std::pair<uint32_t, uint16_t>>{{plain, 0}}));
    for (const sim::HostCall& call : CallsOf(HostFn::LoadKData)) {
        EXPECT_NE(sim::EntryNumberOf(call.KeysIn), unmarked) << sim::DescribeCall(call);
    }
}

TEST_F(TupletBrowser, TupletsInHiddenLayersAreNeverVisited) {
    Score().AddStaff(10, 1).SetLayers(3, {1});
    const uint32_t shown0 = Score().AddEntry(10, 1, 0, 0, Tuplets({1}));
    Score().AddEntry(10, 1, 1, 0, Tuplets({2}));
    const uint32_t shown2 = Score().AddEntry(10, 1, 2, 0, Tuplets({3}));

    EXPECT_EQ(Walk(Rect(1, 1, 1, 1)), 1);
    EXPECT_EQ(Handler.Keys(),
              (std::vector<std::pair<uint32_t, uint16_t>>{{shown0, 0}, {shown2, 0}}));
    std::vector<int16_t> layers;
    for (const sim::HostCall& call : CallsOf(HostFn::LoadTGF)) layers.push_back(call.Layer);
    EXPECT_EQ(layers, (std::vector<int16_t>{0, 2}));
}

TEST_F(TupletBrowser, PositionsCutTheFirstAndTheLastMeasureOnly) {
    Score().AddStaff(10, 1).SetLayers(1);
    for (int32_t pos : {99, 100, 500}) Score().AddEntry(10, 1, 0, pos, Tuplets({1}));
    for (int32_t pos : {-5, 1000}) Score().AddEntry(10, 2, 0, pos, Tuplets({2}));
    for (int32_t pos : {0, 200, 201}) Score().AddEntry(10, 3, 0, pos, Tuplets({3}));

    struct Case {
        const char* name;
        int16_t startMeasure, endMeasure;
        int32_t startPos, endPos;
        std::vector<int32_t> visited;
    };
    const Case cases[] = {
        {"three measures", 1, 3, 100, 200, {100, 500, -5, 1000, 0, 200}},
        {"start just after an entry", 1, 3, 101, 199, {500, -5, 1000, 0}},
        {"one measure, both cuts", 1, 1, 100, 100, {100}},
        {"one measure, nothing between the cuts", 1, 1, 101, 499, {}},
        {"one measure, signed start", 2, 2, -5, 999, {-5}},
        {"one measure, negative entry before 0", 2, 2, 0, 1000, {1000}},
        {"two measures", 2, 3, 1000, 200, {1000, 0, 200}},
        {"end before start in different measures", 1, 2, 500, -6, {500}},
    };
    for (const Case& c : cases) {
        Handler.Visits.clear();
        const int32_t cells = c.endMeasure - c.startMeasure + 1;
        EXPECT_EQ(Walk(Rect(c.startMeasure, c.endMeasure, 1, 1, c.startPos, c.endPos)), cells)
            << c.name;
        EXPECT_EQ(Handler.Positions(), c.visited) << c.name;
    }
}

TEST_F(TupletBrowser, AnEmptyRectangleVisitsNothing) {
    Score().AddStaff(10, 1).AddStaff(20, 2).SetLayers(1).SetMeasures(3);
    Score().AddEntry(10, 2, 0, 0, Tuplets({1}));
    struct Case {
        const char* name;
        RegionRecord region;
    };
    const Case cases[] = {
        {"start measure after end measure", Rect(3, 2, 1, 2)},
        {"start slot after end slot", Rect(1, 3, 2, 1)},
    };
    for (const Case& c : cases) {
        ForgetCalls();
        EXPECT_EQ(Walk(c.region), 0) << c.name;
        EXPECT_EQ(CountOf(HostFn::LoadTGF), 0u) << c.name;
        EXPECT_TRUE(Handler.Visits.empty()) << c.name;
    }
}

TEST_F(TupletBrowser, AnAllZeroRegionVisitsMeasureZeroOfTheStaffAtSlotZero) {
    Score().Staves.push_back(sim::Staff{7, 0, 0});
    Score().AddStaff(10, 1).SetLayers(1);
    Score().AddEntry(10, 1, 0, 0, Tuplets({1}));

    EXPECT_EQ(Browser.ForEachInRegion(Handler, MCMusicRegion{}), 1);
    const auto slots = CallsOf(HostFn::SlotToInst);
    ASSERT_EQ(slots.size(), 1u);
    EXPECT_EQ(slots[0].Slot, 0);
    EXPECT_EQ(slots[0].Result, 7);
    const auto staves = CallsOf(HostFn::InstToSlot);
    ASSERT_FALSE(staves.empty());
    for (const sim::HostCall& call : staves) EXPECT_EQ(call.Staff, 7);
    EXPECT_EQ(CellsLoaded(), (std::vector<std::pair<int16_t, int16_t>>{{0, 0}}));
    EXPECT_TRUE(Handler.Visits.empty());
}

TEST_F(TupletBrowser, FindFirstFindsNothing) {
    Score().AddStaff(10, 1).SetLayers(1);
    Score().AddEntry(10, 1, 0, 0, Tuplets({1}));
    Host.SetSelection(Rect(1, 1, 1, 1));
    EXPECT_EQ(Browser.FindFirst(Handler), nullptr);
    EXPECT_TRUE(Handler.Visits.empty());
}

TEST_F(TupletBrowser, ForEachWalksTheHostsSelection) {
    Score().AddStaff(10, 1).AddStaff(20, 2).SetLayers(1);
    Score().AddEntry(10, 1, 0, 0, Tuplets({1}));
    const uint32_t inside = Score().AddEntry(20, 1, 0, 0, Tuplets({2}));
    Host.SetSelection(Rect(1, 1, 2, 2));
    EXPECT_EQ(Browser.ForEach(Handler), 1);
    EXPECT_EQ(Handler.Keys(), (std::vector<std::pair<uint32_t, uint16_t>>{{inside, 0}}));
}

TEST_F(TupletBrowser, TupletsComeByMeasureSlotLayerEntryAndIndex) {
    Score().AddStaff(10, 1).AddStaff(20, 2).SetLayers(2);
    // Added out of order; entries keep their order within a cell.
    const std::tuple<int16_t, int16_t, int16_t> order[] = {
        {2, 20, 1}, {1, 20, 0}, {2, 10, 0}, {1, 10, 1}, {1, 10, 0},
        {2, 20, 0}, {1, 20, 1}, {2, 10, 1}, {1, 10, 0}, {2, 20, 1},
    };
    std::map<std::tuple<int16_t, int16_t, int16_t>, std::vector<uint32_t>> cells;
    uint16_t seed = 0;
    for (const auto& [measure, staff, layer] : order) {
        seed = static_cast<uint16_t>(seed + 2);
        cells[{measure, staff, layer}].push_back(
            Score().AddEntry(staff, measure, layer, 0, Tuplets({seed, uint16_t(seed + 1)})));
    }
    std::vector<std::pair<uint32_t, uint16_t>> expected;
    for (int16_t measure : {1, 2}) {
        for (int16_t staff : {10, 20}) {
            for (int16_t layer : {0, 1}) {
                for (uint32_t entry : cells[{measure, staff, layer}]) {
                    expected.emplace_back(entry, 0);
                    expected.emplace_back(entry, 1);
                }
            }
        }
    }

    EXPECT_EQ(Walk(Rect(1, 2, 1, 2)), 4);
    EXPECT_EQ(Handler.Keys(), expected);
    ExpectEveryFrameReleasedOnce();
    EXPECT_TRUE(Host.Monitor().Warnings().empty());
}

TEST_F(TupletBrowser, ARegionReachingTheLargestMeasureOrSlotEnds) {
    Host.Log().SetRecordCalls(false);
    Score().AddStaff(10, 1).SetLayers(1);
    struct Case {
        const char* name;
        RegionRecord region;
        int32_t cells;
    };
    const Case cases[] = {
        {"measures up to 32767", Rect(32700, 32767, 1, 1), 68},
        {"slots up to 32767", Rect(1, 1, 32760, 32767), 8},
        {"both", Rect(32766, 32767, 32766, 32767), 4},
    };
    for (const Case& c : cases) {
        const uint64_t before = Host.Log().CallCount(HostFn::SlotToInst);
        EXPECT_EQ(Walk(c.region), c.cells) << c.name;
        EXPECT_EQ(Host.Log().CallCount(HostFn::SlotToInst) - before, static_cast<uint64_t>(c.cells))
            << c.name;
    }
    ExpectEveryFrameReleasedOnce();
}

}  // namespace
