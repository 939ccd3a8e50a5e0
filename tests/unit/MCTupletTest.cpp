#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

#include "framework/core/ByteOrder.h"
#include "framework/data/MCTuplet.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/music/MCNoteEntry.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;
using sim::Keys;

constexpr int kEntryFlagsOffset = 8;

// A host entry record of our own, with the entry that reads it.
struct EntryRecord {
    explicit EntryRecord(uint32_t number, uint32_t flags = 0) {
        WriteLE32(Bytes.data(), number);
        WriteLE32(Bytes.data() + kEntryFlagsOffset, flags);
    }
    uint32_t Flags() const { return ReadLE32(Bytes.data() + kEntryFlagsOffset); }

    std::array<uint8_t, 146> Bytes{};
    MCNoteEntry Entry{Bytes.data(), nullptr, 1, 1, nullptr};
};

class TupletRecord : public SimHostTest {
protected:
    TupletRecord() { Score().AddStaff(1, 1); }

    // Adds an entry of staff 1 with tuplets made from the seeds.
    uint32_t AddEntryWithTuplets(std::initializer_list<uint16_t> seeds) {
        std::vector<sim::TupletDefinition> tuplets;
        for (uint16_t seed : seeds) tuplets.push_back(SampleTuplet(seed));
        return Score().AddEntry(1, 1, 0, 0, tuplets);
    }

    static sim::TupletDefinition DefinitionOf(const MCTuplet& tuplet) {
        return sim::TupletDefinition::FromBytes(tuplet.Definition.Bytes);
    }
    static Keys KeysOf(const __MCBaseData& record) {
        const uint16_t* k = record.GetKeys();
        return {k[0], k[1], k[2], k[3]};
    }
};

TEST_F(TupletRecord, KeysHoldTheEntryNumberLowWordFirstThenTheIndex) {
    Score().SetTuplet(0x00050003, 7, SampleTuplet(1));
    MCTuplet tuplet;
    ASSERT_TRUE(tuplet.Load(0x00050003, 7));
    EXPECT_EQ(KeysOf(tuplet), (Keys{3, 5, 7, 0}));
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].Tag, 0x45035450u);
    EXPECT_EQ(loads[0].KeysIn, (Keys{3, 5, 7, 0}));
    EXPECT_EQ(loads[0].CountIn, 30u);
    EXPECT_EQ(DefinitionOf(tuplet), SampleTuplet(1));
    EXPECT_EQ(tuplet.GetDataSize(), 30);

    EntryRecord entry(0x00090008);
    tuplet.SetNoteEntry(&entry.Entry);
    EXPECT_EQ(KeysOf(tuplet), (Keys{8, 9, 7, 0})) << "the index is not touched";
    EXPECT_EQ(tuplet.GetNoteEntry(), &entry.Entry);
}

TEST_F(TupletRecord, LoadFirstNeedsANoteEntryAndTakesIndexZero) {
    MCTuplet tuplet;
    EXPECT_FALSE(tuplet.LoadFirst());
    EXPECT_TRUE(Calls().empty());

    // An entry without an entry record counts as entry number 0.
    Score().SetTuplet(0, 0, SampleTuplet(4));
    Score().SetTuplet(0, 1, SampleTuplet(5));
    MCNoteEntry bare(nullptr, nullptr, 0, 0, nullptr);
    tuplet.SetNoteEntry(&bare);
    ASSERT_TRUE(tuplet.Load(0, 1));
    ForgetCalls();
    EXPECT_TRUE(tuplet.LoadFirst());
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].KeysIn, (Keys{0, 0, 0, 0}));
    EXPECT_EQ(DefinitionOf(tuplet), SampleTuplet(4));

    // An entry with a record loads its own number.
    const uint32_t number = AddEntryWithTuplets({6});
    EntryRecord entry(number);
    tuplet.SetNoteEntry(&entry.Entry);
    EXPECT_TRUE(tuplet.LoadFirst());
    EXPECT_EQ(DefinitionOf(tuplet), SampleTuplet(6));
    EXPECT_EQ(tuplet.KeyEntryNumber(), number);
    EXPECT_EQ(tuplet.KeyIndex(), 0);
}

