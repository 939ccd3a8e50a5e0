#include <gtest/gtest.h>

#include "framework/core/MCCollection.h"
#include "framework/core/MCIteratorHandler.h"
#include "framework/core/MCString.h"
#include "framework/core/MCUI.h"
#include "framework/data/MCTuplet.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/music/MCBrowserTuplets.h"
#include "framework/music/MCCell.h"
#include "framework/music/MCMusicRegion.h"
#include "framework/music/MCNoteEntryCell.h"
#include "plugin/TupletHandlers.h"

namespace {

class HandlerA : public MCIteratorHandler {
public:
    bool Iterate(__MCBase*) override { return true; }
};
class HandlerB : public MCIteratorHandler {
public:
    bool Iterate(__MCBase*) override { return false; }
};
class PlainCollection : public __MCCollection {};

TEST(ClassIdentity, NamesOfTheCoreClasses) {
    __MCBase base;
    MCString string;
    MCUI ui(nullptr);
    PlainCollection collection;
    HandlerA handler;
    EXPECT_STREQ(base.ClassName(), "__MCBase");
    EXPECT_STREQ(string.ClassName(), "MCString");
    EXPECT_STREQ(ui.ClassName(), "MCUI");
    EXPECT_STREQ(collection.ClassName(), "__MCCollection");
    EXPECT_STREQ(handler.ClassName(), "MCIteratorHandler");
}

TEST(ClassIdentity, NamesAndNumbersOfEveryClass) {
    MCTuplet tuplet;
    MCTupletPrefs prefs;
    MCNoteEntryCell cell(1, 1);
    MCNoteEntry entry(nullptr, nullptr, 0, 0, nullptr);
    MCNote note(0, nullptr, &entry);
    MCBrowserTuplets browser;
    MCTupletChanger changer(&prefs, CompareWithDefaults, false);
    MCOneTupletCounter counter;
    MCMusicRegion region;
    MCCell mcCell(1, 2);
    struct Case {
        const __MCBase* object;
        const char* name;
        int32_t id;
    };
    const Case cases[] = {
        {&tuplet, "MCTuplet", 113},          {&prefs, "MCTupletPrefs", 114},
        {&cell, "MCNoteEntryCell", 0},       {&entry, "MCNoteEntry", 0},
        {&note, "MCNote", 0},                {&browser, "__MCBrowserBase", 0},
        {&changer, "MCIteratorHandler", 0},  {&counter, "MCIteratorHandler", 0},
        {&region, "MCMusicRegion", 0},       {&mcCell, "MCCell", 0},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(c.object->ClassName(), c.name);
        EXPECT_EQ(c.object->ClassID(), c.id) << c.name;
    }
    EXPECT_TRUE(changer.IsSameClass(&counter));
    EXPECT_FALSE(tuplet.IsSameClass(&prefs));
    EXPECT_FALSE(tuplet.IsSameClass(nullptr));
}

TEST(ClassIdentity, ClassIdOfPlainClassesIsZero) {
    MCString string;
    MCUI ui(nullptr);
    HandlerA handler;
    EXPECT_EQ(string.ClassID(), 0);
    EXPECT_EQ(ui.ClassID(), 0);
    EXPECT_EQ(handler.ClassID(), 0);
}

TEST(ClassIdentity, SameClassWhenTheNameIsInheritedTogether) {
    HandlerA a;
    HandlerB b;
    MCString s;
    EXPECT_TRUE(a.IsSameClass(&b));
    EXPECT_TRUE(b.IsSameClass(&a));
    EXPECT_FALSE(a.IsSameClass(&s));
    EXPECT_TRUE(s.IsSameClass(&s));
}

TEST(ClassIdentity, NoObjectIsNeverTheSameClass) {
    __MCBase base;
    MCString s;
    HandlerA a;
    EXPECT_FALSE(base.IsSameClass(nullptr));
    EXPECT_FALSE(s.IsSameClass(nullptr));
    EXPECT_FALSE(a.IsSameClass(nullptr));
}

// Identity of the text, not its characters: a class answering an equal text
// from another literal is another class.
class LookAlike : public __MCBase {
public:
    const char* ClassName() const override { return Name; }
    char Name[9] = "MCString";
};

TEST(ClassIdentity, EqualCharactersAreNotTheSameClass) {
    MCString s;
    LookAlike other;
    ASSERT_STREQ(other.ClassName(), s.ClassName());
    EXPECT_FALSE(s.IsSameClass(&other));
}

class TrackedString : public MCString {
public:
    explicit TrackedString(bool* destroyed) : Destroyed(destroyed) {}
    ~TrackedString() override { *Destroyed = true; }
    bool* Destroyed;
};

TEST(ClassIdentity, DestroyingThroughTheBaseRunsTheMostDerivedDestructor) {
    bool destroyed = false;
    __MCBase* owned = new TrackedString(&destroyed);
    static_cast<MCString*>(owned)->SetCString("owned text that grows the block");
    delete owned;  // a skipped MCString destructor shows as a leak under ASan
    EXPECT_TRUE(destroyed);
}

}  // namespace
