#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/core/MCBlockPool.h"
#include "framework/core/MCIteratorHandler.h"
#include "framework/music/MCNoteEntry.h"
#include "framework/music/MCNoteEntryCell.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

constexpr int16_t kStaff = 5;
constexpr int16_t kSlot = 2;

std::vector<uint32_t> NumbersOf(const MCNoteEntryCell& cell) {
    std::vector<uint32_t> numbers;
    for (int32_t i = 0; i < cell.GetCount(); ++i) {
        numbers.push_back(cell.GetEntryAt(i)->EntryNumber());
    }
    return numbers;
}

std::vector<int16_t> LayersAsked(const std::vector<sim::HostCall>& loads) {
    std::vector<int16_t> layers;
    for (const sim::HostCall& call : loads) layers.push_back(call.Layer);
    return layers;
}

// The cell whose entries the replaced MX_FreeTGF looks at, and what it saw.
const MCNoteEntryCell* watchedCell = nullptr;
std::vector<int32_t> entriesAtFree;

void FreeTGFWatchingEntries(void* frame, uint32_t version) {
    entriesAtFree.push_back(watchedCell != nullptr ? watchedCell->GetCount() : -1);
    ::MX_FreeTGF(frame, version);
}

// Staff 5 at slot 2, four layers of which 1 and 3 are hidden, and entries in
// every layer of measure 1.
class NoteEntryCell : public SimHostTest {
protected:
    NoteEntryCell() {
        Score().AddStaff(kStaff, kSlot).SetLayers(4, {1, 3}).SetMeasures(2);
        for (int16_t layer = 0; layer < 4; ++layer) {
            const int count = layer == 1 || layer == 3 ? 1 : 2;
            for (int i = 0; i < count; ++i) {
                Numbers[layer].push_back(Score().AddEntry(kStaff, 1, layer, 10 * i));
            }
        }
        watchedCell = nullptr;
        entriesAtFree.clear();
    }

    std::vector<uint32_t> NumbersOfLayers(std::initializer_list<int16_t> layers) {
        std::vector<uint32_t> numbers;
        for (int16_t layer : layers) {
            numbers.insert(numbers.end(), Numbers[layer].begin(), Numbers[layer].end());
        }
        return numbers;
    }

    void ExpectEveryFrameReleasedOnce() {
        EXPECT_EQ(Host.Frames().Counts().Held, 0u);
        EXPECT_EQ(Host.Frames().Counts().Freed, Host.Frames().Counts().Loaded);
        for (const sim::FrameError& error : Host.Frames().Errors())
            ADD_FAILURE() << error.Describe();
    }

    std::map<int16_t, std::vector<uint32_t>> Numbers;
};

TEST_F(NoteEntryCell, ShownLayersLeaveTheHiddenOnesWithoutFrame) {
    {
        MCNoteEntryCell cell(1, kStaff);
        ASSERT_TRUE(cell.Load());
        EXPECT_NE(cell.Frames[0], nullptr);
        EXPECT_EQ(cell.Frames[1], nullptr);
        EXPECT_NE(cell.Frames[2], nullptr);
        EXPECT_EQ(cell.Frames[3], nullptr);
        EXPECT_EQ(NumbersOf(cell), NumbersOfLayers({0, 2}));
        const auto loads = CallsOf(HostFn::LoadTGF);
        ASSERT_EQ(loads.size(), 2u);
        for (const sim::HostCall& call : loads) {
            EXPECT_EQ(call.Slot, kSlot) << sim::DescribeCall(call);
            EXPECT_EQ(call.Measure, 1) << sim::DescribeCall(call);
            EXPECT_EQ(call.Option, 1) << sim::DescribeCall(call);
            EXPECT_EQ(call.Handle, nullptr) << sim::DescribeCall(call);
        }
    }
    ExpectEveryFrameReleasedOnce();
    EXPECT_TRUE(Host.Monitor().Warnings().empty());
}

