// The layer frames handed to the module: built, counted, checked on release, retired.
#include "sim/host/FrameStore.h"

#include <algorithm>
#include <cstring>

#include "contract/MelvaraFrame.h"
#include "sim/host/GuardedMemory.h"

namespace sim {
namespace {

// Released frames remembered, to recognise a second release.
constexpr size_t kRetiredFrames = 4096;

}  // namespace

void WriteEntryRecord(uint8_t* record, const Entry& entry) {
    std::memset(record, 0, MELVARA_ENTRY_BYTES);
    MelvaraWriteLE32(record + MELVARA_ENTRY_NUMBER, entry.Number);
    MelvaraWriteLE32(record + MELVARA_ENTRY_FLAGS, entry.Flags);
    const size_t notes = std::min(entry.Notes.size(), kMaxNotesPerEntry);
    MelvaraWriteLE16(record + MELVARA_ENTRY_NOTE_COUNT, static_cast<uint16_t>(notes));
    for (size_t i = 0; i < notes; ++i) {
        std::memcpy(record + MELVARA_ENTRY_NOTES + MELVARA_NOTE_BYTES * i, entry.Notes[i].data(),
                    MELVARA_NOTE_BYTES);
    }
    MelvaraWriteLE32(record + MELVARA_ENTRY_POSITION, static_cast<uint32_t>(entry.Position));
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
            return frame + " never released; it had " + std::to_string(Entries) +
                   (Entries == 1 ? " entry" : " entries");
    }
    return frame;
}

FrameStore::~FrameStore() {
    // Frames the module kept are released now: touching one later faults.
    for (const auto& [handle, frame] : Held)
        GuardedMemory::Shared().Release(frame.Block);
}

std::string FrameStore::Frame::Where() const {
    return "staff " + std::to_string(Staff) + ", measure " + std::to_string(Measure) + ", layer " +
           std::to_string(Layer);
}

void* FrameStore::Create(const Staff& staff, int16_t measure, int16_t layer,
                         const std::vector<Entry>& entries) {
    Frame frame;
    frame.Id = NextId++;
    frame.Staff = staff.Number;
    frame.Measure = measure;
    frame.Layer = layer;
    frame.RecordBytes = MELVARA_ENTRY_BYTES * entries.size();
    frame.Entries = entries.size();
    frame.Copy = std::make_unique<uint8_t[]>(frame.Bytes());
    frame.Block =
        GuardedMemory::Shared().Allocate(frame.Bytes(), "frame " + std::to_string(frame.Id));
    uint8_t* header = frame.Header();
    std::memset(header, 0, MELVARA_FRAME_HEADER_BYTES);
    MelvaraWriteLE16(header + MELVARA_FRAME_SLOT_SCOPE, staff.Scope);
    MelvaraWriteLE16(header + MELVARA_FRAME_SLOT, static_cast<uint16_t>(staff.Slot));
    MelvaraWriteLE16(header + MELVARA_FRAME_MEASURE, static_cast<uint16_t>(measure));
    MelvaraWriteLE16(header + MELVARA_FRAME_ENTRY_COUNT,
                     static_cast<uint16_t>(
                         EntryCountAnswer.value_or(static_cast<int16_t>(entries.size()))));
    uint8_t* records = entries.empty() ? nullptr : header + MELVARA_FRAME_HEADER_BYTES;
    for (size_t i = 0; i < entries.size(); ++i) {
        WriteEntryRecord(records + MELVARA_ENTRY_BYTES * i, entries[i]);
        if (NoteCountAnswer) {
            MelvaraWriteLE16(records + MELVARA_ENTRY_BYTES * i + MELVARA_ENTRY_NOTE_COUNT,
                             static_cast<uint16_t>(*NoteCountAnswer));
        }
    }
    MelvaraWritePointer(header + MELVARA_FRAME_ENTRIES, records);
    std::memcpy(frame.Copy.get(), header, frame.Bytes());
    Held.emplace(header, std::move(frame));
    ++Totals.Loaded;
    ++Totals.Held;
    return header;
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
                    error.Where = frame.Where();
            }
        }
        ErrorList.push_back(error);
        return false;
    }
    Frame frame = std::move(held->second);
    Held.erase(held);
    if (std::memcmp(frame.Header(), frame.Copy.get(), frame.Bytes()) != 0) {
        OverwrittenFrames.push_back("frame " + std::to_string(frame.Id) + " (" + frame.Where() + ")");
    }
    ++Totals.Freed;
    --Totals.Held;
    Retire(std::move(frame));
    return true;
}

void FrameStore::Retire(Frame frame) {
    GuardedMemory::Shared().Release(frame.Block);
    frame.Copy.reset();
    RetiredIds[frame.Header()] = frame.Id;
    Retired.push_back(std::move(frame));
    if (Retired.size() > kRetiredFrames) {
        const Frame& oldest = Retired.front();
        // Unless its address was handed out again and released since.
        auto retired = RetiredIds.find(oldest.Header());
        if (retired != RetiredIds.end() && retired->second == oldest.Id)
            RetiredIds.erase(retired);
        Retired.pop_front();
    }
}

void FrameStore::Refuse(const void* handle) {
    auto held = Held.find(handle);
    if (held != Held.end())
        held->second.Refused = true;
}

void FrameStore::ReportStillHeld() {
    std::vector<const Frame*> frames;
    for (const auto& [handle, frame] : Held) {
        if (frame.Refused) {
            ++Totals.Refused;
        } else {
            frames.push_back(&frame);
        }
    }
    std::sort(frames.begin(), frames.end(),
              [](const Frame* a, const Frame* b) { return a->Id < b->Id; });
    for (const Frame* frame : frames) {
        FrameError error;
        error.What = FrameError::Kind::StillHeld;
        error.Frame = frame->Id;
        error.Handle = frame->Header();
        error.Where = frame->Where();
        error.Entries = frame->Entries;
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