TEST_F(TupletRecord, LoadNextStaysOnTheEntryAndKeepsTheLastIndexWhenNoneFollows) {
    const uint32_t number = AddEntryWithTuplets({10, 11, 12});
    AddEntryWithTuplets({20});  // the next record of the tag belongs to another entry
    MCTuplet tuplet;
    ASSERT_TRUE(tuplet.Load(number, 0));
    ASSERT_TRUE(tuplet.LoadNext());
    ASSERT_TRUE(tuplet.LoadNext());
    EXPECT_EQ(tuplet.KeyIndex(), 2);
    EXPECT_EQ(DefinitionOf(tuplet), SampleTuplet(12));
    const int16_t document = tuplet.GetLoadedDocument();

    ForgetCalls();
    EXPECT_FALSE(tuplet.LoadNext());
    EXPECT_EQ(tuplet.KeyIndex(), 2);
    EXPECT_EQ(tuplet.KeyEntryNumber(), number);
    EXPECT_EQ(tuplet.GetDataSize(), 0);
    EXPECT_EQ(tuplet.GetLoadedDocument(), document);
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].KeysIn, sim::TupletKeys(number, 3));
    EXPECT_EQ(CountOf(HostFn::NextKData), 0u) << "the step is by index, not by the host's order";
}

TEST_F(TupletRecord, ReloadOnlyAfterASuccessfulLoad) {
    const uint32_t number = AddEntryWithTuplets({30, 31});
    MCTuplet tuplet;
    EXPECT_FALSE(tuplet.Load(number, 5));
    ForgetCalls();
    EXPECT_FALSE(tuplet.Reload());
    EXPECT_TRUE(Calls().empty());

    ASSERT_TRUE(tuplet.Load(number, 1));
    Score().SetTuplet(number, 1, SampleTuplet(40));
    ForgetCalls();
    EXPECT_TRUE(tuplet.Reload());
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].KeysIn, sim::TupletKeys(number, 1));
    EXPECT_EQ(DefinitionOf(tuplet), SampleTuplet(40));
}

TEST_F(TupletRecord, SaveNewTakesTheIndexTheHostHandsBackAndMarksTheEntry) {
    const uint32_t number = AddEntryWithTuplets({1, 2, 3});
    EntryRecord entry(number, 0x00000005);
    MCTuplet tuplet;
    tuplet.SetNoteEntry(&entry.Entry);
    const sim::TupletDefinition fresh = SampleTuplet(77);
    std::memcpy(tuplet.Definition.Bytes, fresh.ToBytes().data(), 30);
    ForgetCalls();

    ASSERT_TRUE(tuplet.SaveNew());
    EXPECT_EQ(tuplet.KeyIndex(), 3);
    EXPECT_EQ(KeysOf(tuplet), sim::TupletKeys(number, 3));
    EXPECT_EQ(tuplet.GetDataSize(), 30);
    EXPECT_EQ(entry.Flags(), 0x00080005u);
    EXPECT_EQ(Score().Tuplet(number, 3), fresh);
    const auto creates = CallsOf(HostFn::CreateKData);
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].Tag, 0x45035450u);
    EXPECT_EQ(creates[0].KeysIn, sim::TupletKeys(number, 0xFFFF));
    EXPECT_EQ(creates[0].CountIn, 30u);
    EXPECT_EQ(CountOf(HostFn::NextKData), 0u);
    EXPECT_EQ(CountOf(HostFn::LoadKData), 0u);
}

