#pragma once

#include <cstdint>

#include "contract/MelvaraHostFunctions.h"

// The thirteen functions the host program exports, found by name in the
// module "MELVARA.EXE" (or "MELDEMO.EXE") on first use; when neither is
// found, in the main program, whatever its file name. Each wrapper looks its
// function up once and caches the address, a missing one too. A missing
// function behaves as a call that failed: see each wrapper. Integer results
// are the host's 16-bit answers, handed on as they are (so that a wrapper
// ends in its host function); nonzero means success.
// Every call ends with the version argument.
namespace host {

constexpr uint32_t kCallVersion = MELVARA_CALL_VERSION;

using KeyBlock = uint16_t[4];

// Loads record (tag, keys) into buffer; *count is the capacity on entry and
// the record's size on return. Missing: 0.
int16_t MX_LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                 uint32_t version = kCallVersion);
// Whether the host exports MX_LoadKData.
bool HasLoadKData();
// Stores count bytes as record (tag, keys). Missing: 0.
int16_t MX_SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                 uint32_t version = kCallVersion);
// Creates a record; keys[2] is 0xFFFF on entry and the new index on return,
// unless the host leaves it. Missing: 0.
int16_t MX_CreateKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                   uint32_t version = kCallVersion);
// Deletes record (tag, keys). Missing: 0.
int16_t MX_DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version = kCallVersion);
// Steps keys in place to the next record of the tag; 0 when there is none.
// Called without buffer and count. Missing: 0.
int16_t MX_NextKData(uint32_t tag, uint16_t* keys, uint32_t version = kCallVersion);
// Id of the current document. Missing: 0.
int16_t MX_GetCurrentKovrinDocument();
// Fills three areas of 8, 24 and 24 bytes; the first 20 bytes of the third
// are the selected region. Returns false, with nothing written, when the
// host lacks the function.
bool MX_GetCurKRegions(void* area8, void* area24a, void* area24b);
// The entry frame of one layer of one cell, or null. Missing: null.
void* MX_LoadTGF(int16_t slot, int16_t measure, int16_t layer, int16_t option);
// Returns a frame from MX_LoadTGF to the host. Missing: nothing happens.
void MX_FreeTGF(void* frame);
// Staff number of a slot; scope is the word stored before the slot in a
// region or frame. Missing: 0.
int16_t MX_SlotToInst(int16_t slot, uint16_t scope);
// Slot of a staff number. Missing: 0.
int16_t MX_InstToSlot(int16_t staff);
// Nonzero when the host shows the layer (0-based). Missing: 0.
int16_t MX_GetShowLayer(int16_t layer);
// Number of layers. Missing: 4.
int16_t MX_GetMaxLayers();

// Drops the cached module and addresses, so that the next call looks them up
// again. For tests and for host programs that replace their functions.
void ForgetBinding();

}  // namespace host
