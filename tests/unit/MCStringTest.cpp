#include <gtest/gtest.h>

#include <string>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCString.h"

namespace {

std::u16string TextOf(const MCString& s) { return s.GetText() ? std::u16string(s.GetText()) : u""; }

TEST(MCString, NewStringIsEmptyWithTenUnits) {
    MCString s;
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), 10u);
    ASSERT_NE(s.GetText(), nullptr);
    EXPECT_EQ(s.GetText()[0], 0);
}

TEST(MCString, SetCStringGrowsToTheNextStep) {
    MCString s;
    ASSERT_TRUE(s.SetCString("fifteen chars!!"));
    EXPECT_EQ(s.GetLength(), 15u);
    EXPECT_EQ(s.GetCapacity(), 20u);
    EXPECT_EQ(TextOf(s), u"fifteen chars!!");
}

TEST(MCString, NineUnitsNeedANewBlockOfTen) {
    MCString s;
    const char16_t* before = s.GetText();
    ASSERT_TRUE(s.EnsureCapacity(9));
    EXPECT_EQ(s.GetCapacity(), 10u);
    // Capacity 10 is not greater than 9 + 1, so a new block was allocated.
    EXPECT_NE(s.GetText(), before);
}

TEST(MCString, StepDependsOnTheCapacityReached) {
    struct Case {
        uint64_t start;  // capacity reached first
        uint64_t ask;
        uint64_t expected;
    };
    const Case cases[] = {
        {10, 10, 20},       {1000, 1000, 1010},  {1010, 1010, 1100},
        {10000, 10000, 10100}, {10100, 10100, 11000},
    };
    for (const Case& c : cases) {
        MCString s;
        // Reach the starting capacity exactly.
        ASSERT_TRUE(s.EnsureCapacity(c.start - 1));
        ASSERT_EQ(s.GetCapacity(), c.start);
        ASSERT_TRUE(s.EnsureCapacity(c.ask));
        EXPECT_EQ(s.GetCapacity(), c.expected) << "from capacity " << c.start << " asking " << c.ask;
    }
}

TEST(MCString, GrowingKeepsTheText) {
    MCString s;
    ASSERT_TRUE(s.SetCString("keep"));
    ASSERT_TRUE(s.EnsureCapacity(500));
    EXPECT_EQ(s.GetLength(), 4u);
    EXPECT_EQ(std::u16string(s.GetText(), 4), u"keep");
}

// An impossible size and a block the pool does not give fail alike: the
// string stays as it was, and the allocation counts as failed.
TEST(MCString, ImpossibleSizeFailsAndKeepsTheString) {
    MCString s;
    ASSERT_TRUE(s.SetCString("abc"));
    for (uint64_t n : {UINT64_MAX, UINT64_MAX - 5, UINT64_MAX / 2, uint64_t{20}}) {
        const mcpool::FailureWatch watch;
        if (n == 20) mcpool::FailAllocation(1);
        EXPECT_FALSE(s.EnsureCapacity(n)) << n;
        mcpool::FailAllocation(0);
        EXPECT_TRUE(watch.Failed()) << n;
        EXPECT_EQ(TextOf(s), u"abc") << n;
        EXPECT_EQ(s.GetCapacity(), 10u) << n;
    }
    mcpool::FailAllocation(1);
    EXPECT_FALSE(s.SetCString("long enough to need a new block"));
    mcpool::FailAllocation(0);
    EXPECT_EQ(TextOf(s), u"abc");
}

TEST(MCString, NullTextFreesTheBlock) {
    MCString s;
    ASSERT_TRUE(s.SetCString("abc"));
    s.SetCString(nullptr);
    EXPECT_EQ(s.GetText(), nullptr);
    EXPECT_EQ(s.GetCapacity(), 0u);
    EXPECT_EQ(s.GetLength(), 0u);
    // And the string is usable again.
    ASSERT_TRUE(s.SetCString("x"));
    EXPECT_EQ(TextOf(s), u"x");
}

TEST(MCString, BytesAreWidenedAsSignedChars) {
    MCString s;
    ASSERT_TRUE(s.SetCString("A\xE9\x7F\x80"));
    ASSERT_EQ(s.GetLength(), 4u);
    EXPECT_EQ(s.GetText()[0], 0x0041);
    EXPECT_EQ(s.GetText()[1], 0xFFE9);
    EXPECT_EQ(s.GetText()[2], 0x007F);
    EXPECT_EQ(s.GetText()[3], 0xFF80);
    EXPECT_EQ(s.GetText()[4], 0);
}

TEST(MCString, SetStringCopiesWholeText) {
    MCString source;
    ASSERT_TRUE(source.SetCString("nine char"));
    MCString copy;
    ASSERT_TRUE(copy.SetString(source));
    EXPECT_EQ(TextOf(copy), u"nine char");
    EXPECT_EQ(copy.GetLength(), 9u);
    // Room for Length + 1 units asked: 10 is not greater than 11.
    EXPECT_EQ(copy.GetCapacity(), 20u);
}

TEST(MCString, SetStringFromEmptyEmptiesAndKeepsBlock) {
    MCString empty;
    MCString s;
    ASSERT_TRUE(s.SetCString("something long enough to grow"));
    const uint64_t capacity = s.GetCapacity();
    ASSERT_TRUE(s.SetString(empty));
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_EQ(s.GetCapacity(), capacity);
    EXPECT_EQ(TextOf(s), u"");

    MCString freed;
    freed.SetCString(nullptr);
    ASSERT_TRUE(s.SetString(freed));
    EXPECT_EQ(TextOf(s), u"");
}

TEST(MCString, SetStringFromItselfKeepsTheText) {
    MCString s;
    ASSERT_TRUE(s.SetCString("self"));
    ASSERT_TRUE(s.SetString(s));
    EXPECT_EQ(TextOf(s), u"self");
}

}  // namespace
