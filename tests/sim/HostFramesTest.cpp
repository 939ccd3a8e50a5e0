// Layer frames as the host hands them out: layout byte by byte, when there is
// none, and the accounting of frames released or kept.
#include <gtest/gtest.h>

#include <cstring>

#include "contract/MelvaraFrame.h"
#include "sim/host/Host.h"
#include "tests/sim/SimTestHelpers.h"

namespace {


using simtest::V;

// Staff 7 at slot 2 with scope 0x1234; measure 3 holds two entries in layer 1
// (index 1) and nothing elsewhere.
sim::Score FrameScore() {
    sim::Score score;
    score.SetMeasures(4).SetLayers(3, {2});
    score.AddStaff(5, 1).AddStaff(7, 2, 0x1234);
    sim::Entry first;
    first.Number = 0x00012345;
    first.Flags = 0x80000 | 0x21;
    first.Position = -5;
    for (uint8_t n = 0; n < 3; ++n) {
        sim::NoteBlock block{};
        for (uint8_t i = 0; i < 10; ++i)
            block[i] = static_cast<uint8_t>(0x10 * (n + 1) + i);
        first.Notes.push_back(block);
    }
    score.AddEntry(sim::CellKey{3, 7, 1}, first);
    sim::Entry second;
    second.Number = 9;
    second.Position = 0x7FFFFFFF;
    score.AddEntry(sim::CellKey{3, 7, 1}, second);
    return score;
}

TEST(HostFrames, FrameAndEntryRecordsAreLaidOutAsTheHostLaysThemOut) {
    sim::Host host(FrameScore());
    uint8_t* frame = static_cast<uint8_t*>(host.LoadTGF(nullptr, 2, 3, 1, 1, V));
    ASSERT_NE(frame, nullptr);

    EXPECT_EQ(MelvaraReadLE16(frame + 0), 0x1234) << "slot scope at 0";
    EXPECT_EQ(MelvaraReadLE16(frame + 2), 2) << "slot at 2";
    EXPECT_EQ(MelvaraReadLE16(frame + 6), 3) << "measure at 6";
    EXPECT_EQ(static_cast<int16_t>(MelvaraReadLE16(frame + 22)), 2) << "entry count at 22";
    const auto* records = static_cast<const uint8_t*>(MelvaraReadPointer(frame + 14));
    ASSERT_NE(records, nullptr) << "pointer to the first entry record at 14";

    const uint8_t* e0 = records;
    EXPECT_EQ(MelvaraReadLE32(e0 + 0), 0x00012345u) << "entry number at 0";
    EXPECT_EQ(MelvaraReadLE32(e0 + 8), 0x80021u) << "flags at 8";
    EXPECT_EQ(MelvaraReadLE16(e0 + 14), 3) << "note count at 14";
    for (int n = 0; n < 3; ++n) {
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(e0[16 + 10 * n + i], 0x10 * (n + 1) + i) << "note " << n << " byte " << i;
        }
    }
    EXPECT_EQ(e0[46], 0) << "no note block after the third";
    EXPECT_EQ(static_cast<int32_t>(MelvaraReadLE32(e0 + 136)), -5) << "position at 136";

    const uint8_t* e1 = records + 146;
    EXPECT_EQ(MelvaraReadLE32(e1 + 0), 9u) << "the second record follows after 146 bytes";
    EXPECT_EQ(MelvaraReadLE16(e1 + 14), 0);
    EXPECT_EQ(static_cast<int32_t>(MelvaraReadLE32(e1 + 136)), 0x7FFFFFFF);

    host.FreeTGF(frame, V);
    EXPECT_EQ(host.Frames().Counts().Loaded, 1u);
    EXPECT_EQ(host.Frames().Counts().Freed, 1u);
    EXPECT_TRUE(host.Frames().Errors().empty());
}

