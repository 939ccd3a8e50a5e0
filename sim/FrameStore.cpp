#include "sim/FrameStore.h"

#include <algorithm>
#include <cstring>

#include "framework/core/ByteOrder.h"

#if defined(__SANITIZE_ADDRESS__)
#define SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_ASAN 1
#endif
#endif
#if defined(SIM_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace sim {
namespace {

using namespace frame_layout;

// Released frames kept aside before their memory goes back.
constexpr size_t kRetiredFrames = 4096;

void Poison(const void* at, size_t size) {
#if defined(SIM_ASAN)
    if (at != nullptr && size > 0)
        ASAN_POISON_MEMORY_REGION(at, size);
#else
    (void)at;
    (void)size;
#endif
}

void Unpoison(const void* at, size_t size) {
#if defined(SIM_ASAN)
    if (at != nullptr && size > 0)
        ASAN_UNPOISON_MEMORY_REGION(at, size);
#else
    (void)at;
    (void)size;
#endif
}

}  // namespace

void WriteEntryRecord(uint8_t* record, const Entry& entry) {
    std::memset(record, 0, kEntrySize);
    WriteLE32(record + kEntryNumber, entry.Number);
    WriteLE32(record + kEntryFlags, entry.Flags);
    const size_t notes = std::min(entry.Notes.size(), kMaxNotesPerEntry);
    WriteLE16(record + kNoteCount, static_cast<uint16_t>(notes));
    for (size_t i = 0; i < notes; ++i) {
        std::memcpy(record + kNotes + kNoteSize * i, entry.Notes[i].data(), kNoteSize);
    }
    WriteLE32(record + kEntryPosition, static_cast<uint32_t>(entry.Position));
}

std::string FrameError::Describe() const {
    std::string frame = Frame != 0 ? "frame " + std::to_string(Frame) : "a handle";
    if (!Where.empty())
        frame += " (" + Where + ")";
    switch (What) {
        case Kind::FreedTwice:
            return frame + " released a second time by call #" + std::to_string(Call);
        case Kind::NeverHandedOut:
            return "call #" + std::to_string(Call) + " released " +
                   (Handle == nullptr ? std::string("a null handle")
                                      : std::string("a handle the host never handed out"));
        case Kind::StillHeld:
            return frame + " never released";
    }
    return frame;
}

FrameStore::~FrameStore() {
    for (Frame& frame : Retired) {
        Unpoison(frame.Header.get(), kFrameSize);
        Unpoison(frame.Records.get(), frame.RecordBytes);
    }
}

void* FrameStore::Create(const Staff& staff, int16_t measure, int16_t layer,
                         const std::vector<Entry>& entries) {
    Frame frame;
    frame.Id = NextId++;
    frame.Where = "staff " + std::to_string(staff.Number) + ", measure " + std::to_string(measure) +
                  ", layer " + std::to_string(layer + 1);
    frame.Header = std::make_unique<uint8_t[]>(kFrameSize);
    std::memset(frame.Header.get(), 0, kFrameSize);
    WriteLE16(frame.Header.get() + kScope, staff.Scope);
    WriteLE16(frame.Header.get() + kSlot, static_cast<uint16_t>(staff.Slot));
    WriteLE16(frame.Header.get() + kMeasure, static_cast<uint16_t>(measure));
    WriteLE16(frame.Header.get() + kEntryCount, static_cast<uint16_t>(entries.size()));
    if (!entries.empty()) {
        frame.RecordBytes = kEntrySize * entries.size();
        frame.Records = std::make_unique<uint8_t[]>(frame.RecordBytes);
        for (size_t i = 0; i < entries.size(); ++i) {
            WriteEntryRecord(frame.Records.get() + kEntrySize * i, entries[i]);
        }
    }
    WritePointer(frame.Header.get() + kFirstEntry, frame.Records.get());
    frame.Original = Snapshot(frame);
    void* handle = frame.Header.get();
    Held.emplace(handle, std::move(frame));
    ++Totals.Loaded;
    ++Totals.Held;
    return handle;
}

std::vector<uint8_t> FrameStore::Snapshot(const Frame& frame) const {
    std::vector<uint8_t> bytes(kFrameSize + frame.RecordBytes);
    std::memcpy(bytes.data(), frame.Header.get(), kFrameSize);
    if (frame.RecordBytes > 0) {
        std::memcpy(bytes.data() + kFrameSize, frame.Records.get(), frame.RecordBytes);
    }
    return bytes;
}

bool FrameStore::Release(const void* handle, uint64_t call) {
    auto held = Held.find(handle);
    if (held == Held.end()) {
        FrameError error;
        error.Call = call;
        error.Handle = handle;
        auto retired = RetiredIds.find(handle);
        if (retired != RetiredIds.end()) {
            error.What = FrameError::Kind::FreedTwice;
            error.Frame = retired->second;
            for (const Frame& frame : Retired) {
                if (frame.Id == retired->second)
                    error.Where = frame.Where;
            }
        }
        ErrorList.push_back(error);
        return false;
    }
    Frame frame = std::move(held->second);
    Held.erase(held);
    if (Snapshot(frame) != frame.Original) {
        OverwrittenFrames.push_back("frame " + std::to_string(frame.Id) + " (" + frame.Where + ")");
    }
    ++Totals.Freed;
    --Totals.Held;
    Retire(std::move(frame));
    return true;
}

void FrameStore::Retire(Frame frame) {
    Poison(frame.Header.get(), kFrameSize);
    Poison(frame.Records.get(), frame.RecordBytes);
    RetiredIds[frame.Header.get()] = frame.Id;
    Retired.push_back(std::move(frame));
    if (Retired.size() > kRetiredFrames) {
        Frame& oldest = Retired.front();
        RetiredIds.erase(oldest.Header.get());
        Unpoison(oldest.Header.get(), kFrameSize);
        Unpoison(oldest.Records.get(), oldest.RecordBytes);
        Retired.pop_front();
    }
}

void FrameStore::ReportStillHeld() {
    for (const auto& [handle, frame] : Held) {
        FrameError error;
        error.What = FrameError::Kind::StillHeld;
        error.Frame = frame.Id;
        error.Handle = handle;
        error.Where = frame.Where;
        ErrorList.push_back(error);
    }
}

uint64_t FrameStore::IdOf(const void* handle) const {
    auto held = Held.find(handle);
    if (held != Held.end())
        return held->second.Id;
    auto retired = RetiredIds.find(handle);
    return retired == RetiredIds.end() ? 0 : retired->second;
}

}  // namespace sim
