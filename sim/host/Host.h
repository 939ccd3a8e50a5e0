#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "contract/MelvaraHostFunctions.h"
#include "contract/MelvaraRegion.h"
#include "sim/host/FrameStore.h"
#include "sim/host/HostCall.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/score/Score.h"
#include "sim/score/ScoreIndex.h"

namespace sim {

// The version argument the module passes with every call.
constexpr uint32_t kCallVersion = MELVARA_CALL_VERSION;
// Calls kept in the call log at most, unless set otherwise: a module that
// never stops calling must not take all memory.
constexpr size_t kCallLogLimit = size_t{1} << 20;
// Different warnings kept at most; the rest are only counted.
constexpr size_t kWarningLimit = 100;

// How the host offers one of its functions.
enum class FunctionMode : uint8_t {
    Normal,
    Missing,  // a lookup by name finds nothing; a call anyway fails and is warned about
    Failing,  // found, but every call returns its failure value and does nothing
};

// Something the module did that breaks the host's contract (a call with
// impossible arguments, a frame written into, a record saved that did not
// load ...), with the first call that showed it (0 when no call did).
struct ContractBreach {
    std::string What;
    uint64_t Call = 0;
};

// Where the calls into the host have got: the last one that returned, and
// the one that runs now, if any (a fault inside a host function comes from
// the arguments the module passed).
struct LastHostCall {
    std::optional<HostCall> Returned;
    bool Running = false;
    HostFn RunningFunction = HostFn::LoadKData;
    uint64_t RunningNumber = 0;  // 0 for the window functions
};

// An exception inside a host function, caught before it reached the
// module, which got the function's failure value instead.
struct HostFault {
    HostFn Function = HostFn::LoadKData;
    uint64_t Call = 0;  // the calls of the thirteen MX_ functions made by then
    bool OutOfMemory = false;
    char What[160] = {};  // the exception's text otherwise

    // "out of memory in MX_LoadTGF (call #12) ..."
    std::string Describe() const;
};

// The simulated host: the host functions over a score, the message boxes the
// module shows, and controls for tests.
//
// Failure values: 0 for the functions with an integer result (also
// MX_GetMaxLayers), no frame for MX_LoadTGF; MX_FreeTGF and MX_GetCurKRegions
// then do nothing; MessageBoxW answers 0 without showing the box.
class Host {
  public:
    explicit Host(Score score = {});
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    Score& GetScore() { return Document; }
    const Score& GetScore() const { return Document; }

    // --- The host functions (the C exports forward here) -----------------

