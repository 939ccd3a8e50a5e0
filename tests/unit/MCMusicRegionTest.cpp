#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/music/MCMusicRegion.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

std::array<uint8_t, 20> BytesOf(const RegionRecord& record) {
    std::array<uint8_t, 20> bytes{};
    std::memcpy(bytes.data(), &record, bytes.size());
    return bytes;
}

RegionRecord SampleRecord() {
    RegionRecord record{};
    record.StartSlotScope = 0x0102;
    record.StartSlot = 3;
    record.StartMeasure = -4;
    record.StartPos = 0x11223344;
    record.EndSlotScope = 0x0506;
    record.EndSlot = 7;
    record.EndMeasure = 0x7FFF;
    record.EndPos = -5;
    return record;
}

class MusicRegion : public SimHostTest {
protected:
    MusicRegion() { Host.SetCurrentDocument(7); }
};

TEST_F(MusicRegion, StartsEmpty) {
    MCMusicRegion region;
    EXPECT_EQ(BytesOf(region.Record), BytesOf(RegionRecord{}));
    EXPECT_EQ(region.Document, 0);
    EXPECT_EQ(region.GetStartMeasure(), 0);
    EXPECT_EQ(region.GetEndMeasure(), 0);
}

TEST_F(MusicRegion, SetCurrentSelectionCopiesTheHostsSelectionAndDocument) {
    Host.SetSelection(SampleRecord());
    MCMusicRegion region;
    EXPECT_TRUE(region.SetCurrentSelection());
    EXPECT_EQ(BytesOf(region.Record), BytesOf(SampleRecord()));
    EXPECT_EQ(region.Document, 7);
    EXPECT_EQ(region.GetStartMeasure(), -4);
    EXPECT_EQ(region.GetEndMeasure(), 0x7FFF);
    const auto regions = CallsOf(HostFn::GetCurKRegions);
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_TRUE(regions[0].HasBuffer);
    EXPECT_TRUE(Host.Monitor().Warnings().empty());
}

TEST_F(MusicRegion, WithoutTheRegionFunctionTheSelectionIsEmptyButTheDocumentIsSet) {
    Host.SetSelection(SampleRecord());
    MakeMissing(HostFn::GetCurKRegions);
    MCMusicRegion region;
    region.Record = SampleRecord();
    EXPECT_TRUE(region.SetCurrentSelection());
    EXPECT_EQ(BytesOf(region.Record), BytesOf(RegionRecord{}));
    EXPECT_EQ(region.Document, 7);
    EXPECT_EQ(CountOf(HostFn::GetCurKRegions), 0u);
}

TEST_F(MusicRegion, ACommandRecordIsCopiedByteForByteFromAnyAddress) {
    // StartPos at offset 6 and EndPos at offset 16 are unaligned at any
    // start; starting at an odd address makes every wider field unaligned.
    uint8_t buffer[1 + 20];
    for (size_t i = 0; i < sizeof buffer; ++i) buffer[i] = static_cast<uint8_t>(0x30 + i);
    uint8_t* record = buffer + 1;
    WriteLE32(record + 6, 0x11223344);
    WriteLE32(record + 16, static_cast<uint32_t>(-5));

    MCMusicRegion region;
    region.SetFromCommandRecord(record);
    std::array<uint8_t, 20> expected{};
    std::memcpy(expected.data(), record, 20);
    EXPECT_EQ(BytesOf(region.Record), expected);
    // Copies: the packed fields cannot be bound to references.
    const RegionRecord copy = region.Record;
    const int32_t startPos = copy.StartPos;
    const int32_t endPos = copy.EndPos;
    const uint16_t startScope = copy.StartSlotScope;
    EXPECT_EQ(startPos, 0x11223344);
    EXPECT_EQ(endPos, -5);
    EXPECT_EQ(startScope, 0x3231);
    EXPECT_EQ(region.GetStartMeasure(), 0x3635);
    EXPECT_EQ(region.GetEndMeasure(), 0x403F);
    EXPECT_EQ(region.Document, 7);
}

