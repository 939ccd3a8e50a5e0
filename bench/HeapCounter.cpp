#include "bench/HeapCounter.h"

#include <malloc.h>

#include <cstddef>

#include "bench/BenchPlatform.h"

namespace heapcounter {
namespace {

bool counting = false;
int64_t moduleLive = 0;
int64_t hostLive = 0;
Figures figures;

void Add(void* block) {
    if (!counting || block == nullptr) return;
    const auto size = static_cast<int64_t>(malloc_usable_size(block));
    if (benchplatform::InHost()) {
        hostLive += size;
        ++figures.HostAllocations;
        if (hostLive > figures.HostPeak) figures.HostPeak = hostLive;
    } else {
        moduleLive += size;
        ++figures.ModuleAllocations;
        if (moduleLive > figures.ModulePeak) figures.ModulePeak = moduleLive;
    }
}

void Remove(void* block) {
    if (!counting || block == nullptr) return;
    const auto size = static_cast<int64_t>(malloc_usable_size(block));
    (benchplatform::InHost() ? hostLive : moduleLive) -= size;
}

}  // namespace

#if defined(MELVARA_NO_HEAP_COUNTER)
bool Available() { return false; }
#else
bool Available() { return true; }
#endif

void Start() {
    moduleLive = 0;
    hostLive = 0;
    figures = Figures{};
    counting = true;
}

Figures Stop() {
    counting = false;
    return figures;
}

}  // namespace heapcounter

#if !defined(MELVARA_NO_HEAP_COUNTER)
// glibc's own allocator, under the names it keeps for programs that replace
// the public ones.
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    heapcounter::Add(block);
    return block;
}

void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    heapcounter::Add(block);
    return block;
}

void* realloc(void* block, size_t size) {
    heapcounter::Remove(block);
    void* moved = __libc_realloc(block, size);
    // A failed realloc leaves the old block in place.
    heapcounter::Add(moved != nullptr || size == 0 ? moved : block);
    return moved;
}

void free(void* block) {
    heapcounter::Remove(block);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    heapcounter::Add(block);
    return block;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** out, size_t alignment, size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* block = memalign(alignment, size);
    if (block == nullptr && size != 0) return 12;  // ENOMEM
    *out = block;
    return 0;
}
}
#endif
