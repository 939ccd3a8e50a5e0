// The call log: numbering and keeping the calls, the last call, the first host fault.
#include "sim/host/CallLog.h"

#include <cstdio>

namespace sim {

std::atomic<uint64_t>* HostCallWord = nullptr;

std::string UnpackedHostCallText(uint64_t word) {
    if ((word & 2u) == 0)
        return "none before it";
    const auto fn = static_cast<HostFn>((word >> 2) & 0x7F);
    const uint64_t number = word >> 16;
    std::string text = number != 0 ? "#" + std::to_string(number) + " " : std::string();
    text += fn < static_cast<HostFn>(kHostFnCount) ? HostFnName(fn) : "an unknown function";
    return (word & 1u) != 0 ? text + ", which had not returned" : text;
}

void CallLog::Tally(const HostCall& call) {
    switch (call.Function) {
        case HostFn::SaveKData:
            ++Saved[call.Tag];
            break;
        case HostFn::CreateKData:
            ++Created;
            if (call.KeysIn[2] == MELVARA_KEY_NEW_INDEX && call.KeysOut[2] == MELVARA_KEY_NEW_INDEX)
                ++IndexesLeftUnset;
            break;
        case HostFn::DeleteKData:
            ++Deleted;
            break;
        default:
            break;
    }
}

size_t CallLog::SavedCount(uint32_t tag) const {
    auto found = Saved.find(tag);
    return found == Saved.end() ? 0 : found->second;
}

size_t CallLog::SavedCount() const {
    size_t total = 0;
    for (const auto& [tag, count] : Saved)
        total += count;
    return total;
}

LastHostCall CallLog::LastCall() const {
    LastHostCall last;
    last.Running = CallRunning.load(std::memory_order_acquire);
    last.RunningFunction = RunningFunction;
    last.RunningNumber = RunningNumber;
    const int slot = LastCallSlot.load(std::memory_order_acquire);
    if (slot >= 0)
        last.Returned = LastCalls[static_cast<size_t>(slot)];
    return last;
}

void CallLog::NoteFault(HostFn fn, const char* what) noexcept {
    if (FirstFault)
        return;
    HostFault& fault = FirstFault.emplace();
    fault.Function = fn;
    fault.Call = NumberedCalls;
    fault.OutOfMemory = what == nullptr;
    if (what != nullptr)
        std::snprintf(fault.What, sizeof fault.What, "%s", what);
}

std::string HostFault::Describe() const {
    std::string text = OutOfMemory ? std::string("out of memory in ") + HostFnName(Function)
                                   : std::string(HostFnName(Function)) + " failed inside the host";
    if (Call != 0) {
        text += (IsRecordedHostFunction(Function) ? " (call #" : " (after call #") +
                std::to_string(Call) + ")";
    }
    if (!OutOfMemory)
        text += std::string(": ") + What;
    return text +
           "; the module was given the call's failure value, so its results are not to be trusted";
}

}  // namespace sim
