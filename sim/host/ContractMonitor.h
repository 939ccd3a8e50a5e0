// What the module did against the host's contract: warnings, breaches, the loads saves answer to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "sim/host/FrameStore.h"
#include "sim/host/HostCall.h"
#include "sim/score/ScoreIndex.h"

namespace sim {

// Different warnings kept at most; the rest are only counted.
constexpr size_t kWarningLimit = 100;

// Something the module did that breaks the host's contract (a call with
// impossible arguments, a frame written into, a record saved that did not
// load ...), with the first call that showed it (0 when no call did).
struct ContractBreach {
    std::string What;
    uint64_t Call = 0;
};

// Watches the module on the host's behalf. The frames it reads are the
// host's, for the frames the module wrote into.
class ContractMonitor {
  public:
    explicit ContractMonitor(const FrameStore& frames) : Frames(frames) {}
    ContractMonitor(const ContractMonitor&) = delete;
    ContractMonitor& operator=(const ContractMonitor&) = delete;

    // Notes a warning, each text once with how often it came. A breach of the
    // contract is a warning too; call is the call that showed it.
    void Warn(const std::string& warning, bool breach = false, uint64_t call = 0);
    // A load of an existing record that gave bytes (in that document), or
    // failed.
    void NoteLoad(const RecordKey& key, uint32_t bytes, int16_t document);
    void NoteLoadFailed(const RecordKey& key);
    // What the module may save of a record: checked against its last load,
    // while document is current.
    void CheckSave(const HostCall& call, int16_t document);

    // Things the module did that a host would not expect (a version argument
    // other than 0x19000000, a call of a missing function ...), each once,
    // with how often it happened; past kWarningLimit kinds, a count of the rest.
    std::vector<std::string> Warnings() const;
    // Those of them that break the host's contract, each once, in order.
    // Besides the warnings: a save of more bytes than the record's last load
    // gave, of a record whose last load failed, or of a record loaded while
    // another document was current.
    std::vector<ContractBreach> Breaches() const;
    // Record keys that MX_LoadKData loaded successfully, each once, in order.
    const std::vector<RecordKey>& LoadedRecords() const { return Loaded; }

  private:
    struct Warning {
        std::string Text;
        uint64_t Times = 0;
        bool Breach = false;
        uint64_t Call = 0;
    };
    // How the loads of an existing record went: whether one ever gave its
    // bytes, whether the last one failed, and what the last good one gave
    // and in which document.
    struct LoadState {
        bool Loaded = false;
        bool Failed = false;
        uint32_t Bytes = 0;
        int16_t Document = 0;
    };

    const FrameStore& Frames;
    std::vector<Warning> WarningList;
    uint64_t WarningsBeyondList = 0;
    std::optional<ContractBreach> FirstBreachBeyondList;  // past the list's limit
    std::unordered_map<RecordKey, LoadState, RecordKeyHash> LoadStates;
    std::vector<RecordKey> Loaded;
};

}  // namespace sim
