#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "framework/core/MCBlockPool.h"
#include "plugin/MelvaraExtension.h"
#include "sim/score/Selection.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;
using sim::TupletDefinition;

constexpr char kNoDifference[] = "No tuplet in the region is different to the Default Tuplet Definition.";

// Three staves in slots 1 to 3, four measures, the defaults with their
// supplement; tuplets are added by each test.
class TupletCommand : public SimHostTest {
protected:
    TupletCommand() {
        Score().AddStaff(1, 1).AddStaff(2, 2).AddStaff(3, 3).SetMeasures(4);
        Defaults = SampleTuplet(40);
        Score().SetDefaults(Defaults);
        Score().SetPartRecord('1', '4', 0, {1, 2, 3, 4, 0x1405, 0x1406});
        Score().SetPartRecord('6', '9', 0, {0x6900, 0, 0, 0, 0, 0});
        Score().SetPartRecord('2', '3', 0, {0, 0, 0, 0, 0, 0x2305});
    }

    // Adds an entry with the tuplets in the cell; its entry number.
    uint32_t Add(int16_t staff, int16_t measure, std::vector<TupletDefinition> tuplets,
                 int32_t position = 0, int16_t layer = 0) {
        return Score().AddEntry(staff, measure, layer, position, tuplets);
    }

    int Invoke(int16_t index, RegionRecord region = Whole()) {
        return MelvaraExtensionInvoke(Host.Window(), index, &region);
    }

    static RegionRecord Whole() { return sim::RegionRect(1, 0, 4, 1 << 20, 1, 3); }

    TupletDefinition Differing(int offset, uint16_t value) const {
        TupletDefinition t = Defaults;
        sim::Bytes bytes = t.ToBytes();
        sim::SetWordAt(bytes, static_cast<size_t>(offset), value);
        return TupletDefinition::FromBytes(bytes);
    }

    std::vector<sim::HostCall> TupletSaves() const {
        std::vector<sim::HostCall> saves;
        for (const auto& call : CallsOf(HostFn::SaveKData)) {
            if (call.Tag == sim::kTupletTag) saves.push_back(call);
        }
        return saves;
    }

    void ExpectOneBox(const std::string& caption, const std::string& text, unsigned style) {
        ASSERT_EQ(Host.Boxes().List().size(), 1u);
        EXPECT_EQ(Host.Boxes().List()[0].CaptionUtf8(), caption);
        EXPECT_EQ(Host.Boxes().List()[0].TextUtf8(), text);
        EXPECT_EQ(Host.Boxes().List()[0].Style, style);
        EXPECT_TRUE(Host.Boxes().List()[0].HostWindow);
    }

    TupletDefinition Defaults;
};

