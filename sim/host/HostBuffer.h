// One buffer the host hands a module, in fenced memory, released when it goes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

namespace sim {

// One buffer of host memory handed to the module (GuardedMemory::Shared):
// it ends where inaccessible pages begin, and one that the module writes
// into has a fence between the two, which Breach checks after each call.
// Released, and so inaccessible, when it goes.
class HostBuffer {
  public:
    // size bytes holding a copy of bytes (or zero), named for reports ("the
    // selection record"). written: the module writes into it; fenced.
    HostBuffer(const void* bytes, size_t size, std::string name, bool written);
    HostBuffer(HostBuffer&& other) noexcept;
    HostBuffer(const HostBuffer&) = delete;
    HostBuffer& operator=(const HostBuffer&) = delete;
    HostBuffer& operator=(HostBuffer&&) = delete;
    ~HostBuffer();

    // A record the module fills, named "the 196-byte record".
    template <typename Record>
    static HostBuffer ForRecord(const Record& initial) {
        return HostBuffer(&initial, sizeof initial,
                          "the " + std::to_string(sizeof initial) + "-byte record", true);
    }

    uint8_t* Data() const { return Block; }
    size_t Size() const { return Bytes; }
    // The buffer as the record it holds, for the module.
    template <typename Record>
    Record* As() const {
        return reinterpret_cast<Record*>(Block);
    }
    // A copy of what it holds now.
    template <typename Record>
    Record Copy() const {
        Record record;
        std::memcpy(&record, Block, sizeof record);
        return record;
    }
    // "wrote 3 bytes past the 772-byte record", "wrote 1 byte before ...",
    // or nothing.
    std::optional<std::string> Breach() const;

  private:
    uint8_t* Block = nullptr;
    size_t Bytes = 0;
};

}  // namespace sim
