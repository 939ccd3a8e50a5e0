#pragma once

#include <cstdint>

#include "contract/MelvaraHostFunctions.h"
#include "contract/MelvaraRegion.h"

// The floor of the benchmarks: for each command, a bare loop that makes the
// host calls the module makes for it, with the same arguments and in the
// same order (the test beside it holds the two call logs side by side), and
// nothing else: no framework objects, no heap, no copying or comparing of
// tuplets. Whatever the module takes beyond the floor is its own work.
namespace benchfloor {

// The host functions, looked up once by name.
struct HostFunctions {
    MX_LoadKDataFn LoadKData = nullptr;
    MX_SaveKDataFn SaveKData = nullptr;
    MX_GetCurrentKovrinDocumentFn GetCurrentKovrinDocument = nullptr;
    MX_LoadTGFFn LoadTGF = nullptr;
    MX_FreeTGFFn FreeTGF = nullptr;
    MX_SlotToInstFn SlotToInst = nullptr;
    MX_InstToSlotFn InstToSlot = nullptr;
    MX_GetShowLayerFn GetShowLayer = nullptr;
    MX_GetMaxLayersFn GetMaxLayers = nullptr;

    // find answers a name with the function's address, as GetProcAddress.
    // False when one of them is missing: the floor needs them all.
    bool Find(void* (*find)(const char* name));
};

// What a floor run went through.
struct FloorCounts {
    int64_t Cells = 0;
    int64_t Entries = 0;
    int64_t Tuplets = 0;  // tuplets handed to the command's handler
};

// The calls of MelvaraExtensionInvoke with menu index 0, 1 and 2 over the
// region (the record passed with the command). Message boxes go through the
// platform layer, as the module's do.
FloorCounts Reset(const HostFunctions& host, void* window, const RegionRecord& region);
FloorCounts Compare(const HostFunctions& host, void* window, const RegionRecord& region);
FloorCounts Change(const HostFunctions& host, void* window, const RegionRecord& region);

}  // namespace benchfloor
