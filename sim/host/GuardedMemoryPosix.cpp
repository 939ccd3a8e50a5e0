// The system's part of GuardedMemory on Linux: pages reserved, opened and closed (mmap, mprotect).
#include <sys/mman.h>
#include <unistd.h>

#include "sim/host/GuardedMemory.h"

namespace sim {

size_t GuardedMemory::PageBytes() {
    static const size_t bytes = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return bytes;
}

uint8_t* GuardedMemory::Reserve(size_t bytes) {
    // Inaccessible address space is no data: RLIMIT_DATA does not count it.
    void* at = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return at == MAP_FAILED ? nullptr : static_cast<uint8_t*>(at);
}

bool GuardedMemory::Open(uint8_t* at, size_t bytes) {
    return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

bool GuardedMemory::Close(uint8_t* at, size_t bytes) {
    // Inaccessible pages keep their memory, and are no data (RLIMIT_DATA).
    if (mprotect(at, bytes, PROT_NONE) == 0)
        return true;
    // Out of mappings: a new inaccessible mapping in place needs none more.
    mmap(at, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
    return false;
}

bool GuardedMemory::Drop(uint8_t* at, size_t bytes) {
    madvise(at, bytes, MADV_DONTNEED);
    return true;
}

void GuardedMemory::Unreserve(uint8_t* at, size_t bytes) {
    munmap(at, bytes);
}

}  // namespace sim
