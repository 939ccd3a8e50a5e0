#include <gtest/gtest.h>

#include <vector>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCCollection.h"
#include "framework/core/MCIteratorHandler.h"

namespace {

// An item that reports its destruction.
class Probe : public __MCBase {
public:
    Probe(int id, std::vector<int>* destroyed) : Id(id), Destroyed(destroyed) {}
    ~Probe() override {
        if (Destroyed) Destroyed->push_back(Id);
    }
    int Id;
    std::vector<int>* Destroyed;
};

class Collection : public __MCCollection {};

// Accepts items until the stop-th call (1-based), recording what it saw.
class Recorder : public MCIteratorHandler {
public:
    explicit Recorder(int stopAt = 0) : StopAt(stopAt) {}
    bool Iterate(__MCBase* object) override {
        Seen.push_back(static_cast<Probe*>(object)->Id);
        return static_cast<int>(Seen.size()) != StopAt;
    }
    bool IterateIndex(__MCBase* object, int32_t index) override {
        Indexes.push_back(index);
        return Iterate(object);
    }
    bool IsMatch(__MCBase* object) override { return static_cast<Probe*>(object)->Id == Wanted; }
    int StopAt;
    int Wanted = -1;
    std::vector<int> Seen;
    std::vector<int32_t> Indexes;
};

class DefaultHandler : public MCIteratorHandler {
public:
    bool Iterate(__MCBase*) override { return true; }
};

void Fill(Collection& c, int n, std::vector<int>* destroyed = nullptr) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(c.Add(new Probe(i, destroyed)));
}

TEST(MCCollection, ForEachOnEmptyCallsNothing) {
    Collection c;
    Recorder r;
    EXPECT_EQ(c.ForEach(r), 0);
    EXPECT_TRUE(r.Seen.empty());
}

TEST(MCCollection, FalseOnTheThirdOfFiveStopsTheWalk) {
    Collection c;
    Fill(c, 5);
    Recorder r(3);
    EXPECT_EQ(c.ForEach(r), 2);
    EXPECT_EQ(r.Seen, (std::vector<int>{0, 1, 2}));
}

TEST(MCCollection, ForEachIndexPassesPlacesAndStops) {
    Collection c;
    Fill(c, 4);
    Recorder r(4);
    EXPECT_EQ(c.ForEachIndex(r), 3);
    EXPECT_EQ(r.Indexes, (std::vector<int32_t>{0, 1, 2, 3}));

    // A place without an item is passed over, and still counts in the index.
    Collection gap;
    gap.Add(new Probe(0, nullptr));
    gap.Add(nullptr);
    gap.Add(new Probe(2, nullptr));
    Recorder all;
    EXPECT_EQ(gap.ForEach(all), 2);
    EXPECT_EQ(gap.ForEachIndex(all), 2);
    EXPECT_EQ(all.Seen, (std::vector<int>{0, 2, 0, 2}));
    EXPECT_EQ(all.Indexes, (std::vector<int32_t>{0, 2}));
    Recorder seeking;
    seeking.Wanted = 2;
    EXPECT_EQ(gap.FindFirst(seeking), gap.GetItemAt(2));
}

TEST(MCCollection, CapacityGrowsInStepsChosenByCount) {
    Collection c;
    ASSERT_TRUE(c.EnsureRoom(1));
    EXPECT_EQ(c.GetCapacity(), 10);

    std::vector<int> seen;
    for (int i = 0; i < 1300; ++i) {
        ASSERT_TRUE(c.Add(new Probe(i, nullptr)));
        if (seen.empty() || seen.back() != c.GetCapacity()) seen.push_back(c.GetCapacity());
    }
    std::vector<int> expected;
    for (int cap = 10; cap <= 100; cap += 10) expected.push_back(cap);
    expected.push_back(110);
    for (int cap = 150; cap <= 1000; cap += 50) expected.push_back(cap);
    expected.insert(expected.end(), {1050, 1100, 1200, 1300});
    EXPECT_EQ(seen, expected);
}

TEST(MCCollection, LargeCountsUseTheThousandStep) {
    Collection c;
    Fill(c, 10001);
    EXPECT_EQ(c.GetCapacity(), 10100);
    ASSERT_TRUE(c.EnsureRoom(100));
    EXPECT_EQ(c.GetCapacity(), 11000);
}

TEST(MCCollection, ImpossibleRoomFailsAndKeepsItems) {
    Collection c;
    Fill(c, 3);
    EXPECT_FALSE(c.EnsureRoom(INT32_MAX));
    EXPECT_EQ(c.GetCount(), 3);
    EXPECT_EQ(c.GetCapacity(), 10);
    ASSERT_NE(c.GetItemAt(2), nullptr);

    // An item that finds no room is destroyed, not left to the caller.
    Collection full;
    std::vector<int> destroyed;
    auto* item = new Probe(7, &destroyed);
    mcpool::FailAllocation(1);
    EXPECT_FALSE(full.Add(item));
    mcpool::FailAllocation(0);
    EXPECT_EQ(destroyed, std::vector<int>{7});
    EXPECT_EQ(full.GetCount(), 0);
}

TEST(MCCollection, ClearAllDestroysEachItemOnceAndKeepsCapacity) {
    std::vector<int> destroyed;
    {
        Collection c;
        Fill(c, 12, &destroyed);
        c.ClearAll();
        EXPECT_EQ(c.GetCount(), 0);
        EXPECT_EQ(c.GetCapacity(), 20);
        EXPECT_EQ(destroyed.size(), 12u);
        EXPECT_EQ(c.GetItemAt(0), nullptr);
    }
    // The destructor found nothing more to destroy.
    EXPECT_EQ(destroyed.size(), 12u);
}

TEST(MCCollection, DestructorDestroysItems) {
    for (int count : {1, 3}) {
        std::vector<int> destroyed;
        { Collection c; Fill(c, count, &destroyed); }
        EXPECT_EQ(destroyed.size(), static_cast<size_t>(count));
        for (int i = 0; i < static_cast<int>(destroyed.size()); ++i) EXPECT_EQ(destroyed[i], i);
    }
}

TEST(MCCollection, GetItemAtOutsideTheItemsIsNone) {
    Collection empty;
    EXPECT_EQ(empty.GetItemAt(0), nullptr);
    Collection c;
    Fill(c, 2);
    EXPECT_EQ(c.GetItemAt(-1), nullptr);
    EXPECT_EQ(c.GetItemAt(2), nullptr);
    EXPECT_EQ(static_cast<Probe*>(c.GetItemAt(1))->Id, 1);
}

TEST(MCCollection, FindFirstUsesIsMatch) {
    Collection c;
    Fill(c, 4);
    DefaultHandler byDefault;
    EXPECT_EQ(c.FindFirst(byDefault), nullptr);
    Recorder r;
    r.Wanted = 2;
    EXPECT_EQ(c.FindFirst(r), c.GetItemAt(2));
}

TEST(MCIteratorHandler, DefaultsOfTheOptionalOperations) {
    DefaultHandler h;
    Probe p(0, nullptr);
    EXPECT_TRUE(h.IterateIndex(&p, 0));
    EXPECT_FALSE(h.IsMatch(&p));
    EXPECT_STREQ(h.ClassName(), "MCIteratorHandler");
}

}  // namespace
