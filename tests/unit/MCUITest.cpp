#include <gtest/gtest.h>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCUI.h"
#include "tests/support/TestPlatform.h"

namespace {

// A string holding an 8-bit literal.
struct Text : MCString {
    explicit Text(const char* text) { SetCString(text); }
};

class MCUITest : public ::testing::Test {
protected:
    void SetUp() override { testplatform::Reset(); }

    const testplatform::MessageBox& LastBox() {
        auto& boxes = testplatform::Current().Boxes;
        EXPECT_FALSE(boxes.empty());
        return boxes.back();
    }

    int window = 0;
    MCUI ui{&window};
};

TEST_F(MCUITest, StylesAndDefaultCaptionsPerBox) {
    struct Case {
        const char* name;
        void (*show)(const MCUI&, const MCString&, const MCString*);
        unsigned style;
        std::u16string defaultCaption;
    };
    const Case cases[] = {
        {"alert", [](const MCUI& u, const MCString& t, const MCString* c) { u.ShowAlert(t, c); },
         0x10, u"Error"},
        {"yes/no", [](const MCUI& u, const MCString& t, const MCString* c) { u.AskYesNo(t, c); },
         0x4, u"Yes/No?"},
        {"info", [](const MCUI& u, const MCString& t, const MCString* c) { u.ShowInfo(t, c); },
         0x0, u""},
    };
    const Text text("Body");
    const Text empty("");
    const Text oneChar("X");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.show(ui, text, nullptr);
        EXPECT_EQ(LastBox().Caption, c.defaultCaption);
        EXPECT_EQ(LastBox().Style, c.style);
        EXPECT_EQ(LastBox().Text, u"Body");
        EXPECT_EQ(LastBox().Window, &window);

        c.show(ui, text, &empty);
        EXPECT_EQ(LastBox().Caption, c.defaultCaption);

        c.show(ui, text, &oneChar);
        EXPECT_EQ(LastBox().Caption, u"X");

        // A caption that cannot be made is no box at all, not a box without it.
        const size_t shown = testplatform::Current().Boxes.size();
        for (const MCString* caption : {static_cast<const MCString*>(nullptr),
                                        static_cast<const MCString*>(&oneChar)}) {
            mcpool::FailAllocation(1);
            c.show(ui, text, caption);
            mcpool::FailAllocation(0);
        }
        EXPECT_EQ(testplatform::Current().Boxes.size(), shown);
    }
    // Each box asks IsWindow about the owner first.
    EXPECT_EQ(testplatform::Current().IsWindowCalls.size(), 9u);
}

// The alert over a static text is shown when no memory is left at all.
TEST_F(MCUITest, AnAlertOverAStaticTextNeedsNoMemory) {
    const uint64_t allocations = mcpool::Allocations();
    mcpool::FailAllocation(1);
    ui.ShowAlert(u"Out of memory.");
    mcpool::FailAllocation(0);
    EXPECT_EQ(mcpool::Allocations(), allocations);
    EXPECT_EQ(LastBox().Text, u"Out of memory.");
    EXPECT_EQ(LastBox().Caption, u"Error");
    EXPECT_EQ(LastBox().Style, 0x10u);
    EXPECT_EQ(LastBox().Window, &window);
}

TEST_F(MCUITest, AskYesNoMapsTheAnswer) {
    struct Case {
        int messageBoxResult;
        int expected;
    };
    const Case cases[] = {{6, MCUI::AnswerYes}, {7, MCUI::AnswerNo}, {0, MCUI::AnswerOther},
                          {1, MCUI::AnswerOther}, {2, MCUI::AnswerOther}};
    const Text text("Question?");
    for (const Case& c : cases) {
        testplatform::Current().Answers.push_back(c.messageBoxResult);
        EXPECT_EQ(ui.AskYesNo(text, nullptr), c.expected) << "MessageBoxW gave " << c.messageBoxResult;
    }
}

TEST_F(MCUITest, NullWindowIsPassedOnUnchanged) {
    MCUI unowned(nullptr);
    unowned.ShowInfo(Text("t"), nullptr);
    EXPECT_EQ(LastBox().Window, nullptr);
    ASSERT_EQ(testplatform::Current().IsWindowCalls.size(), 1u);
    EXPECT_EQ(testplatform::Current().IsWindowCalls[0], nullptr);
}

TEST_F(MCUITest, CaptionIsCopiedNotReplacedWhenGiven) {
    const Text caption("Too Few/Many Tuplets");
    ui.ShowAlert(Text("text"), &caption);
    EXPECT_EQ(LastBox().Caption, u"Too Few/Many Tuplets");
    EXPECT_STREQ(ui.ClassName(), "MCUI");
}

}  // namespace
