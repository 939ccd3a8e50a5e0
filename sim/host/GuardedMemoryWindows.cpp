// The system's part of GuardedMemory on Windows: pages reserved, committed and decommitted.
#include <windows.h>

#include "sim/host/GuardedMemory.h"

namespace sim {

size_t GuardedMemory::PageBytes() {
    static const size_t bytes = [] {
        SYSTEM_INFO system{};
        GetSystemInfo(&system);
        return static_cast<size_t>(system.dwPageSize);
    }();
    return bytes;
}

uint8_t* GuardedMemory::Reserve(size_t bytes) {
    return static_cast<uint8_t*>(VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS));
}

bool GuardedMemory::Open(uint8_t* at, size_t bytes) {
    return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

bool GuardedMemory::Close(uint8_t* at, size_t bytes) {
    // Decommitted pages are inaccessible, and no longer count against a
    // job's limit on committed memory.
    VirtualFree(at, bytes, MEM_DECOMMIT);
    return false;
}

bool GuardedMemory::Drop(uint8_t* at, size_t bytes) {
    VirtualFree(at, bytes, MEM_DECOMMIT);
    return false;
}

void GuardedMemory::Unreserve(uint8_t* at, size_t) {
    VirtualFree(at, 0, MEM_RELEASE);
}

}  // namespace sim