TEST_F(NoteEntryCell, LayerModeChoosesTheLayersToLoad) {
    struct Case {
        int32_t mode;
        std::vector<int16_t> layers;
    };
    const Case cases[] = {
        {0, {0, 2}},         {-1, {0, 1, 2, 3}},  {-2, {1, 3}},  {-3, {}},
        {1, {0}},            {2, {1}},            {3, {2}},      {4, {3}},
        {0x500, {0, 2}},     {0x900, {0, 3}},     {0xF00, {0, 1, 2, 3}},
        {0x10200, {1}},      {0x00FF, {}},        {5, {}},       {0x1000, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("LayerMode " + std::to_string(c.mode));
        ForgetCalls();
        {
            MCNoteEntryCell cell(1, kStaff);
            cell.LayerMode = c.mode;
            cell.LoadOption = false;
            EXPECT_TRUE(cell.Load());
            const auto loads = CallsOf(HostFn::LoadTGF);
            EXPECT_EQ(LayersAsked(loads), c.layers);
            for (const sim::HostCall& call : loads) EXPECT_EQ(call.Option, 0);
            std::vector<uint32_t> expected;
            for (int16_t layer = 0; layer < 4; ++layer) {
                const bool loaded =
                    std::find(c.layers.begin(), c.layers.end(), layer) != c.layers.end();
                EXPECT_EQ(cell.Frames[layer] != nullptr, loaded) << "layer " << layer;
                if (loaded) {
                    expected.insert(expected.end(), Numbers[layer].begin(), Numbers[layer].end());
                }
            }
            EXPECT_EQ(NumbersOf(cell), expected);
        }
        EXPECT_EQ(CountOf(HostFn::FreeTGF), c.layers.size());
        ExpectEveryFrameReleasedOnce();
    }
    // A mask names layers 0 to 3 only, on a host of more layers as well.
    Score().SetLayers(5);
    ForgetCalls();
    MCNoteEntryCell cell(1, kStaff);
    cell.LayerMode = 0x1100;
    EXPECT_TRUE(cell.Load());
    EXPECT_EQ(LayersAsked(CallsOf(HostFn::LoadTGF)), (std::vector<int16_t>{0}));
}

TEST_F(NoteEntryCell, ARefusedLayerReleasesEverythingLoadedSoFar) {
    // Find the number of the third frame load of a four-layer Load.
    uint64_t offset = 0;
    {
        const uint64_t start = Host.Log().CallCount();
        MCNoteEntryCell probe(1, kStaff);
        probe.LayerMode = MCNoteEntryCell::kAllLayers;
        ASSERT_TRUE(probe.Load());
        const auto loads = CallsOf(HostFn::LoadTGF);
        ASSERT_EQ(loads.size(), 4u);
        offset = loads[2].Number - start;
    }
    ForgetCalls();
    const sim::FrameCounts before = Host.Frames().Counts();
    Host.Failures().FailCall(Host.Log().CallCount() + offset);

    MCNoteEntryCell cell(1, kStaff);
    cell.LayerMode = MCNoteEntryCell::kAllLayers;
    EXPECT_FALSE(cell.Load());
    EXPECT_EQ(cell.GetCount(), 0);
    for (void* frame : cell.Frames) EXPECT_EQ(frame, nullptr);

    const auto loads = CallsOf(HostFn::LoadTGF);
    ASSERT_EQ(loads.size(), 3u) << "no layer is asked for after the refusal";
    EXPECT_EQ(loads[2].Layer, 2);
    EXPECT_EQ(loads[2].Outcome, sim::CallOutcome::Failed);
    const auto frees = CallsOf(HostFn::FreeTGF);
    ASSERT_EQ(frees.size(), 2u);
    EXPECT_EQ(frees[0].Frame, loads[0].Frame);
    EXPECT_EQ(frees[1].Frame, loads[1].Frame);
    EXPECT_EQ(Host.Frames().Counts().Loaded - before.Loaded, 2u);
    ExpectEveryFrameReleasedOnce();

    // The cell can load again afterwards.
    EXPECT_TRUE(cell.Load());
    EXPECT_EQ(NumbersOf(cell), NumbersOfLayers({0, 1, 2, 3}));
}

TEST_F(NoteEntryCell, EntriesPointIntoTheirFrameAndNotesTenBytesApart) {
    sim::Entry chord;
    chord.Position = 480;
    for (uint8_t n = 0; n < 3; ++n) {
        sim::NoteBlock block;
        for (uint8_t b = 0; b < 10; ++b) block[b] = static_cast<uint8_t>(16 * n + b);
        chord.Notes.push_back(block);
    }
    const uint32_t chordNumber = Score().AddEntry(sim::CellKey{2, kStaff, 0}, chord);
    const uint32_t restNumber = Score().AddEntry(sim::CellKey{2, kStaff, 0}, sim::Entry{});

    MCNoteEntryCell cell(2, kStaff);
    ASSERT_TRUE(cell.Load());
    ASSERT_EQ(NumbersOf(cell), (std::vector<uint32_t>{chordNumber, restNumber}));
    MCNoteEntry* first = cell.GetEntryAt(0);
    MCNoteEntry* second = cell.GetEntryAt(1);
    EXPECT_EQ(first->Frame, cell.Frames[0]);
    EXPECT_EQ(second->EntryData - first->EntryData, 146);
    EXPECT_EQ(first->Measure, 2);
    EXPECT_EQ(first->Staff, kStaff);
    EXPECT_EQ(first->EntryPos(), 480);

    ASSERT_EQ(first->GetCount(), 3);
    for (int32_t i = 0; i < 3; ++i) {
        auto* note = static_cast<MCNote*>(first->GetItemAt(i));
        EXPECT_EQ(note->Index, i);
        EXPECT_EQ(note->Entry, first);
        EXPECT_EQ(note->NoteData, first->EntryData + 16 + 10 * i);
        EXPECT_EQ(0, std::memcmp(note->NoteData, chord.Notes[static_cast<size_t>(i)].data(), 10))
            << "note " << i;
    }
    EXPECT_EQ(second->GetCount(), 0) << "an entry with note count 0 has no notes";
}

TEST_F(NoteEntryCell, AFrameWithoutEntryRecordsGivesNoEntries) {
    MCNoteEntryCell cell(2, kStaff);  // measure 2 holds nothing
    cell.LayerMode = MCNoteEntryCell::kAllLayers;
    ASSERT_TRUE(cell.Load());
    for (int layer = 0; layer < 4; ++layer) EXPECT_NE(cell.Frames[layer], nullptr);
    EXPECT_EQ(cell.GetCount(), 0);
}

TEST_F(NoteEntryCell, PreviousAndNextStayWithinALayer) {
    MCNoteEntryCell cell(1, kStaff);
    cell.LayerMode = 0x300;  // layers 0 and 1
    ASSERT_TRUE(cell.Load());
    ASSERT_EQ(cell.GetCount(), 3);
    MCNoteEntry* a = cell.GetEntryAt(0);
    MCNoteEntry* b = cell.GetEntryAt(1);
    MCNoteEntry* c = cell.GetEntryAt(2);
    EXPECT_EQ(a->Previous, nullptr);
    EXPECT_EQ(a->Next, b);
    EXPECT_EQ(b->Previous, a);
    EXPECT_EQ(b->Next, nullptr) << "the last entry of layer 0";
    EXPECT_EQ(c->Previous, nullptr) << "the first entry of layer 1";
    EXPECT_EQ(c->Next, nullptr);
    EXPECT_EQ(c->Frame, cell.Frames[1]);
}

TEST_F(NoteEntryCell, FramesAreReleasedOnlyAfterTheEntriesAreGone) {
    ReplaceFunction("MX_FreeTGF", reinterpret_cast<void*>(&FreeTGFWatchingEntries));
    std::vector<uint64_t> loaded;
    {
        MCNoteEntryCell cell(1, kStaff);
        watchedCell = &cell;
        cell.LayerMode = MCNoteEntryCell::kAllLayers;
        ASSERT_TRUE(cell.Load());
        ASSERT_EQ(cell.GetCount(), 6);
        for (const sim::HostCall& call : CallsOf(HostFn::LoadTGF)) loaded.push_back(call.Frame);
        ForgetCalls();

        // A second Load releases the first one's frames before loading again.
        cell.LayerMode = 1;
        ASSERT_TRUE(cell.Load());
        EXPECT_EQ(entriesAtFree, (std::vector<int32_t>{0, 0, 0, 0}));
        EXPECT_EQ(cell.GetItemAt(cell.GetCount()), nullptr) << "no entry of the first Load";
        std::vector<uint64_t> freed;
        for (const sim::HostCall& call : CallsOf(HostFn::FreeTGF)) freed.push_back(call.Frame);
        EXPECT_EQ(freed, loaded);
        loaded = {CallsOf(HostFn::LoadTGF).at(0).Frame};
        ForgetCalls();
        entriesAtFree.clear();
    }
    watchedCell = nullptr;
    const auto frees = CallsOf(HostFn::FreeTGF);
    ASSERT_EQ(frees.size(), 1u) << "one release per loaded frame";
    EXPECT_EQ(frees[0].Frame, loaded[0]);
    EXPECT_EQ(entriesAtFree, (std::vector<int32_t>{0}));
    ExpectEveryFrameReleasedOnce();
}

TEST_F(NoteEntryCell, AHostWithMoreThanTwentyLayersGetsTwentyLoaded) {
    Score().SetLayers(25);
    const uint32_t inLast = Score().AddEntry(kStaff, 1, 19, 0);
    Score().AddEntry(kStaff, 1, 20, 0);
    {
        MCNoteEntryCell cell(1, kStaff);
        cell.LayerMode = MCNoteEntryCell::kAllLayers;
        ASSERT_TRUE(cell.Load());
        std::vector<int16_t> expected;
        for (int16_t layer = 0; layer < 20; ++layer) expected.push_back(layer);
        EXPECT_EQ(LayersAsked(CallsOf(HostFn::LoadTGF)), expected);
        for (void* frame : cell.Frames) EXPECT_NE(frame, nullptr);
        // The fields after Frames are as they were.
        EXPECT_EQ(cell.Measure, 1);
        EXPECT_EQ(cell.Staff, kStaff);
        EXPECT_EQ(cell.LayerMode, MCNoteEntryCell::kAllLayers);
        EXPECT_TRUE(cell.LoadOption);
        EXPECT_EQ(NumbersOf(cell).back(), inLast);
    }
    EXPECT_EQ(Host.Frames().Counts().Loaded, 20u);
    ExpectEveryFrameReleasedOnce();
}

// Layer frames laid out by the test, handed out by replaced frame functions.
struct HandFrames {
    struct Frame {
        std::array<uint8_t, 24> Header{};
        std::vector<uint8_t> Records;
        int Released = 0;
    };

    // What each layer's frame holds: the entry count word and the records.
    struct Layout {
        int16_t CountWord = 0;
        std::vector<std::array<uint8_t, 146>> Records;
    };

    std::map<int16_t, Layout> Layers;
    std::vector<std::unique_ptr<Frame>> HandedOut;
    int UnknownReleases = 0;
};
HandFrames* handFrames = nullptr;

void* HandLoadTGF(void*, int16_t, int16_t, int16_t layer, int16_t, uint32_t) {
    auto layout = handFrames->Layers.find(layer);
    if (layout == handFrames->Layers.end()) return nullptr;
    auto frame = std::make_unique<HandFrames::Frame>();
    for (const auto& record : layout->second.Records) {
        frame->Records.insert(frame->Records.end(), record.begin(), record.end());
    }
    WriteLE16(frame->Header.data() + 0, 0);       // scope
    WriteLE16(frame->Header.data() + 2, kSlot);   // slot
    WriteLE16(frame->Header.data() + 6, 3);       // measure
    uint8_t* records = frame->Records.empty() ? nullptr : frame->Records.data();
    WritePointer(frame->Header.data() + 14, records);
    WriteLE16(frame->Header.data() + 22, static_cast<uint16_t>(layout->second.CountWord));
    void* handle = frame->Header.data();
    handFrames->HandedOut.push_back(std::move(frame));
    return handle;
}

void HandFreeTGF(void* handle, uint32_t) {
    for (auto& frame : handFrames->HandedOut) {
        if (frame->Header.data() == handle) {
            ++frame->Released;
            return;
        }
    }
    ++handFrames->UnknownReleases;
}

std::array<uint8_t, 146> EntryRecordWithNoteCount(uint32_t number, int16_t noteCount) {
    std::array<uint8_t, 146> record{};
    WriteLE32(record.data(), number);
    WriteLE16(record.data() + 14, static_cast<uint16_t>(noteCount));
    return record;
}

class NoteCounter : public MCIteratorHandler {
public:
    bool Iterate(__MCBase*) override { return true; }
};

class HandMadeFrames : public NoteEntryCell {
protected:
    HandMadeFrames() {
        handFrames = &Frames;
        ReplaceFunction("MX_LoadTGF", reinterpret_cast<void*>(&HandLoadTGF));
        ReplaceFunction("MX_FreeTGF", reinterpret_cast<void*>(&HandFreeTGF));
    }
    ~HandMadeFrames() override { handFrames = nullptr; }

    void ExpectEachHandMadeFrameReleasedOnce() {
        for (size_t i = 0; i < Frames.HandedOut.size(); ++i) {
            EXPECT_EQ(Frames.HandedOut[i]->Released, 1) << "frame " << i;
        }
        EXPECT_EQ(Frames.UnknownReleases, 0);
    }

    HandFrames Frames;
};

TEST_F(HandMadeFrames, ANegativeEntryCountGivesNoEntries) {
    for (int16_t countWord : {int16_t{-1}, int16_t{-32768}}) {
        SCOPED_TRACE("count " + std::to_string(countWord));
        Frames = HandFrames{};
        Frames.Layers[0] = {countWord, {EntryRecordWithNoteCount(1, 1)}};
        Frames.Layers[2] = {1, {EntryRecordWithNoteCount(2, 1)}};
        {
            MCNoteEntryCell cell(1, kStaff);
            ASSERT_TRUE(cell.Load());
            EXPECT_NE(cell.Frames[0], nullptr);
            EXPECT_EQ(NumbersOf(cell), (std::vector<uint32_t>{2}));
        }
        EXPECT_EQ(Frames.HandedOut.size(), 2u);
        ExpectEachHandMadeFrameReleasedOnce();
    }
}

TEST_F(HandMadeFrames, TheNoteCountIsHeldToWhatTheRecordHasRoomFor) {
    struct Case {
        int16_t countWord;
        int32_t notes;
    };
    const Case cases[] = {{-1, 0}, {-32768, 0}, {0, 0}, {1, 1}, {12, 12}, {13, 12}, {32767, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE("note count " + std::to_string(c.countWord));
        Frames = HandFrames{};
        Frames.Layers[0] = {
            2, {EntryRecordWithNoteCount(7, c.countWord), EntryRecordWithNoteCount(8, 1)}};
        {
            MCNoteEntryCell cell(1, kStaff);
            cell.LayerMode = 1;
            ASSERT_TRUE(cell.Load());
            ASSERT_EQ(NumbersOf(cell), (std::vector<uint32_t>{7, 8}));
            MCNoteEntry* entry = cell.GetEntryAt(0);
            EXPECT_EQ(entry->GetCount(), c.notes);
            const uint64_t allocations = mcpool::Allocations();
            EXPECT_EQ(entry->GetCount(), c.notes);
            EXPECT_EQ(mcpool::Allocations(), allocations) << "the notes are built once";
            EXPECT_TRUE(entry->LoadNotes());
            EXPECT_EQ(entry->GetCount(), c.notes) << "built again, not added again";
            EXPECT_EQ(entry->Measure, 3) << "the frame's measure";
            EXPECT_EQ(entry->Staff, kStaff) << "the staff of the frame's slot";
            for (int32_t i = 0; i < entry->GetCount(); ++i) {
                auto* note = static_cast<MCNote*>(entry->GetItemAt(i));
                EXPECT_LE(note->NoteData + 10, entry->EntryData + 136) << "note " << i;
            }
            // A walk over the notes builds them first too.
            NoteCounter notes;
            EXPECT_EQ(cell.GetEntryAt(1)->ForEach(notes), 1);
            EXPECT_EQ(cell.GetEntryAt(1)->GetCount(), 1);
        }
        ExpectEachHandMadeFrameReleasedOnce();
        // Entries whose notes were built, none among them too, are counted
        // out again: while any is counted, a cell destroys every entry.
        EXPECT_EQ(MCNoteEntry::EntriesWithNotes(), 0);
    }
}

// A host that lets a frame's count grow while the cell builds its entries
// (with each staff number it is asked for): the entries follow the count
// read anew, beyond the room made for the count read first.
int16_t SlotToInstGrowingTheFrame(int16_t slot, uint16_t scope, uint32_t version) {
    auto& frame = *handFrames->HandedOut.front();
    const int16_t count = static_cast<int16_t>(ReadLE16(frame.Header.data() + 22));
    if (count < 4) WriteLE16(frame.Header.data() + 22, static_cast<uint16_t>(count + 1));
    return ::MX_SlotToInst(slot, scope, version);
}

TEST_F(HandMadeFrames, AFrameWhoseCountGrowsWhileTheEntriesAreBuiltGivesThemAll) {
    Frames.Layers[0] = {1, {}};
    for (uint32_t number = 1; number <= 4; ++number) {
        Frames.Layers[0].Records.push_back(EntryRecordWithNoteCount(number, 2));
    }
    ReplaceFunction("MX_SlotToInst", reinterpret_cast<void*>(&SlotToInstGrowingTheFrame));
    {
        MCNoteEntryCell cell(1, kStaff);
        cell.LayerMode = 1;
        ASSERT_TRUE(cell.Load());
        EXPECT_EQ(NumbersOf(cell), (std::vector<uint32_t>{1, 2, 3, 4}));
        for (int32_t i = 0; i < cell.GetCount(); ++i) {
            MCNoteEntry* entry = cell.GetEntryAt(i);
            EXPECT_EQ(entry->Previous, i > 0 ? cell.GetEntryAt(i - 1) : nullptr) << "entry " << i;
            EXPECT_EQ(entry->Next, i < 3 ? cell.GetEntryAt(i + 1) : nullptr) << "entry " << i;
            EXPECT_EQ(entry->GetCount(), 2) << "entry " << i;
        }
        // Loaded again, over entries whose notes were built: the new frame
        // holds its one entry (only the first frame grows).
        ASSERT_TRUE(cell.Load());
        EXPECT_EQ(NumbersOf(cell), (std::vector<uint32_t>{1}));
    }
    ExpectEachHandMadeFrameReleasedOnce();
}

}  // namespace
