// The calls into the host: numbered, counted, logged, the last one readable at any moment.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/host/HostCall.h"

namespace sim {

// Calls kept in the call log at most, unless set otherwise: a module that
// never stops calling must not take all memory.
constexpr size_t kCallLogLimit = size_t{1} << 20;

// Where the calls into the host have got: the last one that returned, and
// the one that runs now, if any (a fault inside a host function comes from
// the arguments the module passed).
struct LastHostCall {
    std::optional<HostCall> Returned;
    bool Running = false;
    HostFn RunningFunction = HostFn::LoadKData;
    uint64_t RunningNumber = 0;  // 0 for the window functions
};

// The call running or last made, packed in one word that another process
// can read (from memory it shares with this one) at any moment: bit 0 set
// while it runs, bit 1 once there is a call, bits 2 to 8 its function, bits
// 16 and up its number. Kept by every call log while HostCallWord is set.
extern std::atomic<uint64_t>* HostCallWord;
constexpr uint64_t PackHostCall(uint64_t number, HostFn fn, bool running) {
    return number << 16 | static_cast<uint64_t>(fn) << 2 | 2u | (running ? 1u : 0u);
}
// "#12 MX_LoadTGF", "MessageBoxW, which had not returned", or "none before
// it", from a word PackHostCall made.
std::string UnpackedHostCallText(uint64_t word);

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

// The host's record of the calls made into it.
class CallLog {
  public:
    // Numbers a call of the thirteen MX_ functions, counts it, and marks it
    // as the one running. (Begin and Finish are here, inline, as every host
    // call passes through them.)
    void Begin(HostCall& call) {
        ++PerFunction[static_cast<size_t>(call.Function)];
        if (IsRecordedHostFunction(call.Function))
            call.Number = ++NumberedCalls;
        RunningFunction = call.Function;
        RunningNumber = call.Number;
        CallRunning.store(true, std::memory_order_release);
        if (HostCallWord != nullptr)
            HostCallWord->store(PackHostCall(call.Number, call.Function, true),
                                std::memory_order_relaxed);
    }
    // Keeps the call as the last one, hands it to OnCall, then keeps it in
    // the log while there is room.
    void Finish(HostCall& call) {
        // Written into the copy not being read, then made the one to read: a
        // signal or a stopped thread never finds it half written.
        const int slot = LastCallSlot.load(std::memory_order_relaxed) == 0 ? 1 : 0;
        LastCalls[static_cast<size_t>(slot)] = call;
        LastCallSlot.store(slot, std::memory_order_release);
        CallRunning.store(false, std::memory_order_release);
        if (HostCallWord != nullptr)
            HostCallWord->store(PackHostCall(call.Number, call.Function, false),
                                std::memory_order_relaxed);
        if (call.Result != 0)
            Tally(call);
        if (OnCall)
            OnCall(call);
        if (!RecordCalls)
            return;
        if (Log.size() < Limit)
            Log.push_back(std::move(call));
        else
            ++CallsBeyondLog;
    }

    // Keep the calls in Calls() (the default), up to limit of them; the
    // calls beyond are only counted (CallsNotKept). Counts, OnCall and the
    // last call go on either way.
    void SetRecordCalls(bool record, size_t limit = kCallLogLimit) {
        RecordCalls = record;
        Limit = limit;
    }
    // Called after each call (for --trace).
    std::function<void(const HostCall&)> OnCall;

    const std::vector<HostCall>& Calls() const { return Log; }
    void ClearCalls() { Log.clear(); }
    uint64_t CallsNotKept() const { return CallsBeyondLog; }
    // Calls of the thirteen MX_ functions so far.
    uint64_t CallCount() const { return NumberedCalls; }
    uint64_t CallCount(HostFn fn) const { return PerFunction[static_cast<size_t>(fn)]; }
    // The last call into the host, kept so that it can be read at any moment,
    // also after a signal or while the module's thread is stopped.
    LastHostCall LastCall() const;

    // What the calls did to the records: saves (of a tag, or of all), and
    // records created and deleted; whether a record was created under a new
    // index that the host left unset.
    size_t SavedCount(uint32_t tag) const;
    size_t SavedCount() const;
    size_t CreatedCount() const { return Created; }
    size_t DeletedCount() const { return Deleted; }
    bool IndexLeftUnset() const { return IndexesLeftUnset != 0; }

    // Notes an exception caught in a host function (what: null when memory
    // ran out); the first one is kept. Allocates nothing.
    void NoteFault(HostFn fn, const char* what) noexcept;
    const std::optional<HostFault>& Fault() const { return FirstFault; }

  private:
    // Counts what a call that did its work did to the records.
    void Tally(const HostCall& call);

    bool RecordCalls = true;
    size_t Limit = kCallLogLimit;
    std::vector<HostCall> Log;
    uint64_t CallsBeyondLog = 0;
    uint64_t NumberedCalls = 0;
    std::array<uint64_t, kHostFnCount> PerFunction{};
    std::optional<HostFault> FirstFault;
    // Two copies of the last call that returned: one is written while the
    // other is read. And the call running now, set before it begins.
    std::array<HostCall, 2> LastCalls;
    std::atomic<int> LastCallSlot{-1};
    HostFn RunningFunction = HostFn::LoadKData;
    uint64_t RunningNumber = 0;
    std::atomic<bool> CallRunning{false};
    std::map<uint32_t, size_t> Saved;
    size_t Created = 0;
    size_t Deleted = 0;
    size_t IndexesLeftUnset = 0;
};

}  // namespace sim
