// Differences between two scores, named down to the field.
#include <gtest/gtest.h>

#include "sim/score/ScoreDiff.h"

namespace {

std::vector<std::string> Described(const sim::Score& before, const sim::Score& after) {
    std::vector<std::string> lines;
    for (const sim::ScoreChange& change : sim::DiffScores(before, after)) {
        lines.push_back(change.Describe());
    }
    return lines;
}

sim::Score Base() {
    sim::Score score;
    score.AddStaff(4, 1).AddStaff(2, 2);
    score.SetDefaults(sim::TupletDefinition{.Position2 = 16, .Flags = 0x1102});
    score.AddEntry(2, 3, 1, 0, {sim::TupletDefinition{}, sim::TupletDefinition{.Value1 = 1}});
    score.SetPartRecord('1', '4', 0, {0, 0, 0, 0, 5, 6});
    return score;
}

TEST(ScoreDiff, EqualScoresHaveNoChanges) {
    EXPECT_TRUE(sim::DiffScores(Base(), Base()).empty());
}

TEST(ScoreDiff, TupletAndDefaultsChangesNameTheFieldAndTheTuplet) {
    sim::Score after = Base();
    after.SetTuplet(
        1, 1,
        sim::TupletDefinition{
            .HeadWords = {0, 9, 0, 0}, .OptionBits = 0x21, .Position1 = 4, .Value1 = 1});
    after.SetDefaults(sim::TupletDefinition{.Position2 = 16, .Flags = 0x8240, .Value7 = 2});
    const auto changes = sim::DiffScores(Base(), after);
    // Records in key order: the tuplet tag 0x45035450 comes before 'pfTP'.
    const std::vector<std::string> expected = {
        "tuplet at staff 2, measure 3, layer 1, entry 1, index 1: HeadWords[1] 0 -> 9",
        "tuplet at staff 2, measure 3, layer 1, entry 1, index 1: OptionBits 0x0000 -> 0x0021",
        "tuplet at staff 2, measure 3, layer 1, entry 1, index 1: Position1 0 -> 4",
        "defaults: Flags 0x1102 -> 0x8240",
        "defaults: Value7 0 -> 2",
    };
    EXPECT_EQ(Described(Base(), after), expected);
    ASSERT_EQ(changes.size(), 5u);
    EXPECT_EQ(changes[2].What, sim::ScoreChange::Kind::Tuplet);
    EXPECT_EQ(changes[2].EntryNumber, 1u);
    EXPECT_EQ(changes[2].Index, 1);
    EXPECT_EQ(changes[2].Field, "Position1");
    EXPECT_EQ(changes[2].Old, "0");
    EXPECT_EQ(changes[2].New, "4");
    EXPECT_EQ(changes[3].What, sim::ScoreChange::Kind::Defaults);
}

TEST(ScoreDiff, OtherRecordsChangeWordByWordOrAsAWhole) {
    sim::Score after = Base();
    after.SetPartRecord('1', '4', 0, {0, 0, 0, 0, 5, 0xFFFF});
    after.SetRecord(sim::MakeTag('n', 'e', 'w', ' '), {1, 2, 3, 4}, {0xAB});
    after.SetRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys, {1, 2});
    after.RemoveRecord(sim::kTupletTag, sim::TupletKeys(1, 0));
    const std::vector<std::string> expected = {
        "tuplet at staff 2, measure 3, layer 1, entry 1, index 0: deleted, was "
        "0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000 0000",
        "record 'new ' {1,2,3,4}: created, AB",
        "record 'ot14' {0xFFFE,0,0,0}: word 5 0x0006 -> 0xFFFF",
        "defaults: bytes 0000 0000 0000 0000 0000 0000 1000 0000 0000 0211 0000 0000 0000 0000 "
        "0000 -> 0102",
    };
    EXPECT_EQ(Described(Base(), after), expected);
}

TEST(ScoreDiff, StructureChangesAreListedBeforeRecords) {
    sim::Score after = Base();
    after.Document = 3;
    after.SetLayers(4, {3});
    after.AddStaff(7, 3, 1);
    after.Cells.begin()->second[0].Position = 12;
    after.AddEntry(7, 1, 0, 5);
    const std::vector<std::string> expected = {
        "score: document 1 -> 3",
        "score: hidden layers none -> 3",
        "staff 7: added at slot 3, scope 1",
        "entry 1: position 0 -> 12",
        "entry 2: added at staff 7, measure 1, layer 0",
    };
    EXPECT_EQ(Described(Base(), after), expected);
}

}  // namespace
