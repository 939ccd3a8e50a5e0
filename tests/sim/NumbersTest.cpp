// Whole numbers as melvara-sim takes them from its command line.
#include <gtest/gtest.h>

#include "sim/support/Numbers.h"

namespace {

using sim::NumberProblem;

TEST(Numbers, OnlyDecimalAndHexWithinTheRangeAreTaken) {
    struct Case {
        const char* text;
        int64_t low, high;
        NumberProblem problem;
        int64_t value;
    };
    constexpr int64_t kMin = INT64_MIN, kMax = INT64_MAX;
    const Case cases[] = {
        {"0", 0, 10, NumberProblem::None, 0},
        {"10", 0, 10, NumberProblem::None, 10},
        {"-0", 0, 10, NumberProblem::None, 0},
        {"0x1F", 0, 100, NumberProblem::None, 31},
        {"0X00ff", 0, 1000, NumberProblem::None, 255},
        {"-0x8000", -32768, 32767, NumberProblem::None, -32768},
        {"9223372036854775807", kMin, kMax, NumberProblem::None, kMax},
        {"-9223372036854775808", kMin, kMax, NumberProblem::None, kMin},
        {"010", 0, 100, NumberProblem::LeadingZero, 0},
        {"-07", -10, 10, NumberProblem::LeadingZero, 0},
        {"00", 0, 10, NumberProblem::LeadingZero, 0},
        {"", 0, 10, NumberProblem::Malformed, 0},
        {" 5", 0, 10, NumberProblem::Malformed, 0},
        {"5 ", 0, 10, NumberProblem::Malformed, 0},
        {"+5", 0, 10, NumberProblem::Malformed, 0},
        {"-", 0, 10, NumberProblem::Malformed, 0},
        {"0x", 0, 10, NumberProblem::Malformed, 0},
        {"0x-1", -10, 10, NumberProblem::Malformed, 0},
        {"1e3", 0, 10000, NumberProblem::Malformed, 0},
        {"0b1", 0, 10, NumberProblem::Malformed, 0},
        {"11", 0, 10, NumberProblem::OutOfRange, 0},
        {"-1", 0, 10, NumberProblem::OutOfRange, 0},
        {"9223372036854775808", kMin, kMax, NumberProblem::OutOfRange, 0},
        {"-9223372036854775809", kMin, kMax, NumberProblem::OutOfRange, 0},
        {"99999999999999999999999", kMin, kMax, NumberProblem::OutOfRange, 0},
        {"0x10000000000000000", kMin, kMax, NumberProblem::OutOfRange, 0},
    };
    for (const Case& c : cases) {
        int64_t value = -99;
        EXPECT_EQ(sim::ReadInteger(c.text, c.low, c.high, value), c.problem)
            << '"' << c.text << '"';
        EXPECT_EQ(value, c.problem == NumberProblem::None ? c.value : -99) << '"' << c.text << '"';
    }

    uint64_t value = 0;
    EXPECT_EQ(sim::ReadUnsigned("18446744073709551615", 0, UINT64_MAX, value), NumberProblem::None);
    EXPECT_EQ(value, UINT64_MAX);
    EXPECT_EQ(sim::ReadUnsigned("18446744073709551616", 0, UINT64_MAX, value),
              NumberProblem::OutOfRange);
    EXPECT_EQ(sim::ReadUnsigned("-1", 0, UINT64_MAX, value), NumberProblem::OutOfRange);
    EXPECT_EQ(sim::ReadUnsigned("0", 1, 5, value), NumberProblem::OutOfRange);
}

TEST(Numbers, ErrorsNameTheOptionTheTextAndTheRange) {
    uint32_t version = 7;
    std::string error;
    EXPECT_FALSE(sim::ParseNumber("--host-version", "010", version, error));
    EXPECT_EQ(version, 7u);
    EXPECT_EQ(error,
              "--host-version: \"010\" starts with 0, which leaves octal or decimal open; give a "
              "number from 0 to 4294967295, in decimal without leading zeros or as 0x and hex "
              "digits");
    int16_t measures = 0;
    EXPECT_FALSE(sim::ParseNumber<int16_t>("--measures", "0", measures, error, 1, 32767));
    EXPECT_NE(error.find("--measures: \"0\" is out of range; give a number from 1 to 32767"),
              std::string::npos)
        << error;
    EXPECT_TRUE(sim::ParseNumber("--host-version", "0x11000000", version, error));
    EXPECT_EQ(version, 0x11000000u);
}

}  // namespace
