// One command of the module run by a fresh host over a score, and judged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "contract/MelvaraRegion.h"
#include "sim/host/Host.h"
#include "sim/host/HostBuffer.h"
#include "sim/host/HostControls.h"
#include "sim/module/Menu.h"
#include "sim/validate/Check.h"
#include "sim/validate/CheckContext.h"
#include "sim/validate/Scores.h"

namespace sim {

// One command of the module, run by a fresh host over a score. The
// module was given the host version and initialised by the caller.
struct Invocation {
    std::string Where;  // "menu index 1 on piece.json, whole score"
    const Score* Document = nullptr;
    ScoreSource Source;  // where the score comes from, to repeat the run
    int16_t MenuIndex = 0;
    uint32_t HostVersion = kValidateHostVersion;
    std::optional<RegionRecord> Selection;  // nothing: a null pointer
    std::vector<int> Answers;               // for the message boxes, in order
    HostControls Controls;                  // how the host misbehaves
    bool Large = false;                     // no call log, hashed lookups
    bool Repeatable = true;  // one run repeats it, not only after many in one load
    // Its time is reported: the buffers it releases stay accessible, so that
    // the time is the module's, not that of changing page tables.
    bool Timed = false;
};

struct InvocationResult {
    std::optional<CheckResult> Failure;  // the first thing wrong
    uint64_t Calls = 0;                  // host calls made
    size_t Boxes = 0;                    // message boxes shown
    bool OfferedNo = false;              // one of them had a No button
    double Seconds = 0;
};

InvocationResult Invoke(CheckContext& context, const Invocation& invocation);

// The selection record handed to Invoke, in fenced host memory (zero
// without a selection): reading past its end, or keeping it after the call,
// faults.
HostBuffer SelectionRecord(const std::optional<RegionRecord>& selection);

// run's arguments that repeat the invocation on the score as its controls
// shape it, answering at most boxes message boxes.
RunRepeat RepeatOf(const Invocation& invocation, const Score& held, size_t boxes);

// A command on one of the checks' scores, its Where said (DescribeRun).
Invocation CommandOn(const NamedScore& score, int16_t menuIndex,
                     const std::optional<RegionRecord>& selection);

// Invokes the command on a host that lives on, for runs that share one, and
// gives Invoke's answer. The host must be current. Judges only the
// process's settings (a warning noted in the context).
int InvokeOn(CheckContext& context, Host& host, int16_t menuIndex,
             const std::optional<RegionRecord>& selection, const std::string& where);

// What the host saw the module do wrong: a host function called from another
// thread or outside an export's call, a layer frame released twice, never
// released or never handed out, a breach of the contract, a message box of
// no valid style. Call after Host::ReportFramesStillHeld.
std::optional<CheckResult> Judge(const Host& host, const std::string& where);

// A host function called from another thread or outside an export's call,
// so far in this process, as a failure; or nothing.
std::optional<CheckResult> StrayCallFailure(const std::string& where);

// Invoke answering anything but 1, as a failure; or nothing.
std::optional<CheckResult> InvokeAnswerFailure(int answer, const std::string& where);

// What the host saw the module do that is surely a mistake but breaks no
// rule: a message box of one-character texts, a save that left a record
// shorter than it was. A warning, or nothing.
std::optional<CheckResult> Suspect(const Host& host, const std::string& where);

// How a menu read again in the same load differs from the one read before
// ("2 commands, then 3", "index 1: the UTF-16 Title ..."), or nothing.
std::optional<std::string> MenuDifference(const std::vector<MenuEntry>& before,
                                          const std::vector<MenuEntry>& after);

// Why a MessageBoxW style is none that the system shows, if it is not.
std::optional<std::string> BoxStyleProblem(unsigned style);

// The call of that number as DescribeCall gives it, from the host's log;
// "call #N" when the log is not kept, empty for 0.
std::string CallText(const Host& host, uint64_t number);

// "menu index 1 on piece.json, whole score"; the selection as "none",
// "whole score" or its region.
std::string DescribeRun(int16_t menuIndex, const std::string& score,
                        const std::optional<RegionRecord>& selection, const Score& document);

}  // namespace sim
