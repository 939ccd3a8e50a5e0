#pragma once

#include <cstdint>

// The host functions as the host program exports them (C linkage). Every
// call ends with the 32-bit version argument; 16-bit results, nonzero for
// success. The module reaches them only through host/HostFunctions.h.
extern "C" {
typedef int16_t (*MX_LoadKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                  uint32_t version);
typedef int16_t (*MX_SaveKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                  uint32_t version);
typedef int16_t (*MX_CreateKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                    uint32_t version);
typedef int16_t (*MX_DeleteKDataFn)(uint32_t tag, uint16_t keys[4], uint32_t version);
typedef int16_t (*MX_NextKDataFn)(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                  uint32_t version);
typedef int16_t (*MX_GetCurrentKovrinDocumentFn)(uint32_t version);
typedef int16_t (*MX_GetCurKRegionsFn)(void* area8, void* area24a, void* area24b,
                                       uint32_t version);
typedef void* (*MX_LoadTGFFn)(void* none, int16_t slot, int16_t measure, int16_t layer,
                              int16_t option, uint32_t version);
typedef void (*MX_FreeTGFFn)(void* frame, uint32_t version);
typedef int16_t (*MX_SlotToInstFn)(int16_t slot, uint16_t scope, uint32_t version);
typedef int16_t (*MX_InstToSlotFn)(int16_t staff, int16_t zero, uint32_t version);
typedef int16_t (*MX_GetShowLayerFn)(int16_t layer, uint32_t version);
typedef int16_t (*MX_GetMaxLayersFn)(uint32_t version);
}