TEST_F(TupletCommand, CompareReportsTheThreeCounts) {
    Add(1, 1, {Defaults, Differing(10, 1)});
    Add(2, 2, {Differing(12, 1)});
    Add(3, 3, {Defaults});
    Add(1, 4, {Differing(24, 77)});  // Value5
    EXPECT_EQ(Invoke(1), 1);
    ExpectOneBox("Tuplet Compare Info",
                 "Tuplets in region: 5\n\nTuplets different than the Default Tuplet Definition: 3\n\n"
                 "Tuplets different than the Defaults (excluding position): 1",
                 0);
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

TEST_F(TupletCommand, CompareWithoutDifferencesSaysSo) {
    EXPECT_EQ(Invoke(1), 1);
    ExpectOneBox("Tuplet Compare Info", kNoDifference, 0);

    Host.Log().ClearCalls();
    Add(2, 2, {Defaults, Defaults});
    TupletDefinition onlyIgnored = Defaults;
    onlyIgnored.HeadWords = {9, 9, 9, 9};
    onlyIgnored.OptionBits |= 0xFF00;
    Add(3, 3, {onlyIgnored});
    EXPECT_EQ(Invoke(1), 1);
    ASSERT_EQ(Host.Boxes().List().size(), 2u);
    EXPECT_EQ(Host.Boxes().List()[1].TextUtf8(), kNoDifference);
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

TEST_F(TupletCommand, ResetSavesEveryVisitedTupletOnceInVisitingOrder) {
    const uint32_t second = Add(2, 1, {Differing(18, 0x0003)});
    const uint32_t first = Add(1, 1, {Defaults, Differing(10, 5)});
    TupletDefinition kept = Differing(28, 9);
    kept.HeadWords = {7, 7, 7, 7};
    kept.OptionBits |= 0x0100;
    const uint32_t third = Add(1, 2, {kept});

    EXPECT_EQ(Invoke(0), 1);
    EXPECT_TRUE(Host.Boxes().List().empty());
    const auto saves = TupletSaves();
    const std::vector<sim::Keys> expected = {sim::TupletKeys(first, 0), sim::TupletKeys(first, 1),
                                             sim::TupletKeys(second, 0), sim::TupletKeys(third, 0)};
    ASSERT_EQ(saves.size(), expected.size());
    for (size_t i = 0; i < saves.size(); ++i) {
        EXPECT_EQ(saves[i].KeysIn, expected[i]) << "save " << i;
        EXPECT_EQ(saves[i].CountIn, 30u);
    }
    for (const auto& keys : expected) {
        const auto tuplet = Score().Tuplet(sim::EntryNumberOf(keys), keys[2]);
        ASSERT_TRUE(tuplet.has_value());
        EXPECT_EQ(tuplet->Value7, Defaults.Value7);
        EXPECT_EQ(tuplet->Position1, Defaults.Position1);
        EXPECT_EQ(tuplet->Flags, Defaults.Flags);
    }
    // What the defaults do not govern stays the tuplet's own.
    const auto third0 = Score().Tuplet(third, 0);
    EXPECT_EQ(third0->HeadWords, (std::array<uint16_t, 4>{7, 7, 7, 7}));
    EXPECT_EQ(third0->OptionBits & 0x0100, 0x0100);
    EXPECT_EQ(Host.Log().SavedCount(), 4u);
}

TEST_F(TupletCommand, ResetOnARegionWithoutTupletsDoesNothing) {
    Add(1, 1, {});
    EXPECT_EQ(Invoke(0), 1);
    EXPECT_TRUE(Host.Boxes().List().empty());
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

struct CountCase {
    const char* name;
    int tuplets;
};

class ChangeCount : public TupletCommand, public ::testing::WithParamInterface<CountCase> {};

TEST_P(ChangeCount, NeedsExactlyOneTuplet) {
    std::vector<uint32_t> entries;
    for (int i = 0; i < GetParam().tuplets; ++i) {
        entries.push_back(Add(static_cast<int16_t>(1 + i), 1, {SampleTuplet(uint16_t(i))}));
    }
    Host.Boxes().ScriptAnswers({sim::kIdYes});
    EXPECT_EQ(Invoke(2), 1);
    ExpectOneBox("Too Few/Many Tuplets",
                 "There must be exactly one tuplet in the selected region to be able to copy it to "
                 "the Default Tuplet Definition.",
                 0x10);
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
    // The counting walk stops at the second tuplet: a third is never read.
    for (size_t i = 2; i < entries.size(); ++i) {
        for (const auto& key : Host.Monitor().LoadedRecords()) {
            EXPECT_FALSE(key.Tag == sim::kTupletTag && sim::EntryNumberOf(key.Words) == entries[i])
                << "tuplet of entry " << entries[i] << " was loaded";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TupletCommand, ChangeCount,
                         ::testing::Values(CountCase{"none", 0}, CountCase{"two", 2},
                                           CountCase{"three", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

struct AnswerCase {
    const char* name;
    int answer;  // 0: the box cannot be shown and MessageBoxW returns 0
    bool positionCopied;
};

class ChangeAnswer : public TupletCommand, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ChangeAnswer, CopiesTheOneTupletIntoTheDefaults) {
    const TupletDefinition tuplet = SampleTuplet(7);
    Add(2, 3, {tuplet});
    if (GetParam().answer == 0) {
        Host.Failures().SetFunctionMode(HostFn::MessageBoxW, sim::FunctionMode::Failing);
    } else {
        Host.Boxes().ScriptAnswers({GetParam().answer});
    }
    EXPECT_EQ(Invoke(2), 1);

    ASSERT_EQ(Host.Boxes().List().size(), 1u);
    const sim::BoxRecord& question = Host.Boxes().List()[0];
    EXPECT_EQ(question.CaptionUtf8(), "Copy Position?");
    EXPECT_EQ(question.TextUtf8(),
              "Do you want to copy the tuplet's position to the Default Tuplet Definition as well?");
    EXPECT_EQ(question.Style, 4u);

    const auto defaults = Score().Defaults();
    ASSERT_TRUE(defaults.has_value());
    EXPECT_EQ(defaults->Value1, tuplet.Value1);
    EXPECT_EQ(defaults->Value7, tuplet.Value7);
    EXPECT_EQ(defaults->HeadWords, Defaults.HeadWords);
    EXPECT_EQ(defaults->Position1, GetParam().positionCopied ? tuplet.Position1 : Defaults.Position1);
    EXPECT_EQ(defaults->Position2, GetParam().positionCopied ? tuplet.Position2 : Defaults.Position2);
    // Saved once; the supplement is unchanged and not saved.
    EXPECT_EQ(Host.Log().SavedCount(sim::kTupletDefaultsTag), 1u);
    EXPECT_EQ(Host.Log().SavedCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(TupletCommand, ChangeAnswer,
                         ::testing::Values(AnswerCase{"yes", sim::kIdYes, true},
                                           AnswerCase{"no", sim::kIdNo, false},
                                           AnswerCase{"not_shown", 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct IndexCase {
    int16_t index;
    const char* expected;  // what the command shows or does
};

class MenuIndex : public TupletCommand, public ::testing::WithParamInterface<IndexCase> {};

TEST_P(MenuIndex, ChoosesTheCommand) {
    Add(1, 1, {SampleTuplet(3)});
    Host.Boxes().ScriptAnswers({sim::kIdNo});
    ASSERT_EQ(MenuHostVersion, 0u);  // the menu gate does not apply to Invoke
    EXPECT_EQ(Invoke(GetParam().index), 1);
    std::string observed = "nothing";
    if (!Host.Boxes().List().empty()) {
        const std::string caption = Host.Boxes().List()[0].CaptionUtf8();
        if (caption == "Tuplet Compare Info") observed = "compare";
        if (caption == "Copy Position?") observed = "change";
    } else if (Host.Log().SavedCount(sim::kTupletTag) == 1) {
        observed = "reset";
    }
    EXPECT_EQ(observed, GetParam().expected) << "index " << GetParam().index;
}

INSTANTIATE_TEST_SUITE_P(TupletCommand, MenuIndex,
                         ::testing::Values(IndexCase{1, "compare"}, IndexCase{3, "compare"},
                                           IndexCase{-1, "compare"}, IndexCase{INT16_MIN, "compare"},
                                           IndexCase{2, "change"}, IndexCase{0, "reset"}),
                         [](const auto& info) {
                             const int index = info.param.index;
                             return (index < 0 ? "index_minus_" : "index_") +
                                    std::to_string(std::abs(index));
                         });

TEST_F(TupletCommand, WithoutASelectionTheRegionIsAllZero) {
    Add(1, 1, {SampleTuplet(3)});
    EXPECT_EQ(MelvaraExtensionInvoke(Host.Window(), 1, nullptr), 1);
    ExpectOneBox("Tuplet Compare Info", kNoDifference, 0);
    // One cell: measure 0 on the staff of slot 0.
    const auto slots = CallsOf(HostFn::SlotToInst);
    ASSERT_FALSE(slots.empty());
    EXPECT_EQ(slots[0].Slot, 0);
    for (const auto& frame : CallsOf(HostFn::LoadTGF)) EXPECT_EQ(frame.Measure, 0);
}

TEST_F(TupletCommand, TheSelectionIsReadUnaligned) {
    Add(1, 2, {Differing(20, 1)}, 480);
    Add(1, 3, {Differing(20, 2)}, 0);
    RegionRecord region = Whole();
    region.StartMeasure = 2;
    region.EndMeasure = 2;
    region.StartPos = 480;
    region.EndPos = 480;
    alignas(8) uint8_t bytes[32] = {};
    std::memcpy(bytes + 1, &region, sizeof region);
    EXPECT_EQ(MelvaraExtensionInvoke(Host.Window(), 1, bytes + 1), 1);
    ASSERT_EQ(Host.Boxes().List().size(), 1u);
    EXPECT_NE(Host.Boxes().List()[0].TextUtf8().find("Tuplets in region: 1\n"), std::string::npos);
}

TEST_F(TupletCommand, DefaultsThatCannotBeLoadedChangeNothing) {
    Add(1, 1, {SampleTuplet(3), SampleTuplet(4)});
    Score().RemoveRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys);
    for (int16_t index : {int16_t{0}, int16_t{1}, int16_t{2}}) {
        Host.Log().ClearCalls();
        const size_t boxesBefore = Host.Boxes().List().size();
        EXPECT_EQ(Invoke(index), 1);
        ASSERT_EQ(Host.Boxes().List().size(), boxesBefore + 1) << "index " << index;
        const sim::BoxRecord& alert = Host.Boxes().List().back();
        EXPECT_EQ(alert.CaptionUtf8(), "Error");
        EXPECT_EQ(alert.TextUtf8(),
                  "The Default Tuplet Definition could not be loaded. The command was not carried out.");
        EXPECT_EQ(alert.Style, 0x10u);
        EXPECT_EQ(CountOf(HostFn::LoadTGF), 0u) << "index " << index;
        // Without memory for that alert's texts, the out-of-memory alert.
        mcpool::FailAllocation(1);
        EXPECT_EQ(Invoke(index), 1);
        mcpool::FailAllocation(0);
        ASSERT_EQ(Host.Boxes().List().size(), boxesBefore + 2) << "index " << index;
        EXPECT_EQ(Host.Boxes().List().back().TextUtf8(),
                  "There was not enough memory to finish the command. It was stopped.");
    }
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

}  // namespace

namespace {

// Defaults of another size than 30 bytes would reset every tuplet from
// fields the host never gave (zeros when shorter), and be saved cut or
// padded: they count as defaults that cannot be loaded.
TEST_F(TupletCommand, DefaultsOfAnotherSizeThanThirtyBytesChangeNothing) {
    Add(1, 1, {SampleTuplet(3), SampleTuplet(4)});
    Add(2, 2, {SampleTuplet(5)});
    for (size_t size : {size_t{0}, size_t{12}, size_t{29}, size_t{32}}) {
        sim::Bytes defaults = Defaults.ToBytes();
        defaults.resize(size, 0x77);
        Score().SetRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys, defaults);
        const sim::Score before = Score();
        for (int16_t index : {int16_t{0}, int16_t{1}, int16_t{2}}) {
            SCOPED_TRACE("defaults of " + std::to_string(size) + " bytes, index " + std::to_string(index));
            const size_t boxesBefore = Host.Boxes().List().size();
            Host.Boxes().ScriptAnswers({sim::kIdYes});
            EXPECT_EQ(Invoke(index), 1);
            ASSERT_EQ(Host.Boxes().List().size(), boxesBefore + 1);
            EXPECT_EQ(Host.Boxes().List().back().TextUtf8(),
                      "The Default Tuplet Definition could not be loaded. The command was not carried out.");
            EXPECT_TRUE(Score() == before);
        }
    }
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

// One entry's tuplet records: index 0 as the defaults, index 1 of 12 bytes,
// index 2 unlike the defaults in Value1. The record of another size is no
// tuplet: it is not compared, saved or counted, and the walk goes on past
// it, to end at index 3, which has no record.
TEST_F(TupletCommand, ATupletRecordOfAnotherSizeIsPassedOverAndTheWalkGoesOn) {
    const uint32_t entry = Add(1, 1, {Defaults, Defaults, Differing(14, 0x4242)});
    sim::Bytes odd = SampleTuplet(9).ToBytes();
    odd.resize(12);
    Score().SetRecord(sim::kTupletTag, sim::TupletKeys(entry, 1), odd);
    struct Case {
        const char* name;
        int16_t index;
        std::string box;  // the one box's text; empty for none
        std::vector<sim::Keys> saved;
        uint16_t lastIndexAsked;
    };
    const Case cases[] = {
        {"compare", 1,
         "Tuplets in region: 2\n\nTuplets different than the Default Tuplet Definition: 1\n\n"
         "Tuplets different than the Defaults (excluding position): 1",
         {},
         3},
        {"reset", 0, "", {sim::TupletKeys(entry, 0), sim::TupletKeys(entry, 2)}, 3},
        // Change counts the record of another size as a tuplet: the
        // counting walk stops at it, the second.
        {"change", 2,
         "There must be exactly one tuplet in the selected region to be able to copy it to the "
         "Default Tuplet Definition.",
         {},
         1},
    };
    const sim::Score before = Score();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Score() = before;
        Host.Log().ClearCalls();
        const size_t boxesBefore = Host.Boxes().List().size();
        EXPECT_EQ(Invoke(c.index), 1);
        ASSERT_EQ(Host.Boxes().List().size(), boxesBefore + (c.box.empty() ? 0 : 1));
        if (!c.box.empty()) {
            EXPECT_EQ(Host.Boxes().List().back().TextUtf8(), c.box);
        }
        std::vector<sim::Keys> saved;
        for (const sim::HostCall& call : TupletSaves()) saved.push_back(call.KeysIn);
        EXPECT_EQ(saved, c.saved);
        EXPECT_EQ(*Score().FindRecord(sim::kTupletTag, sim::TupletKeys(entry, 1)), odd);
        EXPECT_EQ(Score().Tuplet(entry, 2)->Value1, c.index == 0 ? Defaults.Value1 : 0x4242);
        EXPECT_EQ(CallsOf(HostFn::LoadKData).back().KeysIn, sim::TupletKeys(entry, c.lastIndexAsked));
    }
}

// Change counts every tuplet record of the selection, whatever its size: one
// good tuplet beside a record of another size, either way round, or such a
// record alone, is not exactly one tuplet to copy. Nothing is asked or saved.
TEST_F(TupletCommand, ChangeCountsATupletRecordOfAnotherSize) {
    const struct {
        const char* name;
        std::vector<size_t> sizes;  // of the entry's records, index by index
    } cases[] = {{"odd record last", {30, 20}}, {"odd record first", {20, 30}}, {"odd record alone", {20}}};
    const sim::Score empty = Score();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Score() = empty;
        const uint32_t entry = Add(1, 1, std::vector<TupletDefinition>(c.sizes.size(), Differing(14, 99)));
        for (size_t index = 0; index < c.sizes.size(); ++index) {
            sim::Bytes bytes = Differing(14, 99).ToBytes();
            bytes.resize(c.sizes[index]);
            Score().SetRecord(sim::kTupletTag, sim::TupletKeys(entry, static_cast<uint16_t>(index)), bytes);
        }
        const sim::Score before = Score();
        const size_t boxesBefore = Host.Boxes().List().size();
        Host.Boxes().ScriptAnswers({sim::kIdYes});
        EXPECT_EQ(Invoke(2), 1);
        ASSERT_EQ(Host.Boxes().List().size(), boxesBefore + 1);
        EXPECT_EQ(Host.Boxes().List().back().CaptionUtf8(), "Too Few/Many Tuplets");
        EXPECT_TRUE(Score() == before);
    }
    EXPECT_EQ(Host.Log().SavedCount(), 0u);
}

}  // namespace

namespace {

// The first load of one tuplet record fails; every other call reaches the host.
sim::Keys hiddenOnce{};
bool hidden = false;

int16_t LoadHidingOnce(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count, uint32_t version) {
    if (!hidden && tag == sim::kTupletTag && sim::Keys{keys[0], keys[1], keys[2], keys[3]} == hiddenOnce) {
        hidden = true;
        return 0;
    }
    return ::MX_LoadKData(tag, keys, buffer, count, version);
}

// A host that hides the second of two tuplets from the counting walk lets
// Change go on; the changing walk then sees both. Each is copied into the
// defaults and saved whole in turn, so the last wins; no tuplet changes.
TEST_F(TupletCommand, ChangeGivenTwoTupletsCopiesEachInTurn) {
    const uint32_t first = Add(1, 1, {Differing(14, 0x1111)});
    const uint32_t second = Add(2, 1, {Differing(14, 0x2222)});
    hiddenOnce = sim::TupletKeys(second, 0);
    hidden = false;
    ReplaceFunction("MX_LoadKData", reinterpret_cast<void*>(&LoadHidingOnce));
    Host.Boxes().ScriptAnswers({sim::kIdYes});
    EXPECT_EQ(Invoke(2), 1);
    ASSERT_TRUE(hidden);
    ASSERT_EQ(Host.Boxes().List().size(), 1u);
    EXPECT_EQ(Host.Boxes().List()[0].CaptionUtf8(), "Copy Position?");
    EXPECT_EQ(Host.Log().SavedCount(sim::kTupletDefaultsTag), 2u);
    EXPECT_EQ(Score().Defaults()->Value1, 0x2222);
    EXPECT_EQ(Score().Tuplet(first, 0)->Value1, 0x1111);
    EXPECT_EQ(Score().Tuplet(second, 0)->Value1, 0x2222);
}

}  // namespace

namespace {

constexpr char kOutOfMemory[] = "There was not enough memory to finish the command. It was stopped.";

// Every allocation of a walk, made to fail in turn: the walk ends there and
// the command shows one alert, with the default caption, instead of its
// report. Compare then counts nothing, Reset keeps the tuplets it saved
// before, and Change changes no defaults, unless it had saved them already
// (its walk meets the region's one tuplet, in the middle cell here, and
// saves the defaults at once, as in every run).
TEST_F(TupletCommand, MemoryRunningOutEndsTheWalkAndTheCommandSaysSo) {
    // Measure 2: tuplets in three cells; measure 3: one tuplet, in slot 2.
    Add(1, 2, {Differing(14, 1), Defaults});
    Add(2, 2, {Differing(10, 3)}, 0, 1);
    Add(3, 2, {Defaults, Differing(28, 5)});
    Add(1, 3, {});
    Add(2, 3, {Differing(20, 7)});
    Add(3, 3, {});
    struct Case {
        const char* name;
        int16_t index;
        int16_t measure;
    };
    const Case cases[] = {{"reset", 0, 2}, {"compare", 1, 2}, {"change", 2, 3}};
    const sim::Score original = Score();
    for (const Case& c : cases) {
        Score() = original;
        const sim::Score before = Score();
        const RegionRecord region = sim::RegionRect(c.measure, 0, c.measure, 1 << 20, 1, 3);
        const uint64_t allocationsBefore = mcpool::Allocations();
        Invoke(c.index, region);
        const uint64_t allocations = mcpool::Allocations() - allocationsBefore;
        const sim::Score clean = Score();
        ASSERT_GE(allocations, 6u) << c.name << ": three cells, each with allocations";
        std::set<std::string> outcomes;
        for (uint64_t n = 1; n <= allocations; ++n) {
            SCOPED_TRACE(std::string(c.name) + ", allocation " + std::to_string(n) + " fails");
            Score() = before;
            const size_t boxesBefore = Host.Boxes().List().size();
            const size_t defaultsSavedBefore = Host.Log().SavedCount(sim::kTupletDefaultsTag);
            Host.Boxes().ScriptAnswers({sim::kIdYes});
            mcpool::FailAllocation(n);
            EXPECT_EQ(Invoke(c.index, region), 1);
            mcpool::FailAllocation(0);
            EXPECT_EQ(Host.Frames().Counts().Held, 0u);
            EXPECT_TRUE(Host.Frames().Errors().empty());
            std::vector<std::string> boxes;
            for (size_t b = boxesBefore; b < Host.Boxes().List().size(); ++b) {
                const sim::BoxRecord& box = Host.Boxes().List()[b];
                boxes.push_back(box.CaptionUtf8() + ": " + box.TextUtf8());
                if (box.TextUtf8() == kOutOfMemory) {
                    EXPECT_EQ(box.Style, 0x10u);
                }
            }
            const std::string alert = std::string("Error: ") + kOutOfMemory;
            if (c.index == 1) {
                EXPECT_EQ(boxes, std::vector<std::string>{alert});
                EXPECT_TRUE(Score() == before);
            } else if (c.index == 0) {
                EXPECT_EQ(boxes, std::vector<std::string>{alert});
                // Each tuplet as it was or as Reset writes it.
                for (const auto& [key, bytes] : Score().Records) {
                    EXPECT_TRUE(bytes == *before.FindRecord(key.Tag, key.Words) ||
                                bytes == *clean.FindRecord(key.Tag, key.Words));
                }
            } else if (Host.Log().SavedCount(sim::kTupletDefaultsTag) > defaultsSavedBefore) {
                outcomes.insert("saved, then stopped");
                EXPECT_EQ(boxes.size(), 1u) << "the question only";
                EXPECT_TRUE(Score() == clean);
            } else {
                outcomes.insert(boxes.size() == 1 ? "stopped counting"
                                                  : "stopped before the tuplet");
                EXPECT_EQ(boxes.back(), alert);
                EXPECT_LE(boxes.size(), 2u) << "the question, at most, before the alert";
                EXPECT_TRUE(Score() == before);
            }
            if (HasFailure()) return;
        }
        if (c.index == 2) {
            EXPECT_EQ(outcomes.size(), 3u) << "every moment of Change";
        }
    }
}

}  // namespace