    // Copies the record, at most *count bytes, sets *count to its size and
    // answers 1; 0 when there is no such record. A null buffer asks only for
    // the size.
    int16_t LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                      uint32_t version);
    // Replaces an existing record's bytes with count bytes; 0 when there is none.
    int16_t SaveKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                      uint32_t version);
    // With key word 3 0xFFFF: creates the record under the next free index of
    // its tag and first two key words and writes that index into word 3
    // (left at 0xFFFF under SetCreateLeavesIndexUnset). With another word 3:
    // creates the record under the given keys if they are free.
    int16_t CreateKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                        uint32_t version);
    int16_t DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version);
    // Steps the key block to the next record of the tag in ascending key
    // order (the four words compared in order); 0 at the end.
    int16_t NextKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                      uint32_t version);
    int16_t GetCurrentKovrinDocument(uint32_t version);
    // Writes 8 and 24 bytes of zero into the first two areas and the current
    // selection's 20-byte region record, then 4 zero bytes, into the third.
    int16_t GetCurKRegions(void* area8, void* area24a, void* area24b, uint32_t version);
    // A layer frame for the staff at the slot, the measure and the layer
    // (from 0), or null when one of them does not exist.
    void* LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer, int16_t option,
                  uint32_t version);
    void FreeTGF(void* frame, uint32_t version);
    // The staff number at the slot when the scope is that staff's; 0 otherwise.
    int16_t SlotToInst(int16_t slot, uint16_t scope, uint32_t version);
    int16_t InstToSlot(int16_t staff, int16_t zero, uint32_t version);
    int16_t GetShowLayer(int16_t layer, uint32_t version);
    int16_t GetMaxLayers(uint32_t version);
    // Records the box and answers from the script, else with the style's
    // default button (OK for an OK box, Yes for a Yes/No box). A host that
    // watches the system's own boxes (on Windows) calls it for each box it
    // sees, to record it and learn which button to press.
    int ShowMessageBox(void* window, const char16_t* text, const char16_t* caption, unsigned style);
    // 1 for the window the host gave the module, 0 for anything else.
    int IsWindowHandle(void* window);

    // --- What the host gives the module ------------------------------------

    // The window handle to pass to MelvaraExtensionInvoke: a token of the
    // host's own unless a real window is set (a host on Windows needs one
    // for the system's message boxes).
    void* Window() { return HostWindow != nullptr ? HostWindow : &WindowToken; }
    void SetWindow(void* window) { HostWindow = window; }
    // The current selection (MX_GetCurKRegions); all zero until set.
    void SetSelection(const RegionRecord& region) { Selection = region; }
    const RegionRecord& GetSelection() const { return Selection; }

    // --- Controls ----------------------------------------------------------

    void SetFunctionMode(HostFn fn, FunctionMode mode);
    FunctionMode GetFunctionMode(HostFn fn) const;
    // MX_LoadKData (or MX_SaveKData) of this record, or of every record of the
    // tag without keys, fails.
    void FailLoad(uint32_t tag, std::optional<Keys> keys = std::nullopt);
    void FailSave(uint32_t tag, std::optional<Keys> keys = std::nullopt);
    // The n-th call of the thirteen MX_ functions (counting from 1) fails.
    void FailCall(uint64_t number);
    // The document id that MX_GetCurrentKovrinDocument answers; the score's
    // own id until set.
    void SetCurrentDocument(int16_t document);
    // MX_CreateKData leaves key word 3 at 0xFFFF.
    void SetCreateLeavesIndexUnset(bool leave) { CreateLeavesIndexUnset = leave; }
    // Odd answers a real host can give: MX_GetMaxLayers, MX_GetShowLayer,
    // MX_SlotToInst, MX_InstToSlot or MX_GetCurrentKovrinDocument answers
    // value to every call instead of its own answer.
    void SetAnswer(HostFn fn, int16_t value);
    // Frames handed out from now on give these counts instead of the real
    // ones: of entries in the frame, of notes in each entry record. Meant for
    // negative counts; a count above the real one has the module read past
    // the frame.
    void SetFrameCounts(std::optional<int16_t> entries, std::optional<int16_t> notes) {
        FrameMemory.SetCounts(entries, notes);
    }
    // Answers for the next boxes, in order (kIdYes, kIdNo, kIdOk ...). A box
    // takes the next answer only when it has that button; otherwise it gets
    // its default button and the answer waits for a later box.
    void ScriptAnswers(std::vector<int> answers);
    size_t UnusedAnswers() const { return Answers.size(); }
    // The scripted answers that no box took, in order.
    std::vector<int> UnusedAnswerList() const { return {Answers.begin(), Answers.end()}; }
    // Hash lookups of records, cells and staves, for benchmarks of large
    // scores (the score's own maps are logarithmic). The score must then
    // change only through the host functions, or be indexed again.
    void IndexScore() { Index = std::make_unique<ScoreIndex>(Document); }
    // Keep the calls in Calls() (the default), up to limit of them; the
    // calls beyond are only counted (CallsNotKept). Counts, OnCall and the
    // rest of the bookkeeping go on either way.
    void SetRecordCalls(bool record, size_t limit = kCallLogLimit) {
        RecordCalls = record;
        CallLogLimit = limit;
    }
    // Called after each call, and for each box once answered (for --trace
    // and for printing boxes as they are shown).
    std::function<void(const HostCall&)> OnCall;
    std::function<void(const BoxRecord&)> OnBox;

    // --- Observation -------------------------------------------------------

    // Notes an exception caught in a host function (what: null when memory
    // ran out); the first one is kept. Allocates nothing.
    void NoteFault(HostFn fn, const char* what) noexcept;
    const std::optional<HostFault>& Fault() const { return FirstFault; }

    // Whether a control made at least one call fail or act otherwise: a
    // failing load or save of the record (or of every record of the tag),
    // or a record created with its index left unset.
    bool LoadFailureFired(uint32_t tag, const std::optional<Keys>& keys) const;
    bool SaveFailureFired(uint32_t tag, const std::optional<Keys>& keys) const;
    bool IndexLeftUnset() const { return IndexesLeftUnset != 0; }

    const std::vector<HostCall>& Calls() const { return CallLog; }
    void ClearCalls() { CallLog.clear(); }
    uint64_t CallsNotKept() const { return CallsBeyondLog; }
    // Calls of the thirteen MX_ functions so far.
    uint64_t CallCount() const { return NumberedCalls; }
    uint64_t CallCount(HostFn fn) const { return PerFunction[static_cast<size_t>(fn)]; }
    const std::vector<BoxRecord>& Boxes() const { return BoxLog; }
    const FrameCounts& Frames() const { return FrameMemory.Counts(); }
    const std::vector<FrameError>& FrameErrors() const { return FrameMemory.Errors(); }
    // Adds an error for every frame still held, but for those the host
    // refused to release (Frames().Refused), and none when MX_FreeTGF is
    // missing: the module had no way to release them. Call once, at the end.
    void ReportFramesStillHeld() {
        if (GetFunctionMode(HostFn::FreeTGF) != FunctionMode::Missing)
            FrameMemory.ReportStillHeld();
    }
    const FrameStore& FrameMemoryStore() const { return FrameMemory; }
    // Things the module did that a host would not expect (a version argument
    // other than 0x19000000, a call of a missing function ...), each once,
    // with how often it happened; past kWarningLimit kinds, a count of the rest.
    std::vector<std::string> Warnings() const;
    // Those of them that break the host's contract, each once, in order.
    // Besides the warnings: a save of more bytes than the record's last load
    // gave, of a record whose last load failed, or of a record loaded while
    // another document was current.
    std::vector<ContractBreach> Breaches() const;
    // The last call into the host, kept so that it can be read at any moment,
    // also after a signal or while the module's thread is stopped.
    LastHostCall LastCall() const;
    // Record keys that MX_LoadKData loaded successfully, each once, in order.
    const std::vector<RecordKey>& LoadedRecords() const { return Loaded; }
    size_t SavedCount(uint32_t tag) const;
    size_t SavedCount() const;
    size_t CreatedCount() const { return Created; }
    size_t DeletedCount() const { return Deleted; }

  private:
    // Starts a call: numbers it, applies the controls. False when the call
    // must give its failure value.
    bool Begin(HostCall& call, uint32_t version);
    void Finish(HostCall& call);
    // Finish for the functions that return their result as a 16-bit value.
    int16_t FinishWithResult(HostCall& call);
    // A breach of the contract is a warning too; call is the call that
    // showed it.
    void Warn(const std::string& warning, bool breach = false, uint64_t call = 0);
    // What the module may save of a record: checked against its last load.
    void CheckSave(const HostCall& call);
    void KeepLastCall(const HostCall& call);
    // The answer SetAnswer gave the function, else its own.
    int64_t Answer(HostFn fn, int64_t own) const;
    // Whether a control makes the load (save) fail; notes that it fired.
    bool LoadFails(uint32_t tag, const Keys& keys);
    // The score's lookups, through the index when there is one.
    Bytes* FindRecord(uint32_t tag, const Keys& keys);
    const Staff* FindStaffBySlot(int16_t slot) const;
    const Staff* FindStaff(int16_t number) const;
    const std::vector<Entry>& EntriesOf(const CellKey& cell) const;
    bool SaveFails(uint32_t tag, const Keys& keys);

    Score Document;
    std::unique_ptr<ScoreIndex> Index;
    int16_t CurrentDocument;
    RegionRecord Selection{};
    int WindowToken = 0;
    void* HostWindow = nullptr;

    std::array<FunctionMode, kHostFnCount> Modes{};
    std::set<RecordKey> LoadFailures;
    std::set<uint32_t> LoadFailureTags;
    std::set<RecordKey> SaveFailures;
    std::set<uint32_t> SaveFailureTags;
    std::set<RecordKey> FiredLoadFailures;
    std::set<uint32_t> FiredLoadFailureTags;
    std::set<RecordKey> FiredSaveFailures;
    std::set<uint32_t> FiredSaveFailureTags;
    std::set<uint64_t> FailingCalls;
    bool CreateLeavesIndexUnset = false;
    std::array<std::optional<int16_t>, kHostFnCount> FixedAnswers{};
    size_t IndexesLeftUnset = 0;
    std::deque<int> Answers;

    std::optional<HostFault> FirstFault;
    bool RecordCalls = true;
    size_t CallLogLimit = kCallLogLimit;
    std::vector<HostCall> CallLog;
    uint64_t CallsBeyondLog = 0;
    uint64_t NumberedCalls = 0;
    std::array<uint64_t, kHostFnCount> PerFunction{};
    std::vector<BoxRecord> BoxLog;
    FrameStore FrameMemory;
    struct Warning {
        std::string Text;
        uint64_t Times = 0;
        bool Breach = false;
        uint64_t Call = 0;
    };
    std::vector<Warning> WarningList;
    uint64_t WarningsBeyondList = 0;
    std::optional<ContractBreach> FirstBreachBeyondList;  // past the list's limit
    // Two copies of the last call that returned: one is written while the
    // other is read. And the call running now, set before it begins.
    std::array<HostCall, 2> LastCalls;
    std::atomic<int> LastCallSlot{-1};
    HostFn RunningFunction = HostFn::LoadKData;
    uint64_t RunningNumber = 0;
    std::atomic<bool> CallRunning{false};
    std::vector<RecordKey> Loaded;
    // How the loads of an existing record went: whether one ever gave its
    // bytes, whether the last one failed, and what the last good one gave
    // and in which document.
    struct LoadState {
        bool Loaded = false;
        bool Failed = false;
        uint32_t Bytes = 0;
        int16_t Document = 0;
    };
    std::unordered_map<RecordKey, LoadState, RecordKeyHash> LoadStates;
    std::map<uint32_t, size_t> Saved;
    size_t Created = 0;
    size_t Deleted = 0;
};

}  // namespace sim
