// How the host misbehaves: the controls of melvara-sim run, which the validator's runs use too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/host/HostCall.h"
#include "sim/score/Score.h"

namespace sim {

class Host;

// A record, or every record of a tag when Words is empty.
struct RecordSelector {
    uint32_t Tag = 0;
    std::optional<Keys> Words;
    std::string Text;  // as given: "pfTP:1,0,0,0"
};

// How every record of the score is resized: to half its size, Bytes longer,
// or to Bytes exactly. Added bytes are 0x5A.
struct RecordResize {
    enum class Kind : uint8_t { Half, Longer, Exactly };
    Kind How = Kind::Half;
    uint32_t Bytes = 0;

    // "half", "+16", "0": run's --record-sizes value.
    std::string Text() const;
};

// The layers from this one on hold copies of layer 0's entries when a host
// has more layers than scores have had.
constexpr int16_t kFirstCopiedLayer = 20;

// Everything that makes the host misbehave: calls that fail, functions it
// lacks, odd answers, and the score as it holds it. run takes each as an
// option (Arguments gives them back as run's options); the validator's runs
// are made of the same controls, so that each one can be repeated with run.
struct HostControls {
    // Calls that fail: every call of a function, the n-th call of the
    // thirteen, loads and saves of records.
    std::vector<HostFn> FailingFunctions;
    std::vector<uint64_t> FailingCalls;
    std::vector<RecordSelector> FailingLoads;
    std::vector<RecordSelector> FailingSaves;
    // Host functions the program does not export (the caller hides them).
    std::vector<HostFn> MissingFunctions;
    // Odd answers.
    std::optional<int16_t> Document;  // the current document's id
    bool CreateLeavesIndexUnset = false;
    std::vector<std::pair<HostFn, int16_t>> Returns;  // the function answers the value
    std::optional<int16_t> FrameEntries;              // frames count this many entries
    std::optional<int16_t> EntryNotes;                // entry records count this many notes
    // The score as the host holds it.
    std::optional<RecordResize> RecordSizes;
    std::optional<int16_t> Layers;    // this many layers (see kFirstCopiedLayer)
    std::optional<int16_t> Measures;  // this many measures
    bool HighSlots = false;           // the staves, in order, in the slots up to 32767
    std::vector<int16_t> HiddenLayers;

    void ApplyTo(Score& score) const;
    void ApplyTo(Host& host) const;
    // run's options that give these controls.
    std::vector<std::string> Arguments() const;
};

// The functions whose answers --returns may fix.
bool TakesFixedAnswer(HostFn fn);

}  // namespace sim
