#include "framework/core/MCBlockPool.h"

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

// Size classes of 16 bytes up to 512; larger blocks are the system's.
constexpr std::size_t kGrain = 16;
constexpr std::size_t kLargest = 512;
constexpr std::size_t kClasses = kLargest / kGrain;

struct FreeBlock {
    FreeBlock* Next;
};

FreeBlock* freeLists[kClasses] = {};
std::size_t kept = 0;

// The class of a size, or kClasses for a block the system keeps.
std::size_t ClassOf(std::size_t size) {
#if defined(MC_POOL_OFF)
    (void)size;
    return kClasses;
#else
    if (size == 0) size = 1;
    return size > kLargest ? kClasses : (size - 1) / kGrain;
#endif
}

}  // namespace

void* Allocate(std::size_t size) {
    const std::size_t c = ClassOf(size);
    if (c == kClasses) return std::malloc(size == 0 ? 1 : size);
    if (FreeBlock* block = freeLists[c]) {
        freeLists[c] = block->Next;
        --kept;
        return block;
    }
    return std::malloc((c + 1) * kGrain);
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

}  // namespace mcpool