TEST_F(TupletRecord, SaveNewFindsTheLastIndexOfItsEntryWhenTheHostLeavesItUnset) {
    struct Case {
        const char* name;
        bool laterEntries;
        size_t firstSize;  // of the entry's first tuplet record
    };
    const Case cases[] = {{"last records of the tag", false, 30},
                          {"later entries follow", true, 30},
                          {"the first record of another size", true, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Score().Records.clear();
        Score().Cells.clear();
        const uint32_t number = AddEntryWithTuplets({1, 2});
        sim::Bytes first = SampleTuplet(1).ToBytes();
        first.resize(c.firstSize);
        Score().SetRecord(sim::kTupletTag, sim::TupletKeys(number, 0), first);
        if (c.laterEntries) {
            AddEntryWithTuplets({5, 6, 7, 8});
            AddEntryWithTuplets({9});
        }
        Host.SetCreateLeavesIndexUnset(true);
        EntryRecord entry(number);
        MCTuplet tuplet;
        tuplet.SetNoteEntry(&entry.Entry);
        const sim::TupletDefinition fresh = SampleTuplet(50);
        std::memcpy(tuplet.Definition.Bytes, fresh.ToBytes().data(), 30);

        ASSERT_TRUE(tuplet.SaveNew());
        EXPECT_EQ(Score().TupletIndices(number), (std::vector<uint16_t>{0, 1, 2}));
        EXPECT_EQ(KeysOf(tuplet), sim::TupletKeys(number, 2));
        EXPECT_EQ(entry.Flags(), 0x80000u);
        EXPECT_EQ(DefinitionOf(tuplet), fresh) << "the probe leaves this record's data alone";
        EXPECT_EQ(tuplet.GetNoteEntry(), &entry.Entry);
    }
}

TEST_F(TupletRecord, SaveNewFailsWithoutANoteEntry) {
    MCTuplet tuplet;
    EXPECT_FALSE(tuplet.SaveNew());
    EXPECT_TRUE(Calls().empty());
}

TEST_F(TupletRecord, SaveNewFailsWhenTheHostRefusesAndLeavesEverythingAsItWas) {
    const uint32_t number = AddEntryWithTuplets({1});
    EntryRecord entry(number, 0x10);
    MCTuplet tuplet;
    ASSERT_TRUE(tuplet.Load(number, 0));
    tuplet.SetNoteEntry(&entry.Entry);
    Host.Failures().SetFunctionMode(HostFn::CreateKData, sim::FunctionMode::Failing);

    EXPECT_FALSE(tuplet.SaveNew());
    EXPECT_EQ(KeysOf(tuplet), sim::TupletKeys(number, 0));
    EXPECT_EQ(tuplet.GetDataSize(), 30);
    EXPECT_EQ(entry.Flags(), 0x10u);
    EXPECT_EQ(Host.Log().CreatedCount(), 0u);
}

TEST_F(TupletRecord, SaveNewFailsWhenNeitherTheHostNorTheEntryTellsTheIndex) {
    const uint32_t number = AddEntryWithTuplets({1});
    EntryRecord entry(number, 0x10);
    MCTuplet tuplet;
    ASSERT_TRUE(tuplet.Load(number, 0));
    tuplet.SetNoteEntry(&entry.Entry);
    Host.SetCreateLeavesIndexUnset(true);
    Host.Failures().FailLoad(sim::kTupletTag, sim::TupletKeys(number, 0));

    EXPECT_FALSE(tuplet.SaveNew());
    EXPECT_EQ(KeysOf(tuplet), sim::TupletKeys(number, 0));
    EXPECT_EQ(tuplet.GetDataSize(), 30);
    EXPECT_EQ(entry.Flags(), 0x10u);
    EXPECT_EQ(Host.Log().CreatedCount(), 1u) << "the host's new record stays in the document";
}

TEST_F(TupletRecord, CopyDataFromTakesTheDefinitionOnly) {
    const uint32_t first = AddEntryWithTuplets({1});
    const uint32_t second = AddEntryWithTuplets({2, 3});
    MCTuplet source;
    ASSERT_TRUE(source.Load(first, 0));
    EntryRecord entry(second);
    MCTuplet copy;
    copy.SetNoteEntry(&entry.Entry);
    ASSERT_TRUE(copy.Load(second, 1));
    ASSERT_FALSE(copy.LoadNext());  // no data now
    ForgetCalls();

    copy.CopyDataFrom(source);
    EXPECT_EQ(DefinitionOf(copy), SampleTuplet(1));
    EXPECT_EQ(KeysOf(copy), sim::TupletKeys(second, 1));
    EXPECT_EQ(copy.GetNoteEntry(), &entry.Entry);
    EXPECT_EQ(copy.GetDataSize(), 30);
    EXPECT_EQ(copy.GetData(), copy.Definition.Bytes);
    EXPECT_FALSE(copy.OwnsDataBlock());
    EXPECT_TRUE(Calls().empty());

    // A record of another class is not a tuplet to copy, nor the other way
    // round; defaults copy defaults.
    MCTupletPrefs defaults;
    std::memset(defaults.Definition.Bytes, 0xEE, 30);
    copy.CopyDataFrom(defaults);
    EXPECT_EQ(DefinitionOf(copy), SampleTuplet(1));
    defaults.CopyDataFrom(copy);
    EXPECT_EQ(defaults.Definition.Bytes[14], 0xEE);
    MCTupletPrefs other;
    other.CopyDataFrom(defaults);
    EXPECT_EQ(std::memcmp(other.Definition.Bytes, defaults.Definition.Bytes, 30), 0);
    EXPECT_EQ(other.GetDataSize(), 30);
}

TEST_F(TupletRecord, SetEntryFlagSetsAndClearsOnlyBit19) {
    struct Case {
        uint32_t before;
        bool on;
        uint32_t after;
    };
    const Case cases[] = {
        {0x00000000, true, 0x00080000},  {0xFFF7FFFF, true, 0xFFFFFFFF},
        {0x00080000, true, 0x00080000},  {0xFFFFFFFF, false, 0xFFF7FFFF},
        {0x00080001, false, 0x00000001}, {0x00000001, false, 0x00000001},
    };
    MCTuplet tuplet;
    for (const Case& c : cases) {
        EntryRecord entry(0x1234, c.before);
        auto untouched = entry.Bytes;
        tuplet.SetEntryFlag(&entry.Entry, c.on);
        EXPECT_EQ(entry.Flags(), c.after) << std::hex << c.before << (c.on ? " on" : " off");
        WriteLE32(untouched.data() + kEntryFlagsOffset, c.after);
        EXPECT_EQ(entry.Bytes, untouched) << "only the flags change";
    }
    // Without a record, or without an entry, there is nothing to mark.
    MCNoteEntry bare(nullptr, nullptr, 0, 0, nullptr);
    tuplet.SetEntryFlag(&bare, true);
    EXPECT_EQ(bare.EntryFlags(), 0u);
    tuplet.SetEntryFlag(nullptr, true);
    EXPECT_TRUE(Calls().empty());
}

}  // namespace