TEST(HostFrames, TwelveNotesFillTheEntryRecord) {
    sim::Score score;
    score.AddStaff(1);
    sim::Entry entry;
    entry.Number = 1;
    entry.Notes.assign(12, sim::NoteBlock{0xAA, 0, 0, 0, 0, 0, 0, 0, 0, 0xBB});
    entry.Position = 77;
    score.AddEntry(sim::CellKey{1, 1, 0}, entry);
    entry.Notes.push_back({});
    EXPECT_THROW(score.AddEntry(sim::CellKey{1, 1, 0}, entry), std::invalid_argument);

    sim::Host host(score);
    void* frame = host.LoadTGF(nullptr, 1, 1, 0, 1, V);
    const auto* record =
        static_cast<const uint8_t*>(MelvaraReadPointer(static_cast<uint8_t*>(frame) + 14));
    EXPECT_EQ(MelvaraReadLE16(record + 14), 12);
    EXPECT_EQ(record[16 + 110], 0xAA) << "the twelfth note starts at 126";
    EXPECT_EQ(record[16 + 119], 0xBB) << "and ends at 135";
    EXPECT_EQ(MelvaraReadLE32(record + 136), 77u) << "the position follows the notes";
    host.FreeTGF(frame, V);
}

TEST(HostFrames, AnEmptyCellGivesAFrameWithoutEntries) {
    sim::Host host(FrameScore());
    auto* frame = static_cast<uint8_t*>(host.LoadTGF(nullptr, 1, 2, 0, 0, V));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(MelvaraReadLE16(frame + 22), 0);
    EXPECT_EQ(MelvaraReadPointer(frame + 14), nullptr);
    host.FreeTGF(frame, V);
}

TEST(HostFrames, NoFrameForASlotMeasureOrLayerThatDoesNotExist) {
    struct Case {
        const char* name;
        int16_t slot, measure, layer;
    };
    const Case cases[] = {
        {"slot 0", 0, 1, 0},
        {"slot 3", 3, 1, 0},
        {"measure 0", 1, 0, 0},
        {"measure 5", 1, 5, 0},
        {"layer -1", 1, 1, -1},
        {"layer 3 of 3", 1, 1, 3},
        {"negative measure", 1, -1, 0},
    };
    sim::Host host(FrameScore());
    for (const Case& c : cases) {
        EXPECT_EQ(host.LoadTGF(nullptr, c.slot, c.measure, c.layer, 1, V), nullptr) << c.name;
    }
    EXPECT_EQ(host.Frames().Counts().Loaded, 0u);
    void* hidden = host.LoadTGF(nullptr, 1, 1, 2, 1, V);
    EXPECT_NE(hidden, nullptr) << "a hidden layer still has frames";
    host.FreeTGF(hidden, V);
}

TEST(HostFrames, ReleasingTwiceOrWhatWasNeverHandedOutIsAnError) {
    sim::Host host(FrameScore());
    void* first = host.LoadTGF(nullptr, 2, 3, 1, 1, V);
    void* second = host.LoadTGF(nullptr, 2, 3, 0, 1, V);
    int stranger = 0;
    host.FreeTGF(first, V);
    host.FreeTGF(first, V);
    host.FreeTGF(&stranger, V);
    host.FreeTGF(nullptr, V);
    host.ReportFramesStillHeld();

    const auto& errors = host.Frames().Errors();
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].What, sim::FrameError::Kind::FreedTwice);
    EXPECT_EQ(errors[0].Frame, 1u);
    EXPECT_EQ(errors[0].Call, 4u) << "the second MX_FreeTGF is the fourth call";
    EXPECT_EQ(errors[0].Describe(),
              "frame 1 (staff 7, measure 3, layer 1) released a second time by call #4");
    EXPECT_EQ(errors[1].What, sim::FrameError::Kind::NeverHandedOut);
    EXPECT_EQ(errors[1].Handle, &stranger);
    EXPECT_EQ(errors[2].What, sim::FrameError::Kind::NeverHandedOut);
    EXPECT_EQ(errors[2].Describe(), "call #6 released a null handle");
    EXPECT_EQ(errors[3].What, sim::FrameError::Kind::StillHeld);
    EXPECT_EQ(errors[3].Frame, 2u);
    EXPECT_EQ(errors[3].Handle, second);

    EXPECT_EQ(host.Frames().Counts().Loaded, 2u);
    EXPECT_EQ(host.Frames().Counts().Freed, 1u);
    EXPECT_EQ(host.Frames().Counts().Held, 1u);
}

