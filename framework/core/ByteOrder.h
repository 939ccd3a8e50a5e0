#pragma once

#include <cstdint>
#include <cstring>

// Little-endian reads and writes of host memory at any alignment.

inline uint16_t ReadLE16(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ReadLE32(const void* at) {
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void WriteLE16(void* at, uint16_t value) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

inline void WriteLE32(void* at, uint32_t value) {
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

// A pointer stored in host memory, possibly unaligned.
inline void* ReadPointer(const void* at) {
    void* value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

inline void WritePointer(void* at, const void* value) { std::memcpy(at, &value, sizeof value); }