namespace {

// A tuplet record of another size than 30 bytes cannot be saved back whole:
// shorter, it would be padded with the bytes of the tuplet loaded before it;
// longer, it would be cut. It counts as not loaded, and Reset leaves it be.
TEST_F(TupletRecord, ATupletRecordOfAnotherSizeThanThirtyBytesCountsAsNotLoaded) {
    for (size_t size : {size_t{0}, size_t{8}, size_t{29}, size_t{31}, size_t{40}}) {
        SCOPED_TRACE("record of " + std::to_string(size) + " bytes");
        const uint32_t entry = AddEntryWithTuplets({1, 2, 3});
        sim::Bytes odd = SampleTuplet(50).ToBytes();
        odd.resize(size, 0xEE);
        Score().SetRecord(sim::kTupletTag, sim::TupletKeys(entry, 1), odd);

        MCTuplet tuplet;
        ASSERT_TRUE(tuplet.Load(entry, 0));
        EXPECT_FALSE(tuplet.FoundOtherSize());
        EXPECT_FALSE(tuplet.LoadNext()) << "index 1 is not whole";
        EXPECT_EQ(tuplet.KeyIndex(), 0);
        EXPECT_EQ(tuplet.GetDataSize(), 0);
        EXPECT_FALSE(tuplet.Load(entry, 1));
        EXPECT_TRUE(tuplet.FoundOtherSize()) << "a record, but not a tuplet's";
        EXPECT_EQ(tuplet.GetDataSize(), 0);
        EXPECT_FALSE(tuplet.Load(entry, 3));
        EXPECT_FALSE(tuplet.FoundOtherSize()) << "no record at all";
        EXPECT_FALSE(tuplet.Load(entry, 1));
        EXPECT_FALSE(tuplet.LoadCurrent());
        ASSERT_TRUE(tuplet.Load(entry, 2));
        Score().SetRecord(sim::kTupletTag, sim::TupletKeys(entry, 2), odd);
        EXPECT_FALSE(tuplet.Reload()) << "index 2 is no longer whole";
        EXPECT_EQ(tuplet.GetDataSize(), 0);
        ForgetCalls();
        EXPECT_FALSE(tuplet.Save());
        EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
        EXPECT_EQ(*Score().FindRecord(sim::kTupletTag, sim::TupletKeys(entry, 1)), odd);
    }
}

}  // namespace
