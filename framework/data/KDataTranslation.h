#pragma once

#include <cstdint>

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

// *count is the capacity on entry and the record's size on return.
int16_t LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count, uint32_t version);
// count is the number of bytes in buffer.
int16_t SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count, uint32_t version);
