// The events of one run as its process keeps them: counted, digested, and a window kept whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "sim/regress/Event.h"

namespace sim {

// The events of one run, in order. A run can make hundreds of thousands of
// calls into the host, so its process keeps only their count and a digest,
// and the digest after every kCheckpointEvents events: where two runs'
// digests first part, they first differ. The events of a window of
// positions (from 0) are kept whole, for the runs that differ when they are
// made again.
class EventTrace {
  public:
    static constexpr size_t kCheckpointEvents = 256;

    // Keeps the events at positions from to to - 1.
    void KeepWindow(size_t from, size_t to) {
        WindowFrom = from;
        WindowTo = to;
    }
    void Add(const Event& event);

    size_t Count() const { return Events; }
    uint64_t Digest() const { return Hash; }
    const std::vector<uint64_t>& Checkpoints() const { return Marks; }
    const std::vector<std::pair<size_t, Event>>& Kept() const { return Window; }

  private:
    size_t Events = 0;
    uint64_t Hash = 0xCBF29CE484222325ull;  // FNV-1a's offset basis
    std::vector<uint64_t> Marks;
    size_t WindowFrom = 0;
    size_t WindowTo = 0;
    std::vector<std::pair<size_t, Event>> Window;
};

}  // namespace sim
