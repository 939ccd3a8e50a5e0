/* Host memory: little-endian and packed, at any alignment.
 *
 * Every layout the host and a module share (the region record, layer frames,
 * entry records, the records of the document) is little-endian with no gaps
 * between fields, and the host hands it out at any address. Read and write it
 * with these helpers (or memcpy), never through a cast pointer.
 *
 * Plain C99 and C++17. */
#ifndef MELVARA_BYTES_H
#define MELVARA_BYTES_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "contract/MelvaraVersion.h"

/* MELVARA_LAYOUT(name, condition): stops the build when a layout does not
 * hold. name is unique among the checks. C99 has no static assertion: there
 * an array of negative size stops it. */
#if defined(__cplusplus)
#define MELVARA_LAYOUT(name, condition) static_assert(condition, #name)
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define MELVARA_LAYOUT(name, condition) _Static_assert(condition, #name)
#else
#define MELVARA_LAYOUT(name, condition) \
    typedef char melvara_layout_##name[(condition) ? 1 : -1]
#endif

/* The host is a 64-bit program: pointers in its layouts take 8 bytes. */
MELVARA_LAYOUT(pointer_is_8_bytes, sizeof(void*) == 8);

static inline uint16_t MelvaraReadLE16(const void* at) {
    const uint8_t* p = (const uint8_t*)at;
    return (uint16_t)(p[0] | (p[1] << 8));
}

static inline uint32_t MelvaraReadLE32(const void* at) {
    const uint8_t* p = (const uint8_t*)at;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) |
           ((uint32_t)p[3] << 24);
}

static inline void MelvaraWriteLE16(void* at, uint16_t value) {
    uint8_t* p = (uint8_t*)at;
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
}

static inline void MelvaraWriteLE32(void* at, uint32_t value) {
    uint8_t* p = (uint8_t*)at;
    p[0] = (uint8_t)value;
    p[1] = (uint8_t)(value >> 8);
    p[2] = (uint8_t)(value >> 16);
    p[3] = (uint8_t)(value >> 24);
}

/* A pointer stored in host memory, as the host's own machine stores it. */
static inline void* MelvaraReadPointer(const void* at) {
    void* value;
    memcpy(&value, at, sizeof value);
    return value;
}

static inline void MelvaraWritePointer(void* at, const void* value) {
    memcpy(at, &value, sizeof value);
}

#endif
