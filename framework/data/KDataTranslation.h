#pragma once

#include <cstdint>

#include "framework/host/HostFunctions.h"

// The records' way to MX_LoadKData and MX_SaveKData, with the same arguments
// and results. Most tags go straight to the host. Composed preference tags
// ('pf' and two characters) are assembled from part records instead: a run
// of consecutive part records (range map) or field by field (field map).
// Size queries (no buffer) of composed tags make no host call.

constexpr uint32_t kZeroCompareTag = 0x4F096649;
// Bytes a caller of kZeroCompareTag offers at least.
constexpr uint32_t kZeroCompareBytes = 108;
// Saves with an older version argument go straight to the host.
constexpr uint32_t kFirstTranslatedVersion = 0x08000000;

// Every tag of the maps is a preference tag: 'pf' and two characters.
constexpr uint32_t kPreferencePrefix = 0x7066;  // 'pf'
constexpr bool IsPreferenceTag(uint32_t tag) { return (tag >> 16) == kPreferencePrefix; }

// The loads and saves that are not simply passed on to the host.
int16_t TranslatedLoad(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                       uint32_t version);
int16_t TranslatedSave(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                       uint32_t version);

// *count is the capacity on entry and the record's size on return.
inline int16_t LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                         uint32_t version) {
    // Tuplets and part records, most loads, go straight to the host.
    if (!IsPreferenceTag(tag) && tag != kZeroCompareTag) {
        return host::MX_LoadKData(tag, keys, buffer, count, version);
    }
    return TranslatedLoad(tag, keys, buffer, count, version);
}

// count is the number of bytes in buffer.
inline int16_t SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                         uint32_t version) {
    if (!IsPreferenceTag(tag) || version < kFirstTranslatedVersion) {
        return host::MX_SaveKData(tag, keys, buffer, count, version);
    }
    return TranslatedSave(tag, keys, buffer, count, version);
}
