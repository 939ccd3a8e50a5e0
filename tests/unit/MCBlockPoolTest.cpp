#include <gtest/gtest.h>

#include <cstdint>
#include <cstddef>
#include <vector>

#include "framework/core/MCBlockPool.h"
#include "framework/core/MCIteratorHandler.h"
#include "framework/core/MCString.h"
#include "framework/music/MCBrowserTuplets.h"
#include "framework/music/MCMusicRegion.h"
#include "framework/music/MCNoteEntry.h"
#include "framework/music/MCNoteEntryCell.h"
#include "tests/support/SimHostTest.h"

namespace {

class MCBlockPool : public ::testing::Test {
protected:
    MCBlockPool() { mcpool::Trim(); }
    ~MCBlockPool() override { mcpool::Trim(); }
};

TEST_F(MCBlockPool, FreedBlocksServeTheNextRequestsOfTheirSize) {
    if (!mcpool::Pooling()) GTEST_SKIP() << "nothing is kept under AddressSanitizer";
    void* a = mcpool::Allocate(88);
    void* b = mcpool::Allocate(48);
    void* c = mcpool::Allocate(1500);
    mcpool::Free(a, 88);
    mcpool::Free(b, 48);
    mcpool::Free(c, 1500);
    EXPECT_EQ(mcpool::KeptBlocks(), 3u);
    EXPECT_EQ(mcpool::Allocate(81), a) << "81 bytes share the class of 88";
    void* d = mcpool::Allocate(32);
    EXPECT_NE(d, b) << "32 bytes are a class below 48";
    EXPECT_EQ(mcpool::Allocate(33), b) << "33 bytes share the class of 48";
    EXPECT_EQ(mcpool::Allocate(2048), c) << "2048 bytes share the class of 1500";
    EXPECT_EQ(mcpool::KeptBlocks(), 0u);
    mcpool::Free(a, 81);
    mcpool::Free(b, 48);
    mcpool::Free(c, 2048);
    mcpool::Free(d, 32);
}

TEST_F(MCBlockPool, LargeBlocksAndTrimmedBlocksGoBackToTheSystem) {
    // 64 KiB is the largest block kept.
    for (size_t size : {size_t{65536}, size_t{65537}}) {
        void* block = mcpool::Allocate(size);
        ASSERT_NE(block, nullptr);
        mcpool::Free(block, size);
        EXPECT_EQ(mcpool::KeptBlocks(), mcpool::Pooling() && size == 65536 ? 1u : 0u) << size;
        mcpool::Trim();
    }
    std::vector<void*> blocks;
    for (int i = 0; i < 100; ++i) blocks.push_back(mcpool::Allocate(16 * (1 + i % 8)));
    for (int i = 0; i < 100; ++i) mcpool::Free(blocks[i], 16 * (1 + i % 8));
    EXPECT_EQ(mcpool::KeptBlocks(), mcpool::Pooling() ? 100u : 0u);
    mcpool::Trim();
    EXPECT_EQ(mcpool::KeptBlocks(), 0u);
}

// Pooled or not (under AddressSanitizer), a test can make one allocation fail.
TEST_F(MCBlockPool, TheAllocationMadeToFailGivesNoBlockAndIsCounted) {
    const mcpool::FailureWatch watch;
    mcpool::FailAllocation(2);
    void* first = mcpool::Allocate(48);
    EXPECT_FALSE(watch.Failed());
    EXPECT_EQ(mcpool::Allocate(48), nullptr);
    EXPECT_TRUE(watch.Failed());
    void* third = mcpool::Allocate(4096);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(third, nullptr);
    mcpool::Free(first, 48);
    mcpool::Free(third, 4096);
    mcpool::FailAllocation(0);

    // A block the system does not give counts the same. (AddressSanitizer's
    // allocator ends the program at such a size instead of answering null.)
    if (mcpool::Pooling()) {
        const mcpool::FailureWatch system;
        EXPECT_EQ(mcpool::Allocate(SIZE_MAX / 4), nullptr);
        EXPECT_TRUE(system.Failed());
    }
}

TEST_F(MCBlockPool, FrameworkObjectsComeFromThePool) {
    if (!mcpool::Pooling()) GTEST_SKIP() << "nothing is kept under AddressSanitizer";
    auto* note = new MCNote(0, nullptr, nullptr);
    const auto address = reinterpret_cast<uintptr_t>(note);
    delete note;
    EXPECT_EQ(mcpool::KeptBlocks(), 1u);
    auto* again = new (std::nothrow) MCNote(1, nullptr, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(again), address);
    delete again;
}

// A string's text comes from the pool and goes back to it with the string,
// the blocks it outgrew too.
TEST_F(MCBlockPool, AStringGivesItsBlocksBack) {
    if (!mcpool::Pooling()) GTEST_SKIP() << "nothing is kept under AddressSanitizer";
    const uint64_t before = mcpool::Allocations();
    {
        MCString text;
        text.SetCString("A text long enough to need more than one block of the pool");
        ASSERT_GE(mcpool::Allocations() - before, 1u);
    }
    EXPECT_EQ(mcpool::KeptBlocks(), mcpool::Allocations() - before) << "every block is back";
}

// A cell's array of places and its block of entries go back to the pool
// with the cell, those it outgrew too; loaded again as it was, it makes
// its entries anew in the same block.
TEST_F(MCBlockPool, ACellGivesItsBlocksBack) {
    if (!mcpool::Pooling()) GTEST_SKIP() << "nothing is kept under AddressSanitizer";
    sim::Host host;
    host.GetScore().AddStaff(1, 1).SetLayers(2);
    for (int i = 0; i < 3; ++i) host.GetScore().AddEntry(1, 1, 0, i * 10);
    for (int i = 0; i < 20; ++i) host.GetScore().AddEntry(1, 1, 1, i * 10);
    SimHostBinding binding(host);
    const uint64_t before = mcpool::Allocations();
    {
        MCNoteEntryCell cell(1, 1);
        cell.LayerMode = 1;
        ASSERT_TRUE(cell.Load());
        ASSERT_EQ(cell.GetCount(), 3);
        EXPECT_EQ(mcpool::Allocations() - before, 2u) << "an array of places and a block";
        ASSERT_TRUE(cell.Load());
        EXPECT_EQ(mcpool::Allocations() - before, 2u) << "loaded again, nothing new";
        cell.LayerMode = MCNoteEntryCell::kAllLayers;
        ASSERT_TRUE(cell.Load());
        ASSERT_EQ(cell.GetCount(), 23);
    }
    EXPECT_EQ(mcpool::KeptBlocks(), mcpool::Allocations() - before) << "every block is back";
}

class CountingHandler : public MCIteratorHandler {
public:
    bool Iterate(__MCBase*) override { return ++Count < 1000; }
    int Count = 0;
};

class WalkTrims : public SimHostTest {};

TEST_F(WalkTrims, AWalkKeepsNoBlockWhenItEnds) {
    Score().AddStaff(1, 1).AddStaff(2, 2).SetMeasures(2);
    for (int16_t m = 1; m <= 2; ++m) {
        for (int i = 0; i < 15; ++i) Score().AddEntry(1, m, 0, i * 10, {SampleTuplet(static_cast<uint16_t>(i))});
    }
    Score().SetDefaults(SampleTuplet(1));
    MCMusicRegion region;
    region.Record.StartSlot = 1;
    region.Record.EndSlot = 2;
    region.Record.StartMeasure = 1;
    region.Record.EndMeasure = 2;
    region.Record.EndPos = 1000;
    MCBrowserTuplets browser;
    CountingHandler handler;
    EXPECT_EQ(browser.ForEachInRegion(handler, region), 4);
    EXPECT_EQ(handler.Count, 30);
    EXPECT_EQ(mcpool::KeptBlocks(), 0u);
}

}  // namespace
