#pragma once

#include <cstdint>

#include "contract/MelvaraBytes.h"

// Little-endian reads and writes of host memory at any alignment, by the
// names the framework uses.

inline uint16_t ReadLE16(const void* at) { return MelvaraReadLE16(at); }
inline uint32_t ReadLE32(const void* at) { return MelvaraReadLE32(at); }
inline void WriteLE16(void* at, uint16_t value) { MelvaraWriteLE16(at, value); }
inline void WriteLE32(void* at, uint32_t value) { MelvaraWriteLE32(at, value); }
inline void* ReadPointer(const void* at) { return MelvaraReadPointer(at); }
inline void WritePointer(void* at, const void* value) { MelvaraWritePointer(at, value); }
