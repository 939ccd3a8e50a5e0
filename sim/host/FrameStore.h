// The layer frames the host hands the module, in host memory, and what the module did with them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "contract/MelvaraFrame.h"
#include "sim/score/Score.h"

namespace sim {

// Writes the host's 146-byte entry record of an entry
// (contract/MelvaraFrame.h).
void WriteEntryRecord(uint8_t* record, const Entry& entry);

// Something the module did wrong with a frame.
struct FrameError {
    enum class Kind { FreedTwice, NeverHandedOut, StillHeld };
    Kind What = Kind::NeverHandedOut;
    uint64_t Frame = 0;  // frame id, 0 when the handle was never one of ours
    uint64_t Call = 0;   // the MX_FreeTGF call; 0 for a frame still held
    const void* Handle = nullptr;
    std::string Where;   // "staff 1, measure 2, layer 0" when known
    size_t Entries = 0;  // of a frame still held: the entries it had

    std::string Describe() const;
};

struct FrameCounts {
    uint64_t Loaded = 0;  // frames handed out
    uint64_t Freed = 0;   // frames released once, as they should be
    uint64_t Held = 0;    // handed out and not yet released
    // Of those held at the end, how many the module asked to release while
    // MX_FreeTGF was made to fail: the host's doing, not an error.
    uint64_t Refused = 0;
};

// The layer frames handed to the module: real host memory laid out as the
// host lays it out, each frame at the end of pages of its own in fenced
// memory (GuardedMemory::Shared), so that reading past its end faults, and
// so does touching it after its release, as "frame 3". Each frame is
// counted; releasing one twice, releasing something never handed out and
// keeping one to the end are errors. Released frames are remembered for a
// while, so that a late second release is still recognised; their pages are
// kept aside before they are used again.
class FrameStore {
  public:
    FrameStore() = default;
    FrameStore(const FrameStore&) = delete;
    FrameStore& operator=(const FrameStore&) = delete;
    ~FrameStore();

    // A new frame for the entries of one staff in one measure and layer.
    void* Create(const Staff& staff, int16_t measure, int16_t layer,
                 const std::vector<Entry>& entries);
    // Releases a frame; false (and an error recorded) when it is not held.
    bool Release(const void* handle, uint64_t call);
    // Notes that the host refused to release a frame that it holds.
    void Refuse(const void* handle);
    // Records a StillHeld error for every frame not released, but for those
    // the host refused to release (counted in Refused).
    void ReportStillHeld();
    // Frames created from now on give these counts instead of the real ones:
    // of entries in the header, of notes in every entry record.
    void SetCounts(std::optional<int16_t> entries, std::optional<int16_t> notes) {
        EntryCountAnswer = entries;
        NoteCountAnswer = notes;
    }

    // The id of a frame handed out (1, 2, ...), or 0.
    uint64_t IdOf(const void* handle) const;
    // Frames whose bytes the module changed before releasing them.
    const std::vector<std::string>& Overwritten() const { return OverwrittenFrames; }

    const FrameCounts& Counts() const { return Totals; }
    const std::vector<FrameError>& Errors() const { return ErrorList; }

  private:
    // One frame: the header and the entry records in fenced memory, and a
    // copy of both as handed out (to find frames the module wrote into),
    // which goes when it is released.
    struct Frame {
        uint64_t Id = 0;
        int16_t Staff = 0;
        int16_t Measure = 0;
        int16_t Layer = 0;
        uint8_t* Block = nullptr;
        std::unique_ptr<uint8_t[]> Copy;
        size_t RecordBytes = 0;
        size_t Entries = 0;
        bool Refused = false;

        uint8_t* Header() const { return Block; }
        size_t Bytes() const { return kFrameLayoutBytes + RecordBytes; }
        // "staff 1, measure 2, layer 0": layers as the host counts them, from 0
        std::string Where() const;
    };
    static constexpr size_t kFrameLayoutBytes = MELVARA_FRAME_HEADER_BYTES;

    void Retire(Frame frame);

    std::unordered_map<const void*, Frame> Held;
    std::deque<Frame> Retired;
    std::unordered_map<const void*, uint64_t> RetiredIds;
    FrameCounts Totals;
    std::vector<FrameError> ErrorList;
    std::vector<std::string> OverwrittenFrames;
    uint64_t NextId = 1;
    std::optional<int16_t> EntryCountAnswer;
    std::optional<int16_t> NoteCountAnswer;
};

}  // namespace sim
