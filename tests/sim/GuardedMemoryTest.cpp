// Fenced host memory: overruns measured by the fences, faults named after the
// block they hit, released pages used again only after the quarantine, and
// blocks from the heap when no more pages may be mapped.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/host/GuardedMemory.h"

namespace {

using sim::GuardedMemory;
using sim::MemoryAccess;

TEST(GuardedMemory, AFenceMeasuresHowFarTheModuleWrotePastOrBeforeTheBlock) {
    struct Case {
        ptrdiff_t Offset;  // from the block's start; the block has 772 bytes
        std::optional<std::string> Breach;
    };
    const Case cases[] = {
        {0, std::nullopt},
        {771, std::nullopt},
        {772, "wrote 1 byte past the 772-byte record"},
        {772 + 19, "wrote 20 bytes past the 772-byte record"},
        {772 + GuardedMemory::kFenceBytes - 1, "wrote 2048 bytes past the 772-byte record"},
        {-1, "wrote 1 byte before the 772-byte record"},
        {-60, "wrote 60 bytes before the 772-byte record"},
    };
    GuardedMemory pool;
    for (const Case& c : cases) {
        uint8_t* block = pool.Allocate(772, "the 772-byte record", true);
        block[c.Offset] = 0;
        EXPECT_EQ(pool.FenceBreach(block), c.Breach) << "offset " << c.Offset;
        pool.Release(block);
    }
}

TEST(GuardedMemory, AFaultIsNamedAfterTheBlockWhosePagesItHit) {
    GuardedMemory pool;
    uint8_t* frame = pool.Allocate(170, "frame 3");
    uint8_t* record = pool.Allocate(196, "the 196-byte record", true);
    uint8_t* released = pool.Allocate(24, "frame 4");
    pool.Release(released);
    int elsewhere = 0;
    struct Case {
        const void* Address;
        MemoryAccess Access;
        std::optional<std::string> What;
        bool Overrun;
    };
    const Case cases[] = {
        {frame + 170, MemoryAccess::Read, "read past the end of frame 3", false},
        {frame + 170 + 4000, MemoryAccess::Write, "wrote past the end of frame 3", true},
        {record + 196 + GuardedMemory::kFenceBytes, MemoryAccess::Write,
         "wrote more than 2048 bytes past the 196-byte record", true},
        {record + 196 + GuardedMemory::kFenceBytes, MemoryAccess::Read,
         "read more than 2048 bytes past the 196-byte record", false},
        {released + 6, MemoryAccess::Read, "frame 4 used after release", false},
        {frame, MemoryAccess::Write, std::nullopt, false},
        {&elsewhere, MemoryAccess::Read, std::nullopt, false},
    };
    for (const Case& c : cases) {
        const std::optional<sim::FencedFault> fault = pool.Explain(c.Address, c.Access);
        EXPECT_EQ(fault ? std::optional<std::string>(fault->What) : std::nullopt, c.What)
            << c.What.value_or("nothing");
        EXPECT_EQ(fault && fault->Overrun, c.Overrun) << c.What.value_or("nothing");
    }
    EXPECT_EQ(frame[169], 0) << "a block without a fence starts zero";
}

TEST(GuardedMemory, ReleasedPagesAreUsedAgainOnlyAfterTheQuarantine) {
    GuardedMemory::Limits limits;
    limits.QuarantineBlocks = 3;
    GuardedMemory pool(limits);
    uint8_t* first = pool.Allocate(100, "frame 1");
    first[0] = 7;
    pool.Release(first);
    for (int i = 0; i < 3; ++i) {
        uint8_t* next = pool.Allocate(100, "frame");
        EXPECT_NE(next, first) << "allocation " << i << " during the quarantine";
        pool.Release(next);
    }
    EXPECT_EQ(pool.Allocate(100, "frame"), first) << "out of the quarantine, used again";
    EXPECT_EQ(first[0], 0) << "and zero again";
}

// Closing pages costs much on some machines: the first releases close
// them, then one in a few. A block left open is used again at once; a
// closed one waits in the quarantine.
TEST(GuardedMemory, OnlyTheFirstReleasesAndThenOneInAFewCloseTheirPages) {
    GuardedMemory::Limits limits;
    limits.ClosedReleases = 2;
    limits.ClosedAfterwards = 3;
    GuardedMemory pool(limits);
    std::vector<uint8_t*> blocks;
    for (int i = 0; i < 8; ++i)
        blocks.push_back(pool.Allocate(24, "frame " + std::to_string(i + 1)));
    pool.Release(pool.Allocate(4, "the 32-bit word", true));  // fenced: not counted
    for (uint8_t* block : blocks)
        pool.Release(block);
    std::set<uint8_t*> again;
    for (int i = 0; i < 8; ++i)
        again.insert(pool.Allocate(24, "frame"));
    const bool closed[] = {true, true, false, false, true, false, false, true};
    for (size_t i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(again.count(blocks[i]) == 0, closed[i]) << "release " << i + 1;
}

// Reads as a module does, unseen by our own sanitizer.
__attribute__((no_sanitize("address"))) uint8_t ReadAsModule(const uint8_t* at) {
    return *static_cast<const volatile uint8_t*>(at);
}

TEST(GuardedMemory, ARunWhoseTimeIsMeasuredKeepsReleasedBlocksOpen) {
    GuardedMemory pool;
    pool.KeepReleasedOpen(true);
    uint8_t* kept = pool.Allocate(24, "frame 1");
    kept[0] = 7;
    pool.Release(kept);
    EXPECT_EQ(ReadAsModule(kept), 7) << "a fault here: its pages were closed";
    pool.KeepReleasedOpen(false);
}

TEST(GuardedMemory, PastTheLimitOfMappedBlocksTheyComeFromTheHeapWithTheirFences) {
    GuardedMemory::Limits limits;
    limits.MappedBlocks = 2;
    GuardedMemory pool(limits);
    pool.Allocate(24, "frame 1");
    pool.Allocate(24, "frame 2");
    uint8_t* heap = pool.Allocate(4, "the 32-bit word", true);
    EXPECT_EQ(pool.MappedLive(), 2u);
    EXPECT_EQ(pool.HeapLive(), 1u);
    heap[4] = 0;
    EXPECT_EQ(pool.FenceBreach(heap), "wrote 1 byte past the 32-bit word");
    EXPECT_EQ(pool.Explain(heap + 4 + GuardedMemory::kFenceBytes, MemoryAccess::Write),
              std::nullopt)
        << "no pages of its own to fault on";
    pool.Release(heap);
    EXPECT_EQ(pool.HeapLive(), 0u);
}

}  // namespace
