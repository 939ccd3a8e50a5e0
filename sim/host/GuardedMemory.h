// Host memory handed to a module, fenced: inaccessible pages after each block, and when released.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// How a faulting instruction touched memory, as far as the system says.
enum class MemoryAccess : uint8_t { Unknown, Read, Write };

// A fault in fenced memory, named: "frame 3 used after release", "read past
// the end of frame 3", "wrote more than 2048 bytes past the 772-byte
// record". Overrun: a write past the end of a block.
struct FencedFault {
    bool Overrun = false;
    std::string What;
};

// The memory of the buffers the host hands a module: layer frames, the
// selection record, the menu records and the Init word. Each block lies at
// the end of pages of its own, followed by pages that may not be touched, so
// that a module reading or writing past its end faults at once; a block the
// module writes into has a fence between the two, bytes of a pattern that
// are checked after each call. A released block without a fence (a frame,
// the selection record) has its pages made inaccessible too, and kept aside
// (quarantined) before they are used again, for a bounded number of blocks
// and bytes, so that a module that keeps a pointer faults instead of reading
// another block. Pages to use again keep their memory up to a bound; beyond
// it, their memory goes back to the system.
//
// Making pages inaccessible costs a change of the page tables, which some
// virtual machines make slow (tens of microseconds): so only the first
// releases of a process close their blocks' pages, and then one in a few
// (Limits), which catches a module that uses blocks after their release,
// as such a module does with every block; the others are used again at
// once. A run whose time is measured may keep every released block
// accessible (KeepReleasedOpen), which leaves it the pages after each
// block, and a fenced block, whose fences are checked by then, is used again
// at once.
//
// A fault's address tells which block it hit (Explain). Where the system
// refuses more pages (too many mappings, a memory limit), blocks come from
// the heap, with their fences but without the pages around them. Under
// AddressSanitizer released blocks are also poisoned. Safe to use from
// several threads.
class GuardedMemory {
  public:
    // Writable bytes after a block that the module writes into: an overrun
    // is measured up to this length, beyond it the module faults.
    static constexpr size_t kFenceBytes = 2048;
    // The byte that fills fences.
    static constexpr uint8_t kFenceFill = 0xA5;

    struct Limits {
        size_t QuarantineBlocks = 1024;             // released blocks kept aside ...
        size_t QuarantineBytes = size_t{16} << 20;  // ... while they hold at most this
        size_t FreeBytes = size_t{8} << 20;         // memory kept in pages to use again
        size_t MappedBlocks = 16384;  // blocks in pages of their own at once; then the heap
        // Releases whose pages are closed: every one of the first, then one
        // in ClosedAfterwards (0: none).
        size_t ClosedReleases = 64;
        size_t ClosedAfterwards = 64;
    };

    GuardedMemory() : GuardedMemory(Limits{}) {}
    explicit GuardedMemory(Limits limits) : Bounds(limits) {}
    GuardedMemory(const GuardedMemory&) = delete;
    GuardedMemory& operator=(const GuardedMemory&) = delete;
    // Gives its pages back; the shared pool is never destroyed, as a module
    // may hold pointers into it to the end.
    ~GuardedMemory();

    // The process's pool, which the host's buffers come from.
    static GuardedMemory& Shared();

    // A block of size bytes, named for reports ("frame 3", "the 772-byte
    // record"). With a fence (fenced = true), the rest of its pages is filled
    // with kFenceFill, kFenceBytes of it after the block and the rest before
    // it, the block included; without, the block's bytes are zero. Throws
    // std::bad_alloc when no memory is left.
    uint8_t* Allocate(size_t size, std::string name, bool fenced = false);
    // Makes a block's pages inaccessible and keeps them aside for a while,
    // but for a fenced one. Anything but a block of this pool is ignored.
    void Release(const void* block);
    // While open is true, blocks released stay accessible.
    void KeepReleasedOpen(bool open);
    // Keeps blocks released while it lives open in the shared pool, when
    // asked to.
    class ReleasesKeptOpen {
      public:
        explicit ReleasesKeptOpen(bool open) : Open(open) {
            if (Open)
                Shared().KeepReleasedOpen(true);
        }
        ~ReleasesKeptOpen() {
            if (Open)
                Shared().KeepReleasedOpen(false);
        }
        ReleasesKeptOpen(const ReleasesKeptOpen&) = delete;
        ReleasesKeptOpen& operator=(const ReleasesKeptOpen&) = delete;

      private:
        bool Open;
    };

    // For a block with a fence: "wrote 3 bytes past the 772-byte record",
    // "wrote 1 byte before the 772-byte record", or nothing.
    std::optional<std::string> FenceBreach(const void* block) const;
    // A fault at address named after the block it hit, when it hit one's
    // pages or the pages after them.
    std::optional<FencedFault> Explain(const void* address, MemoryAccess access) const;

    // Blocks in pages of their own and on the heap, now live.
    size_t MappedLive() const;
    size_t HeapLive() const;

  private:
    enum class State : uint8_t { Live, Quarantined, Free };
    struct Region {
        uint8_t* Base = nullptr;  // its first page, or the heap block
        size_t Bytes = 0;         // accessible while live; guard pages follow mapped ones
        uint8_t* Data = nullptr;  // the block
        size_t Size = 0;
        bool Fenced = false;
        bool Mapped = true;
        bool Open = false;     // its pages accessible
        bool Holding = false;  // not live, and its memory still there
        State Now = State::Live;
        std::string Name;
    };
    struct Slab {
        uint8_t* Base = nullptr;
        size_t Bytes = 0;
    };

    // The system's part: GuardedMemoryPosix.cpp, GuardedMemoryWindows.cpp.
    static size_t PageBytes();
    // Address space that may not be touched; null when refused.
    static uint8_t* Reserve(size_t bytes);
    // Pages of it made readable and writable; false when refused. Pages
    // whose memory was given back are zero.
    static bool Open(uint8_t* at, size_t bytes);
    // Pages made inaccessible again: true when they keep their memory (on
    // Linux), false when it was given back (on Windows, where it counts
    // against a job's limit).
    static bool Close(uint8_t* at, size_t bytes);
    // The memory of pages given back: true when they stay accessible (on
    // Linux, zero when next touched), false when not (on Windows).
    static bool Drop(uint8_t* at, size_t bytes);
    // Address space given back.
    static void Unreserve(uint8_t* at, size_t bytes);

    Region* MappedRegion(size_t bytes);
    Region* HeapRegion(size_t bytes);
    void Retire(uintptr_t base);
    // The region whose accessible bytes hold address, or with withGuard
    // also the guard pages after a mapped one.
    const Region* Containing(const void* address, bool withGuard) const;

    Limits Bounds;
    mutable std::recursive_mutex Lock;
    std::map<uintptr_t, Region> Regions;                   // by Base
    std::map<size_t, std::vector<uintptr_t>> FreeByBytes;  // mapped regions to use again
    std::deque<uintptr_t> Quarantine;                      // oldest first
    size_t QuarantinedBytes = 0;                           // of the blocks in it
    size_t FreeHeldBytes = 0;                              // memory of mapped regions to use again
    size_t LiveMapped = 0;
    size_t LiveHeap = 0;
    bool ReleasedOpen = false;
    size_t Releases = 0;  // of blocks without a fence
    std::vector<Slab> Slabs;      // reserved address space
    uint8_t* SlabNext = nullptr;  // of the last slab, not yet carved
    uint8_t* SlabEnd = nullptr;
};

}  // namespace sim
