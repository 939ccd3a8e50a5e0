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
    // A load of an existing record of size bytes: one that copied bytes into
    // the module's buffer (in that document), one that only told the size
    // (no buffer), or one that failed.
    void NoteLoad(const RecordKey& key, uint32_t copied, uint32_t size, int16_t document);
    void NoteSizeAsked(const RecordKey& key, uint32_t size);
    void NoteLoadFailed(const RecordKey& key);
    // What the module may save of a record: checked against its last load,
    // while document is current.
    void CheckSave(const HostCall& call, int16_t document);
    // A save that was carried out, over a record of before bytes.
    void NoteSaved(const HostCall& call, uint32_t before);

    // Things the module did that a host would not expect (a version argument
    // other than 0x19000000, a call of a missing function ...), each once,
    // with how often it happened; past kWarningLimit kinds, a count of the rest.
    std::vector<std::string> Warnings() const;
    // Those of them that break the host's contract, each once, in order.
    // Besides the warnings: a save of more bytes than the record's last load
    // copied, of a record whose last load failed, or of a record loaded while
    // another document was current.
    std::vector<ContractBreach> Breaches() const;
    // Record keys that MX_LoadKData loaded successfully, each once, in order.
    const std::vector<RecordKey>& LoadedRecords() const { return Loaded; }

    // What the module learnt of a record and did with it: its size as the
    // last load told it (with or without a buffer), and whether it was saved
    // after that load.
    struct RecordUse {
        RecordKey Key;
        uint32_t Size = 0;
        bool SavedSince = false;
    };
    // Every record a load found, each once, in the order first found.
    std::vector<RecordUse> RecordsFound() const;

    // Saves that left a record shorter than it was: the bytes past the count
    // saved are lost. The first one, as "0x45035450 {5,0,0,0}, 40 bytes saved
    // as 30", and how many.
    struct ShorterSave {
        RecordKey Key;
        uint32_t Before = 0;
        uint32_t After = 0;
        uint64_t Call = 0;
    };
    const std::optional<ShorterSave>& FirstShorterSave() const { return FirstShorter; }
    uint64_t ShorterSaves() const { return ShorterCount; }
    // "MX_SaveKData left a record shorter than it was: ... (and 2 more)", or nothing.
    std::optional<std::string> ShorterSaveWarning() const;

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
        uint32_t Size = 0;  // as the last load that found it told
        bool SavedSince = false;
    };
    LoadState& Found(const RecordKey& key);

    const FrameStore& Frames;
    std::vector<Warning> WarningList;
    uint64_t WarningsBeyondList = 0;
    std::optional<ContractBreach> FirstBreachBeyondList;  // past the list's limit
    std::unordered_map<RecordKey, LoadState, RecordKeyHash> LoadStates;
    std::vector<RecordKey> Loaded;
    std::vector<RecordKey> FoundInOrder;
    std::optional<ShorterSave> FirstShorter;
    uint64_t ShorterCount = 0;
};

}  // namespace sim