TEST_F(MusicRegion, NoCommandRecordGivesTheEmptyRegionAndDocumentZero) {
    MCMusicRegion region;
    region.Record = SampleRecord();
    region.Document = 3;
    region.SetFromCommandRecord(nullptr);
    EXPECT_EQ(BytesOf(region.Record), BytesOf(RegionRecord{}));
    EXPECT_EQ(region.Document, 0);
    EXPECT_TRUE(Calls().empty());
}

// Two slots per staff, whatever the scope: slots 1 and 2 are staff 1, slots
// 3 and 4 staff 2 ...
int16_t TwoSlotsPerStaff(int16_t slot, uint16_t, uint32_t) {
    return static_cast<int16_t>((slot + 1) / 2);
}

TEST_F(MusicRegion, IsEqualComparesStavesNotSlotsAndIgnoresTheDocument) {
    ReplaceFunction("MX_SlotToInst", reinterpret_cast<void*>(&TwoSlotsPerStaff));
    RegionRecord base{};
    base.StartSlotScope = 9;
    base.StartSlot = 1;
    base.StartMeasure = 3;
    base.StartPos = 100;
    base.EndSlotScope = 9;
    base.EndSlot = 3;
    base.EndMeasure = 5;
    base.EndPos = 200;

    struct Case {
        const char* name;
        void (*change)(MCMusicRegion&);
        bool equal;
    };
    const Case cases[] = {
        {"identical", [](MCMusicRegion&) {}, true},
        {"other document", [](MCMusicRegion& r) { r.Document = 99; }, true},
        {"start slot of the same staff", [](MCMusicRegion& r) { r.Record.StartSlot = 2; }, true},
        {"end slot of the same staff", [](MCMusicRegion& r) { r.Record.EndSlot = 4; }, true},
        {"end scope alone", [](MCMusicRegion& r) { r.Record.EndSlotScope = 1; }, true},
        {"start slot of another staff", [](MCMusicRegion& r) { r.Record.StartSlot = 3; }, false},
        {"end slot of another staff", [](MCMusicRegion& r) { r.Record.EndSlot = 5; }, false},
        {"start scope", [](MCMusicRegion& r) { r.Record.StartSlotScope = 1; }, false},
        {"start measure", [](MCMusicRegion& r) { r.Record.StartMeasure = 4; }, false},
        {"end measure", [](MCMusicRegion& r) { r.Record.EndMeasure = 6; }, false},
        {"start position", [](MCMusicRegion& r) { r.Record.StartPos = 101; }, false},
        {"end position", [](MCMusicRegion& r) { r.Record.EndPos = 199; }, false},
        {"end position in the high word",
         [](MCMusicRegion& r) { r.Record.EndPos = 200 + 0x10000; }, false},
    };
    for (const Case& c : cases) {
        MCMusicRegion a;
        MCMusicRegion b;
        a.Record = base;
        b.Record = base;
        a.Document = 7;
        b.Document = 7;
        c.change(b);
        EXPECT_EQ(a.IsEqual(b), c.equal) << c.name;
        EXPECT_EQ(b.IsEqual(a), c.equal) << c.name << " (reversed)";
    }
}

TEST_F(MusicRegion, IsEqualAsksForEachEndsStaffWithThatEndsScope) {
    Score().AddStaff(10, 1, 5).AddStaff(20, 2, 6);
    MCMusicRegion a;
    a.Record.StartSlotScope = 5;
    a.Record.StartSlot = 1;
    a.Record.EndSlotScope = 6;
    a.Record.EndSlot = 2;
    MCMusicRegion b;
    b.Record = a.Record;
    b.Record.EndSlot = 3;  // no staff there
    EXPECT_FALSE(a.IsEqual(b));

    ForgetCalls();
    b.Record.EndSlot = 2;
    EXPECT_TRUE(a.IsEqual(b));
    std::vector<std::pair<int16_t, uint16_t>> asked;
    for (const sim::HostCall& call : CallsOf(HostFn::SlotToInst)) {
        asked.emplace_back(call.Slot, call.Scope);
    }
    const std::vector<std::pair<int16_t, uint16_t>> expected = {{1, 5}, {1, 5}, {2, 6}, {2, 6}};
    EXPECT_EQ(asked, expected);
}

}  // namespace
