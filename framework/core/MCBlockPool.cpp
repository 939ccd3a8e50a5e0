#include "framework/core/MCBlockPool.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define MC_POOL_OFF 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MC_POOL_OFF 1
#endif
#endif

namespace mcpool {
namespace {

// Size classes of 16 bytes up to 512 (objects, item arrays), then of powers
// of two up to 64 KiB (a cell's block of entries); larger blocks are the
// system's.
constexpr std::size_t kGrain = 16;
constexpr std::size_t kLargestFine = 512;
constexpr std::size_t kFineClasses = kLargestFine / kGrain;
constexpr int kLargestShift = 16;
constexpr std::size_t kClasses = kFineClasses + kLargestShift - 9;
constexpr std::size_t kLargestBlock = PTRDIFF_MAX;

struct FreeBlock {
    FreeBlock* Next;
};

FreeBlock* freeLists[kClasses] = {};
std::size_t kept = 0;
uint64_t allocations = 0;
uint64_t failingAllocation = 0;  // 0: none

// The class of a size, or kClasses for a block the system keeps.
std::size_t ClassOf(std::size_t size) {
#if defined(MC_POOL_OFF)
    (void)size;
    return kClasses;
#else
    if (size == 0) size = 1;
    if (size <= kLargestFine) return (size - 1) / kGrain;
    if (size > (std::size_t{1} << kLargestShift)) return kClasses;
    return kFineClasses + static_cast<std::size_t>(std::bit_width(size - 1)) - 10;
#endif
}

// The bytes a block of a class has.
std::size_t BlockBytes(std::size_t c) {
    return c < kFineClasses ? (c + 1) * kGrain : std::size_t{1024} << (c - kFineClasses);
}

}  // namespace

namespace detail {
uint64_t failures = 0;
}  // namespace detail

using detail::failures;

void* Allocate(std::size_t size) {
    // No system gives a block of more than PTRDIFF_MAX bytes: such a size
    // (a computation that saturated) fails here without asking.
    if (++allocations == failingAllocation || size > kLargestBlock) {
        ++failures;
        return nullptr;
    }
    const std::size_t c = ClassOf(size);
    void* block;
    if (c == kClasses) {
        block = std::malloc(size == 0 ? 1 : size);
    } else if (FreeBlock* free = freeLists[c]) {
        freeLists[c] = free->Next;
        --kept;
        return free;
    } else {
        block = std::malloc(BlockBytes(c));
    }
    if (block == nullptr) ++failures;
    return block;
}

void Free(void* block, std::size_t size) {
    if (block == nullptr) return;
    const std::size_t c = ClassOf(size);
    if (c == kClasses) {
        std::free(block);
        return;
    }
    freeLists[c] = new (block) FreeBlock{freeLists[c]};
    ++kept;
}

void Trim() {
    for (FreeBlock*& list : freeLists) {
        while (list != nullptr) {
            FreeBlock* next = list->Next;
            std::free(list);
            list = next;
        }
    }
    kept = 0;
}

std::size_t KeptBlocks() { return kept; }

bool Pooling() { return ClassOf(1) != kClasses; }

uint64_t Allocations() { return allocations; }

void FailAllocation(uint64_t n) { failingAllocation = n == 0 ? 0 : allocations + n; }

}  // namespace mcpool
