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
        {"slots 9", {0, 9, 1, 0, 0, 9, 5, kEnd}},
        {"measures 3-2", {5, 2, 3, 0, 7, 4, 2, kEnd}},
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
        {"measures x-2", "a measure is a number"},
        {"measures 1:-5", "a position is a number"},
        {"measures 40000", "a measure is a number"},
        {"slots 1-b", "slots are S or S-T"},
        {"scopes 70000", "scopes are X or X,Y"},
        {"measures 1 measures 2", "measures are given twice"},
        {"1-2/3 slots 4", "slots are given twice"},
        {"all slots 1", "stands alone"},
        {"staves 1-2", "unknown word \"staves\""},
        {"region 1,2,3", "eight numbers"},
        {"region 1,2,3,4,5,6,7,x", "region fields"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::ParseSelection(c.text, ThreeStaves(), error)) << c.text;
        EXPECT_NE(error.find(c.problem), std::string::npos) << "\"" << c.text << "\": " << error;
    }
}

TEST(Selection, TheFormattedSelectionReadsBackAsTheSameRecord) {
    const sim::Score score = ThreeStaves();
    for (const char* text : {"all", "measures 1:256-2:0 slots 3", "region 1,2,3,-4,5,-6,7,8",
                             "region 0,0,0,0,0,0,0,0"}) {
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