TEST(HostFrames, OddCountsReplaceTheRealOnes) {
    sim::Host host(FrameScore());
    host.Frames().SetCounts(-1, -32768);
    const auto* frame = static_cast<const uint8_t*>(host.LoadTGF(nullptr, 2, 3, 1, 1, V));
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(MelvaraFrameEntryCount(frame), -1);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(MelvaraEntryNoteCount(MelvaraFrameEntry(frame, i)), -32768);
        EXPECT_EQ(MelvaraReadLE32(MelvaraFrameEntry(frame, i) + MELVARA_ENTRY_POSITION),
                  i == 0 ? 0xFFFFFFFBu : 0x7FFFFFFFu)
            << "the rest stays";
    }
    host.FreeTGF(const_cast<uint8_t*>(frame), V);
}

TEST(HostFrames, WithoutMxFreeTgfNoFrameIsTheModulesToKeep) {
    sim::Host without(FrameScore());
    without.Failures().SetFunctionMode(sim::HostFn::FreeTGF, sim::FunctionMode::Missing);
    without.LoadTGF(nullptr, 2, 3, 1, 1, V);
    without.ReportFramesStillHeld();
    EXPECT_TRUE(without.Frames().Errors().empty()) << "no MX_FreeTGF to release it with";
}

TEST(HostFrames, AFrameTheHostRefusedToReleaseIsNotTheModulesError) {
    sim::Host host(FrameScore());
    void* refused = host.LoadTGF(nullptr, 2, 3, 1, 1, V);
    void* kept = host.LoadTGF(nullptr, 2, 3, 0, 1, V);
    host.Failures().FailCall(3);
    host.FreeTGF(refused, V);
    host.ReportFramesStillHeld();
    ASSERT_EQ(host.Frames().Errors().size(), 1u);
    EXPECT_EQ(host.Frames().Errors()[0].Handle, kept);
    EXPECT_EQ(host.Frames().Counts().Held, 2u);
    EXPECT_EQ(host.Frames().Counts().Refused, 1u);
}

TEST(HostFrames, AFrameTheModuleWroteIntoIsWarnedAbout) {
    sim::Host host(FrameScore());
    auto* frame = static_cast<uint8_t*>(host.LoadTGF(nullptr, 2, 3, 1, 1, V));
    auto* record = static_cast<uint8_t*>(MelvaraReadPointer(frame + 14));
    MelvaraWriteLE32(record + 8, 0);
    host.FreeTGF(frame, V);
    const auto warnings = host.Monitor().Warnings();
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "the module wrote into frame 1 (staff 7, measure 3, layer 1)");
}

TEST(HostFrames, TheFrameCallIsLoggedWithItsArgumentsAndFrame) {
    sim::Host host(FrameScore());
    void* frame = host.LoadTGF(nullptr, 2, 3, 1, 0, V);
    host.FreeTGF(frame, V);
    ASSERT_EQ(host.Log().Calls().size(), 2u);
    const sim::HostCall& load = host.Log().Calls()[0];
    EXPECT_EQ(load.Function, sim::HostFn::LoadTGF);
    EXPECT_EQ(load.Slot, 2);
    EXPECT_EQ(load.Measure, 3);
    EXPECT_EQ(load.Layer, 1);
    EXPECT_EQ(load.Option, 0);
    EXPECT_EQ(load.Staff, 7);
    EXPECT_EQ(load.Frame, 1u);
    EXPECT_EQ(sim::DescribeCall(load),
              "#1 MX_LoadTGF(null, slot 2, measure 3, layer 1, option 0, 0x19000000) = frame 1 "
              "(staff 7)");
    EXPECT_EQ(sim::DescribeCall(host.Log().Calls()[1]), "#2 MX_FreeTGF(frame 1, 0x19000000)");
}

#if defined(__SANITIZE_ADDRESS__)
TEST(HostFramesDeathTest, AReleasedFrameIsPoisonedUnderAddressSanitizer) {
    EXPECT_DEATH(
        {
            sim::Host host(FrameScore());
            auto* frame = static_cast<volatile uint8_t*>(host.LoadTGF(nullptr, 2, 3, 1, 1, V));
            host.FreeTGF(const_cast<uint8_t*>(frame), V);
            const uint8_t late = frame[6];
            (void)late;
        },
        "use-after-poison");
}
#endif

}  // namespace
