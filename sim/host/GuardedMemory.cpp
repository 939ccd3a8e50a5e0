// Fenced host memory: blocks at the end of their pages, fences, quarantine, and faults named.
#include "sim/host/GuardedMemory.h"

#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_ASAN 1
#endif
#endif
#if defined(SIM_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace sim {
namespace {

// Inaccessible pages after each mapped block: an overrun that skips ahead,
// as a copy that stores its last bytes first does, still lands in them.
constexpr size_t kGuardPages = 16;
// Address space reserved at once, carved into blocks.
constexpr size_t kSlabBytes = size_t{64} << 20;
// Fence bytes at least before a fenced block.
constexpr size_t kFrontFence = 64;

void Poison(const void* at, size_t size) {
#if defined(SIM_ASAN)
    ASAN_POISON_MEMORY_REGION(at, size);
#else
    (void)at;
    (void)size;
#endif
}

void Unpoison(const void* at, size_t size) {
#if defined(SIM_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(at, size);
#else
    (void)at;
    (void)size;
#endif
}

std::string CountOfBytes(size_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace

GuardedMemory::~GuardedMemory() {
    for (auto& [base, region] : Regions) {
        if (!region.Mapped) {
            Unpoison(region.Base, region.Bytes);
            delete[] region.Base;
        }
    }
    for (const Slab& slab : Slabs) {
        Unpoison(slab.Base, slab.Bytes);
        Unreserve(slab.Base, slab.Bytes);
    }
}

GuardedMemory& GuardedMemory::Shared() {
    // Never destroyed: a module may hold pointers into it to the end.
    static GuardedMemory* const shared = new GuardedMemory();
    return *shared;
}

GuardedMemory::Region* GuardedMemory::MappedRegion(size_t bytes) {
    Region* region = nullptr;
    auto free = FreeByBytes.find(bytes);
    if (free != FreeByBytes.end() && !free->second.empty()) {
        region = &Regions.at(free->second.back());
        free->second.pop_back();
    } else {
        const size_t span = bytes + kGuardPages * PageBytes();
        if (SlabNext == nullptr || static_cast<size_t>(SlabEnd - SlabNext) < span) {
            const size_t reserved = span > kSlabBytes ? span : kSlabBytes;
            uint8_t* slab = Reserve(reserved);
            if (slab == nullptr)
                return nullptr;
            Slabs.push_back({slab, reserved});
            SlabNext = slab;
            SlabEnd = slab + reserved;
        }
        Region fresh;
        fresh.Base = SlabNext;
        fresh.Bytes = bytes;
        fresh.Now = State::Free;
        SlabNext += span;
        region = &Regions.emplace(reinterpret_cast<uintptr_t>(fresh.Base), fresh).first->second;
    }
    if (!region->Open && !Open(region->Base, region->Bytes)) {
        FreeByBytes[bytes].push_back(reinterpret_cast<uintptr_t>(region->Base));
        return nullptr;
    }
    region->Open = true;
    if (region->Holding)
        FreeHeldBytes -= region->Bytes;
    region->Holding = false;
    Unpoison(region->Base, region->Bytes);
    ++LiveMapped;
    return region;
}

GuardedMemory::Region* GuardedMemory::HeapRegion(size_t bytes) {
    Region heap;
    heap.Base = new uint8_t[bytes]();
    heap.Bytes = bytes;
    heap.Mapped = false;
    ++LiveHeap;
    return &Regions.emplace(reinterpret_cast<uintptr_t>(heap.Base), heap).first->second;
}

uint8_t* GuardedMemory::Allocate(size_t size, std::string name, bool fenced) {
    const size_t page = PageBytes();
    const size_t fence = fenced ? kFenceBytes : 0;
    const size_t needed = size + fence + (fenced ? kFrontFence : 0);
    std::lock_guard<std::recursive_mutex> hold(Lock);
    Region* region = nullptr;
    if (LiveMapped < Bounds.MappedBlocks)
        region = MappedRegion(needed == 0 ? page : (needed + page - 1) / page * page);
    if (region == nullptr)
        region = HeapRegion(needed == 0 ? 1 : needed);
    region->Data = region->Base + region->Bytes - fence - size;
    region->Size = size;
    region->Fenced = fenced;
    region->Name = std::move(name);
    region->Now = State::Live;
    if (fenced)
        std::memset(region->Base, kFenceFill, region->Bytes);
    else
        std::memset(region->Data, 0, size);  // pages used again keep what they held
    return region->Data;
}

void GuardedMemory::Release(const void* block) {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    const Region* found = Containing(block, false);
    if (found == nullptr || found->Data != block || found->Now != State::Live)
        return;
    Region& region = Regions.at(reinterpret_cast<uintptr_t>(found->Base));
    // A fenced block's fences have been checked: it is used again at once,
    // open, as is any block released while they are kept open, and those
    // past the closing budget (one in ClosedAfterwards aside).
    const size_t release = region.Fenced ? 0 : ++Releases;
    const bool closed = release <= Bounds.ClosedReleases ||
                        (Bounds.ClosedAfterwards != 0 &&
                         (release - Bounds.ClosedReleases) % Bounds.ClosedAfterwards == 0);
    const bool open = ReleasedOpen || region.Fenced || !closed;
    if (region.Mapped) {
        region.Holding = open || Close(region.Base, region.Bytes);
        region.Open = open;
        --LiveMapped;
    } else {
        --LiveHeap;
    }
    QuarantinedBytes += region.Bytes;
    Poison(region.Base, region.Bytes);
    if (open) {
        Retire(reinterpret_cast<uintptr_t>(region.Base));
        return;
    }
    region.Now = State::Quarantined;
    Quarantine.push_back(reinterpret_cast<uintptr_t>(region.Base));
    while (!Quarantine.empty() && (Quarantine.size() > Bounds.QuarantineBlocks ||
                                   QuarantinedBytes > Bounds.QuarantineBytes)) {
        const uintptr_t oldest = Quarantine.front();
        Quarantine.pop_front();
        Retire(oldest);
    }
}

void GuardedMemory::KeepReleasedOpen(bool open) {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    ReleasedOpen = open;
}

void GuardedMemory::Retire(uintptr_t base) {
    Region& region = Regions.at(base);
    QuarantinedBytes -= region.Bytes;
    if (region.Mapped) {
        region.Now = State::Free;
        if (region.Holding && FreeHeldBytes + region.Bytes > Bounds.FreeBytes) {
            const bool accessible = Drop(region.Base, region.Bytes);
            region.Open = region.Open && accessible;
            region.Holding = false;
        }
        FreeHeldBytes += region.Holding ? region.Bytes : 0;
        FreeByBytes[region.Bytes].push_back(base);
        return;
    }
    Unpoison(region.Base, region.Bytes);
    delete[] region.Base;
    Regions.erase(base);
}

const GuardedMemory::Region* GuardedMemory::Containing(const void* address, bool withGuard) const {
    const auto at = reinterpret_cast<uintptr_t>(address);
    auto next = Regions.upper_bound(at);
    if (next == Regions.begin())
        return nullptr;
    const Region& region = std::prev(next)->second;
    const size_t guard = withGuard && region.Mapped ? kGuardPages * PageBytes() : 0;
    return at - reinterpret_cast<uintptr_t>(region.Base) < region.Bytes + guard ? &region : nullptr;
}

std::optional<std::string> GuardedMemory::FenceBreach(const void* block) const {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    const Region* region = Containing(block, false);
    if (region == nullptr || region->Data != block || !region->Fenced ||
        region->Now != State::Live) {
        return std::nullopt;
    }
    const uint8_t* after = region->Data + region->Size;
    for (size_t i = kFenceBytes; i > 0; --i) {
        if (after[i - 1] != kFenceFill)
            return "wrote " + CountOfBytes(i) + " past " + region->Name;
    }
    for (const uint8_t* at = region->Base; at < region->Data; ++at) {
        if (*at != kFenceFill)
            return "wrote " + CountOfBytes(static_cast<size_t>(region->Data - at)) + " before " +
                   region->Name;
    }
    return std::nullopt;
}

std::optional<FencedFault> GuardedMemory::Explain(const void* address, MemoryAccess access) const {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    const Region* region = Containing(address, true);
    if (region == nullptr || !region->Mapped)
        return std::nullopt;
    if (region->Now != State::Live)
        return FencedFault{false, region->Name + " used after release"};
    const auto offset = static_cast<size_t>(static_cast<const uint8_t*>(address) - region->Base);
    if (offset < region->Bytes)
        return std::nullopt;  // the block's own pages, accessible: not a fence's doing
    const std::string past = region->Fenced ? "more than " + CountOfBytes(kFenceBytes) + " past "
                                            : std::string("past the end of ");
    switch (access) {
        case MemoryAccess::Write:
            return FencedFault{true, "wrote " + past + region->Name};
        case MemoryAccess::Read:
            return FencedFault{false, "read " + past + region->Name};
        case MemoryAccess::Unknown:
            break;
    }
    return FencedFault{false, "went " + past + region->Name};
}

size_t GuardedMemory::MappedLive() const {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    return LiveMapped;
}

size_t GuardedMemory::HeapLive() const {
    std::lock_guard<std::recursive_mutex> hold(Lock);
    return LiveHeap;
}

}  // namespace sim
