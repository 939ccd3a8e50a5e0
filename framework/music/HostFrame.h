#pragma once

#include <cstdint>

#include "framework/core/ByteOrder.h"

// The host's layer frame and entry record, read in place (packed,
// little-endian, any alignment).
namespace hostframe {

// Layer frame: the memory behind a handle from MX_LoadTGF.
constexpr int kFrameSlotScope = 0;   // 16 bits
constexpr int kFrameSlot = 2;        // 16 bits
constexpr int kFrameMeasure = 6;     // 16 bits
constexpr int kFrameEntries = 14;    // pointer to the first entry record
constexpr int kFrameEntryCount = 22; // signed 16 bits

// Entry record.
constexpr int kEntryRecordBytes = 146;
constexpr int kEntryNumber = 0;      // 32 bits
constexpr int kEntryFlags = 8;       // 32 bits
constexpr int kEntryNoteCount = 14;  // signed 16 bits
constexpr int kEntryNotes = 16;      // 10 bytes per note
constexpr int kNoteBytes = 10;
constexpr int kEntryPos = 136;       // signed 32 bits
// The note blocks that fit between the notes and the position.
constexpr int kMaxNotes = (kEntryPos - kEntryNotes) / kNoteBytes;

constexpr uint32_t kEntryHasTuplets = 0x80000;

inline const uint8_t* At(const void* base, int offset) {
    return static_cast<const uint8_t*>(base) + offset;
}

inline uint16_t FrameSlotScope(const void* frame) { return ReadLE16(At(frame, kFrameSlotScope)); }
inline int16_t FrameSlot(const void* frame) {
    return static_cast<int16_t>(ReadLE16(At(frame, kFrameSlot)));
}
inline int16_t FrameMeasure(const void* frame) {
    return static_cast<int16_t>(ReadLE16(At(frame, kFrameMeasure)));
}
inline uint8_t* FrameEntries(const void* frame) {
    return static_cast<uint8_t*>(ReadPointer(At(frame, kFrameEntries)));
}
inline int16_t FrameEntryCount(const void* frame) {
    return static_cast<int16_t>(ReadLE16(At(frame, kFrameEntryCount)));
}

}  // namespace hostframe
