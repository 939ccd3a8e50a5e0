// A buffer the host hands a module: taken from the fenced pool and given back.
#include "sim/host/HostBuffer.h"

#include "sim/host/GuardedMemory.h"

namespace sim {

HostBuffer::HostBuffer(const void* bytes, size_t size, std::string name, bool written)
    : Block(GuardedMemory::Shared().Allocate(size, std::move(name), written)), Bytes(size) {
    if (bytes != nullptr && size != 0)
        std::memcpy(Block, bytes, size);
    else if (size != 0)
        std::memset(Block, 0, size);
}

HostBuffer::HostBuffer(HostBuffer&& other) noexcept : Block(other.Block), Bytes(other.Bytes) {
    other.Block = nullptr;
    other.Bytes = 0;
}

HostBuffer::~HostBuffer() {
    if (Block != nullptr)
        GuardedMemory::Shared().Release(Block);
}

std::optional<std::string> HostBuffer::Breach() const {
    return GuardedMemory::Shared().FenceBreach(Block);
}

}  // namespace sim
