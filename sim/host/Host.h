// The simulated host: the thirteen host functions and the window functions over a score.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "contract/MelvaraRegion.h"
#include "sim/host/CallLog.h"
#include "sim/host/ContractMonitor.h"
#include "sim/host/FailureRules.h"
#include "sim/host/FrameStore.h"
#include "sim/host/MessageBoxes.h"
#include "sim/score/Score.h"
#include "sim/score/ScoreIndex.h"

namespace sim {

// The version argument the module passes with every call.
constexpr uint32_t kCallVersion = MELVARA_CALL_VERSION;

// The host functions over a score. Its parts: the failures forced on its
// calls, the call log, the contract monitor, the layer frames and the boxes.
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

    // --- The host functions, as contract/MelvaraHostFunctions.h has them ---
    // The C exports forward here. Where a host may choose, this one: a load
    // with a null buffer asks only for the size; a record created under a new
    // index gets the next after the highest of its tag and first two key
    // words; the first two areas of MX_GetCurKRegions are zeros, the third
    // the selection and 4 zero bytes; MX_SlotToInst warns of a scope that is
    // not the staff's.
    int16_t LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                      uint32_t version);
    int16_t SaveKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                      uint32_t version);
    int16_t CreateKData(uint32_t tag, uint16_t* keys, const void* buffer, uint32_t count,
                        uint32_t version);
    int16_t DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version);
    int16_t NextKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                      uint32_t version);
    int16_t GetCurrentKovrinDocument(uint32_t version);
    int16_t GetCurKRegions(void* area8, void* area24a, void* area24b, uint32_t version);
    void* LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer, int16_t option,
                  uint32_t version);
    void FreeTGF(void* frame, uint32_t version);
    int16_t SlotToInst(int16_t slot, uint16_t scope, uint32_t version);
    int16_t InstToSlot(int16_t staff, int16_t zero, uint32_t version);
    int16_t GetShowLayer(int16_t layer, uint32_t version);
    int16_t GetMaxLayers(uint32_t version);
    // Records the box and answers from the script, else with the style's
    // default button. A host that watches the system's own boxes (on
    // Windows) calls it for each box it sees, to learn which button to press.
    int ShowMessageBox(void* window, const char16_t* text, const char16_t* caption, unsigned style);
    // 1 for the window the host gave the module, 0 for anything else.
    int IsWindowHandle(void* window);

    // --- What the host gives the module, and how it answers -----------------
    // The window to pass to MelvaraExtensionInvoke: a token of the host's own
    // unless a real one is set (on Windows, for the system's message boxes).
    void* Window() { return HostWindow != nullptr ? HostWindow : &WindowToken; }
    void SetWindow(void* window) { HostWindow = window; }
    // The current selection (MX_GetCurKRegions); all zero until set.
    void SetSelection(const RegionRecord& region) { Selection = region; }
    const RegionRecord& GetSelection() const { return Selection; }
    // The id MX_GetCurrentKovrinDocument answers; the score's own until set.
    void SetCurrentDocument(int16_t document) { CurrentDocument = document; }
    // MX_CreateKData leaves key word 3 at 0xFFFF.
    void SetCreateLeavesIndexUnset(bool leave) { CreateLeavesIndexUnset = leave; }
    // Odd answers a real host can give: MX_GetMaxLayers, MX_GetShowLayer,
    // MX_SlotToInst, MX_InstToSlot or MX_GetCurrentKovrinDocument answers
    // value to every call instead of its own answer.
    void SetAnswer(HostFn fn, int16_t value) { FixedAnswers[static_cast<size_t>(fn)] = value; }
    // Hash lookups of records, cells and staves, for benchmarks of large
    // scores (the score's own maps are logarithmic). The score must then
    // change only through the host functions, or be indexed again.
    void IndexScore() { Index = std::make_unique<ScoreIndex>(Document); }

    // --- Its parts -----------------------------------------------------------
    FailureRules& Failures() { return Rules; }
    const FailureRules& Failures() const { return Rules; }
    CallLog& Log() { return Calls; }
    const CallLog& Log() const { return Calls; }
    const ContractMonitor& Monitor() const { return Contract; }
    FrameStore& Frames() { return FrameMemory; }
    const FrameStore& Frames() const { return FrameMemory; }
    MessageBoxes& Boxes() { return BoxAnswers; }
    const MessageBoxes& Boxes() const { return BoxAnswers; }
    // Adds a frame error for every frame still held, but for those the host
    // refused to release, and none when MX_FreeTGF is missing: the module had
    // no way to release them. Call once, at the end.
    void ReportFramesStillHeld();

  private:
    // Starts a call: numbers it, applies the controls. False when the call
    // must give its failure value.
    bool Begin(HostCall& call, uint32_t version);
    // Finish for the functions that return their result as a 16-bit value.
    int16_t FinishWithResult(HostCall& call);
    // The answer SetAnswer gave the function, else its own.
    int64_t Answer(HostFn fn, int64_t own) const;

    Score Document;
    std::unique_ptr<ScoreIndex> Index;
    int16_t CurrentDocument;
    RegionRecord Selection{};
    int WindowToken = 0;
    void* HostWindow = nullptr;
    bool CreateLeavesIndexUnset = false;
    std::array<std::optional<int16_t>, kHostFnCount> FixedAnswers{};
    FailureRules Rules;
    CallLog Calls;
    FrameStore FrameMemory;
    ContractMonitor Contract{FrameMemory};
    MessageBoxes BoxAnswers;
};

}  // namespace sim
