#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/data/MCTuplet.h"
#include "framework/data/MCTupletPrefs.h"
#include "plugin/TupletHandlers.h"

namespace {

using TD = ::TupletDefinition;

// The rules as the commands apply them: Compare's changer, which compares
// each tuplet with defaults it normalises once and again only when they
// change, and counts the differences.
class TupletRules : public ::testing::Test {
protected:
    // Whether Compare counts the tuplet as equal to the defaults, with or
    // without its position; MatchesDefaults must say the same.
    bool Matches(bool withPosition) {
        const int32_t before = Different(withPosition);
        EXPECT_TRUE(changer.Iterate(&tuplet));
        const bool matches = Different(withPosition) == before;
        EXPECT_EQ(changer.MatchesDefaults(tuplet, withPosition), matches);
        return matches;
    }
    int32_t Different(bool withPosition) const {
        return withPosition ? changer.DifferentCount : changer.DifferentExclPositionCount;
    }
    void Set(TD& d, int offset, uint16_t value) { d.SetWord(offset, value); }

    MCTuplet tuplet;
    MCTupletPrefs defaults;
    MCTupletChanger changer{&defaults, CompareWithDefaults, false};
};

TEST_F(TupletRules, NormalisedSelectorsAndTriStateMatch) {
    struct Case {
        const char* name;
        uint16_t tupletFlags, tupletOptions, defaultFlags, defaultOptions;
        bool matches;
    };
    const Case cases[] = {
        {"SelectorA 7 counts as 0", 0x0007, 0, 0x0000, 0, true},
        {"SelectorA 15 counts as 0", 0x000F, 0, 0x0005, 0, true},
        {"SelectorA 4 is held", 0x0004, 0, 0x0000, 0, false},
        {"SelectorA 1 against 2", 0x0001, 0, 0x0002, 0, false},
        {"SelectorB 0x50 counts as 0", 0x0050, 0, 0x0000, 0, true},
        {"SelectorB 0x70 against 0x60", 0x0070, 0, 0x0060, 0, true},
        {"SelectorB 0x40 is held", 0x0040, 0, 0x0000, 0, false},
        {"SelectorC 0x3000 counts as 0", 0x3000, 0, 0x0000, 0, true},
        {"SelectorC 0x1000 against 0x2000", 0x1000, 0, 0x2000, 0, false},
        {"option bit 4 counts only with flag 15", 0x0000, 0x0010, 0x0000, 0x0000, true},
        {"tri-state 2 against 1", 0x8000, 0x0010, 0x8000, 0x0000, false},
        {"tri-state 1 against 0", 0x8000, 0x0000, 0x0000, 0x0000, false},
        {"tri-state 2 against 2", 0x8000, 0x0010, 0x8000, 0x0010, true},
        {"option bits 5 to 15 are ignored", 0x0000, 0xFFE0, 0x0000, 0x0000, true},
    };
    for (const Case& c : cases) {
        Set(tuplet.Definition, TD::kFlags, c.tupletFlags);
        Set(tuplet.Definition, TD::kOptionBits, c.tupletOptions);
        Set(defaults.Definition, TD::kFlags, c.defaultFlags);
        Set(defaults.Definition, TD::kOptionBits, c.defaultOptions);
        EXPECT_EQ(Matches(true), c.matches) << c.name;
        EXPECT_EQ(Matches(false), c.matches) << c.name;
    }
}

TEST_F(TupletRules, EveryGovernedSettingOnItsOwnMakesADifference) {
    struct Case {
        const char* name;
        int offset;
        uint16_t value;
    };
    const Case cases[] = {
        {"Flags bit 7", TD::kFlags, 0x0080},     {"Flags bit 8", TD::kFlags, 0x0100},
        {"Flags bit 9", TD::kFlags, 0x0200},     {"Flags bit 10", TD::kFlags, 0x0400},
        {"Flags bit 11", TD::kFlags, 0x0800},    {"Flags bit 14", TD::kFlags, 0x4000},
        {"OptionBits bit 0", TD::kOptionBits, 0x0001}, {"OptionBits bit 1", TD::kOptionBits, 0x0002},
        {"OptionBits bit 2", TD::kOptionBits, 0x0004}, {"OptionBits bit 3", TD::kOptionBits, 0x0008},
        {"Value1", TD::kValue1, 1}, {"Value2", TD::kValue2, 0x8000}, {"Value3", TD::kValue3, 3},
        {"Value4", TD::kValue4, 4}, {"Value5", TD::kValue5, 5},     {"Value6", TD::kValue6, 6},
        {"Value7", TD::kValue7, 0xFFFF},
    };
    for (const Case& c : cases) {
        std::memset(tuplet.Definition.Bytes, 0, TD::kSize);
        std::memset(defaults.Definition.Bytes, 0, TD::kSize);
        Set(tuplet.Definition, c.offset, c.value);
        EXPECT_FALSE(Matches(true)) << c.name;
        EXPECT_FALSE(Matches(false)) << c.name;
    }
}

// The comparison keeps the defaults as it last normalised them; defaults
// changed in any word since give fresh answers.
TEST_F(TupletRules, DefaultsChangedBetweenTwoComparisonsGiveFreshAnswers) {
    struct Case {
        const char* name;
        int offset;
    };
    const Case cases[] = {{"OptionBits", TD::kOptionBits}, {"Value1", TD::kValue1},
                          {"Flags", TD::kFlags},           {"Value3", TD::kValue3},
                          {"Value6", TD::kValue6}};
    for (const Case& c : cases) {
        std::memset(tuplet.Definition.Bytes, 0, TD::kSize);
        std::memset(defaults.Definition.Bytes, 0, TD::kSize);
        Set(tuplet.Definition, c.offset, 3);
        Set(defaults.Definition, c.offset, 3);
        EXPECT_TRUE(Matches(true)) << c.name;
        Set(defaults.Definition, c.offset, 4);
        EXPECT_FALSE(Matches(true)) << c.name;
        EXPECT_FALSE(Matches(false)) << c.name;
        Set(defaults.Definition, c.offset, 3);
        EXPECT_TRUE(Matches(false)) << c.name;
    }
}

TEST_F(TupletRules, PositionCountsOnlyWhenAskedFor) {
    for (int offset : {TD::kPosition1, TD::kPosition2}) {
        std::memset(tuplet.Definition.Bytes, 0, TD::kSize);
        Set(tuplet.Definition, offset, 12);
        EXPECT_FALSE(Matches(true)) << "offset " << offset;
        EXPECT_TRUE(Matches(false)) << "offset " << offset;
    }
}

TEST_F(TupletRules, HeadWordsAreNeitherComparedNorCopied) {
    for (int i = 0; i < 8; ++i) tuplet.Definition.Bytes[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_TRUE(Matches(true));
    ASSERT_TRUE(defaults.CopyToTuplet(&tuplet));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(tuplet.Definition.Bytes[i], 0xA0 + i) << "byte " << i;
    ASSERT_TRUE(defaults.CopyFromTuplet(&tuplet, true));
    for (int i = 0; i < 8; ++i) EXPECT_EQ(defaults.Definition.Bytes[i], 0) << "byte " << i;
}

TEST_F(TupletRules, CopyRewritesFlagsWithNormalisedSelectors) {
    struct Case {
        uint16_t source;
        uint16_t expected;
    };
    const Case cases[] = {
        {0x0007, 0x0000}, {0x0003, 0x0003}, {0x3000, 0x0000}, {0x2000, 0x2000},
        {0x0050, 0x0000}, {0x0030, 0x0030}, {0xFFFF, 0xCF80}, {0xCF84, 0xCF84},
        {0x1234, 0x1234}, {0x4FF9, 0x4F80},
    };
    for (const Case& c : cases) {
        Set(defaults.Definition, TD::kFlags, c.source);
        Set(tuplet.Definition, TD::kFlags, 0xFFFF);
        ASSERT_TRUE(defaults.CopyToTuplet(&tuplet));
        EXPECT_EQ(tuplet.Definition.Flags(), c.expected) << std::hex << "source 0x" << c.source;
    }
}

TEST_F(TupletRules, CopyRewritesOptionBitsZeroToFourOnly) {
    struct Case {
        uint16_t sourceFlags, sourceOptions, targetOptions, expected;
    };
    const Case cases[] = {
        {0x0000, 0x001F, 0xFFE0, 0xFFEF},  // bit 4 without flag 15 does not travel
        {0x8000, 0x001F, 0x0000, 0x001F},  // tri-state 2
        {0x8000, 0x000F, 0x0010, 0x000F},  // tri-state 1 clears the target's bit 4
        {0x0000, 0x0000, 0xFFFF, 0xFFE0},
    };
    for (const Case& c : cases) {
        Set(tuplet.Definition, TD::kFlags, c.sourceFlags);
        Set(tuplet.Definition, TD::kOptionBits, c.sourceOptions);
        Set(defaults.Definition, TD::kOptionBits, c.targetOptions);
        ASSERT_TRUE(defaults.CopyFromTuplet(&tuplet, false));
        EXPECT_EQ(defaults.Definition.OptionBits(), c.expected)
            << std::hex << "flags 0x" << c.sourceFlags << " options 0x" << c.sourceOptions;
    }
}

TEST_F(TupletRules, CopyToTupletAlwaysTakesThePositionCopyFromTupletOnlyWhenAsked) {
    Set(defaults.Definition, TD::kPosition1, 11);
    Set(defaults.Definition, TD::kPosition2, 22);
    Set(tuplet.Definition, TD::kPosition1, 33);
    Set(tuplet.Definition, TD::kPosition2, 44);

    ASSERT_TRUE(defaults.CopyFromTuplet(&tuplet, false));
    EXPECT_EQ(defaults.Definition.Word(TD::kPosition1), 11);
    EXPECT_EQ(defaults.Definition.Word(TD::kPosition2), 22);
    ASSERT_TRUE(defaults.CopyFromTuplet(&tuplet, true));
    EXPECT_EQ(defaults.Definition.Word(TD::kPosition1), 33);
    EXPECT_EQ(defaults.Definition.Word(TD::kPosition2), 44);

    Set(defaults.Definition, TD::kPosition2, 55);
    ASSERT_TRUE(defaults.CopyToTuplet(&tuplet));
    EXPECT_EQ(tuplet.Definition.Word(TD::kPosition2), 55);
}

TEST_F(TupletRules, ACopiedTupletMatches) {
    const uint16_t words[15] = {1, 2, 3, 4, 0xFFFF, 0x1234, 0x5678, 9, 10, 0xBEEF, 12, 13, 14, 15, 16};
    for (int i = 0; i < 15; ++i) Set(tuplet.Definition, 2 * i, words[i]);
    for (int i = 0; i < 15; ++i) Set(defaults.Definition, 2 * i, static_cast<uint16_t>(~words[i]));

    ASSERT_TRUE(defaults.CopyFromTuplet(&tuplet, false));
    EXPECT_TRUE(Matches(false));
    EXPECT_FALSE(Matches(true));

    for (int i = 0; i < 15; ++i) Set(tuplet.Definition, 2 * i, static_cast<uint16_t>(words[i] * 7));
    ASSERT_TRUE(defaults.CopyToTuplet(&tuplet));
    EXPECT_TRUE(Matches(true));
}

TEST_F(TupletRules, NoTupletChangesNothing) {
    Set(defaults.Definition, TD::kValue1, 5);
    EXPECT_FALSE(defaults.CopyToTuplet(nullptr));
    EXPECT_FALSE(defaults.CopyFromTuplet(nullptr, true));
    EXPECT_EQ(defaults.Definition.Word(TD::kValue1), 5);
}

TEST_F(TupletRules, SelectorAccessorNormalises) {
    for (uint16_t pattern = 0; pattern < 16; ++pattern) {
        Set(tuplet.Definition, TD::kFlags, static_cast<uint16_t>(0xFFF0 | pattern));
        Set(defaults.Definition, TD::kFlags, pattern);
        const int expected = pattern <= 4 ? pattern : 0;
        EXPECT_EQ(tuplet.SelectorA(), expected) << "pattern " << pattern;
        EXPECT_EQ(defaults.SelectorA(), expected) << "pattern " << pattern;
    }
}

}  // namespace
