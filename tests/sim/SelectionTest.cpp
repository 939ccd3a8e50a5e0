// The selection syntax of melvara-sim run.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>

#include "sim/score/Selection.h"

namespace {

constexpr int32_t kEnd = std::numeric_limits<int32_t>::max();

// Slots 2 to 4 (scopes 5, 6, 7), five measures.
sim::Score ThreeStaves() {
    sim::Score score;
    score.SetMeasures(5);
    score.AddStaff(1, 2, 5).AddStaff(8, 3, 6).AddStaff(3, 4, 7);
    return score;
}

struct Fields {
    uint16_t startScope;
    int16_t startSlot, startMeasure;
    int32_t startPos;
    uint16_t endScope;
    int16_t endSlot, endMeasure;
    int32_t endPos;
};

Fields Of(const RegionRecord& r) {
    return {r.StartSlotScope, r.StartSlot, r.StartMeasure, r.StartPos,
            r.EndSlotScope,   r.EndSlot,   r.EndMeasure,   r.EndPos};
}

auto Tie(const Fields& f) {
    return std::tie(f.startScope, f.startSlot, f.startMeasure, f.startPos, f.endScope, f.endSlot,
                    f.endMeasure, f.endPos);
}

bool operator==(const Fields& a, const Fields& b) {
    return Tie(a) == Tie(b);
}

std::ostream& operator<<(std::ostream& out, const Fields& f) {
    return out << "{" << f.startScope << "," << f.startSlot << "," << f.startMeasure << ","
               << f.startPos << " / " << f.endScope << "," << f.endSlot << "," << f.endMeasure
               << "," << f.endPos << "}";
}

TEST(Selection, TextsGiveTheRegionRecord) {
    struct Case {
        const char* text;
        Fields region;
    };
    const Case cases[] = {
        {"", {5, 2, 1, 0, 7, 4, 5, kEnd}},
        {"all", {5, 2, 1, 0, 7, 4, 5, kEnd}},
        {"ALL", {5, 2, 1, 0, 7, 4, 5, kEnd}},
        {"measures 2-3", {5, 2, 2, 0, 7, 4, 3, kEnd}},
        {"measure 4", {5, 2, 4, 0, 7, 4, 4, kEnd}},
        {"measures 1:256-2:0", {5, 2, 1, 256, 7, 4, 2, 0}},
        {"measures 2:100", {5, 2, 2, 100, 7, 4, 2, kEnd}},
        {"measures 2-3:50", {5, 2, 2, 0, 7, 4, 3, 50}},
        {"slots 3-4", {6, 3, 1, 0, 7, 4, 5, kEnd}},
        {"slot 3", {6, 3, 1, 0, 6, 3, 5, kEnd}},
        {"Slots 3-4  Measures 2-2", {6, 3, 2, 0, 7, 4, 2, kEnd}},
        {"measures 1-2 slots 2-3 scopes 9,10", {9, 2, 1, 0, 10, 3, 2, kEnd}},
        {"scope 0", {0, 2, 1, 0, 0, 4, 5, kEnd}},
        {"2-3", {5, 2, 2, 0, 7, 4, 3, kEnd}},
        {"measure 2/3", {6, 3, 2, 0, 6, 3, 2, kEnd}},
        {"measures 1-32767 slots 1-32767", {5, 2, 1, 0, 7, 4, 5, kEnd}},
        {"measures 0x2-0x3", {5, 2, 2, 0, 7, 4, 3, kEnd}},
        {"measures 2:100-2:100", {5, 2, 2, 100, 7, 4, 2, 100}},
        {"2-3/3-4", {6, 3, 2, 0, 7, 4, 3, kEnd}},
        {"1:256-2:0/2", {5, 2, 1, 256, 5, 2, 2, 0}},
        {"region 1,2,3,-4,5,-6,7,8", {1, 2, 3, -4, 5, -6, 7, 8}},
        {"region 1, 2, 3, 4, 5, 6, 7, 8", {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    const sim::Score score = ThreeStaves();
    for (const Case& c : cases) {
        std::string error;
        const auto selection = sim::ParseSelection(c.text, score, error);
        ASSERT_TRUE(selection) << "\"" << c.text << "\": " << error;
        EXPECT_TRUE(selection->Present) << c.text;
        EXPECT_EQ(Of(selection->Region), c.region) << "\"" << c.text << "\"";
    }
}

TEST(Selection, NoneMeansNoRegionRecord) {
    std::string error;
    const auto selection = sim::ParseSelection(" none ", ThreeStaves(), error);
    ASSERT_TRUE(selection) << error;
    EXPECT_FALSE(selection->Present);
    EXPECT_EQ(sim::FormatSelection(*selection), "none");
}

TEST(Selection, MistakesAreReported) {
    struct Case {
        const char* text;
        const char* problem;
    };
    const Case cases[] = {
        {"measures", "needs a value"},
        {"measures x-2",
         "\"measures x-2\": \"x\" is not a measure: a measure is a whole number "
         "from 1 to 32767"},
        {"measure -1", "\"measure -1\": \"-1\" is not a measure"},
        {"measures 1-", "\"measures 1-\": the range has no end after \"-\""},
        {"measures 1:-5",
         "\"measures 1:-5\": \"-5\" is not a position: a position is a whole "
         "number from 0 to 2147483647"},
        {"measures 1:", "\"measures 1:\": a position is missing"},
        {"measures 1-2-3", "\"measures 1-2-3\": \"2-3\" is not a measure"},
        {"measure 0", "\"measure 0\": \"0\" is not a measure"},
        {"measures 010", "\"measures 010\": \"010\" is not a measure"},
        {"measures 40000", "\"40000\" is not a measure"},
        {"measures 3-2", "\"measures 3-2\": the range runs backwards"},
        {"Measures 2:10-2:5", "\"Measures 2:10-2:5\": the range runs backwards"},
        {"slots 1-b", "\"slots 1-b\": \"b\" is not a slot"},
        {"slot 0", "\"slot 0\": \"0\" is not a slot"},
        {"slots 4-2", "\"slots 4-2\": the range runs backwards"},
        {"3-2/1", "\"3-2/1\": the range runs backwards"},
        {"1-2/", "\"1-2/\": a slot is missing"},
        {"scopes 70000", "\"scopes 70000\": \"70000\" is not a scope"},
        {"measures 1 measures 2", "measures are given twice"},
        {"1-2/3 slots 4", "slots are given twice"},
        {"all slots 1", "stands alone"},
        {"staves 1-2", "unknown word \"staves\""},
        {"region 1,2,3", "eight numbers"},
        {"region 1,2,3,4,5,6,7,x", "\"region 1,2,3,4,5,6,7,x\": scopes are numbers from 0 to 65535"},
        // Wholly outside the score: nothing is left to cut to.
        {"slots 9", "\"slots 9\": slot 9 holds no staff: the score's staves are in slots 2-4"},
        {"7-9/1-3", "\"7-9/1-3\": the score has 5 measures"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::ParseSelection(c.text, ThreeStaves(), error)) << c.text;
        EXPECT_NE(error.find(c.problem), std::string::npos) << "\"" << c.text << "\": " << error;
    }
}

TEST(Selection, MeasuresAndSlotsOutsideTheScoreAreWarnedAbout) {
    struct Case {
        const char* text;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {"all", {}},
        {"measures 1-5 slots 2-4", {}},
        {"region 0,9,9,0,0,9,9,0", {}},
        {"measures 4-7",
         {"measures 6-7 are outside the score, which has 5 measures: the selection ends at "
          "measure 5"}},
        {"measure 5-6",
         {"measure 6 is outside the score, which has 5 measures: the selection ends at measure 5"}},
        {"slots 1-5",
         {"slot 1 holds no staff: the score's staves are in slots 2-4; the selection starts at "
          "slot 2",
          "slot 5 holds no staff: the score's staves are in slots 2-4; the selection ends at "
          "slot 4"}},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto selection = sim::ParseSelection(c.text, ThreeStaves(), error);
        ASSERT_TRUE(selection) << c.text << ": " << error;
        EXPECT_EQ(selection->Warnings, c.warnings) << c.text;
    }
}

TEST(Selection, TheFormattedSelectionReadsBackAsTheSameRecord) {
    const sim::Score score = ThreeStaves();
    for (const char* text : {"all", "measures 1:256-2:0 slots 3", "region 1,2,3,-4,5,-6,7,8",
                             "region 0,0,0,0,0,0,0,0", "region 0,2,3,0,0,1,2,0"}) {
        std::string error;
        const auto selection = sim::ParseSelection(text, score, error);
        ASSERT_TRUE(selection) << error;
        const std::string formatted = sim::FormatSelection(*selection);
        const auto again = sim::ParseSelection(formatted, score, error);
        ASSERT_TRUE(again) << formatted << ": " << error;
        EXPECT_EQ(Of(again->Region), Of(selection->Region)) << text << " -> " << formatted;
    }
    EXPECT_EQ(sim::FormatSelection(sim::WholeScore(score)),
              "measures 1:0-5:2147483647 slots 2-4 scopes 5,7");
}

}  // namespace
