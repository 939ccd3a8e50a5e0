// The exported host functions, each forwarding to the current host; no exception gets out.
#include "sim/host/HostExports.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <new>
#include <thread>
#include <utility>

#include "sim/host/Host.h"

namespace sim {
namespace {

Host* Current = nullptr;

// Where the module is called. Written by the host's thread, read by any
// thread that calls a host function: each field atomic on its own. Export
// is stored last, so that a thread that sees it sees the others too.
std::atomic<int> ModulesLoaded{0};
std::atomic<uint64_t> Loads{0};
std::atomic<const char*> RunningExport{nullptr};
std::atomic<const char*> RunningOutside{nullptr};
std::atomic<std::thread::id> RunningThread{};
std::atomic<const char*> LastExport{nullptr};
constexpr const char* kExportPrefix = "MelvaraExtension";

// The first stray call: written once by the first thread to claim it.
enum StrayState : int { kNoStray, kWritingStray, kStrayWritten };
std::atomic<int> FirstStrayState{kNoStray};
StrayCall FirstStray;
std::atomic<uint64_t> StrayCalls{0};

void NoteStray(StrayCall::Kind how, HostFn fn, const char* exportName) {
    StrayCalls.fetch_add(1, std::memory_order_relaxed);
    int expected = kNoStray;
    if (!FirstStrayState.compare_exchange_strong(expected, kWritingStray))
        return;
    FirstStray.How = how;
    FirstStray.Function = fn;
    FirstStray.Export = exportName;
    FirstStrayState.store(kStrayWritten, std::memory_order_release);
}

// Whether the module may call a host function here and now; if not, the
// call is noted as a stray one.
bool CalledFromTheModulesCall(HostFn fn) {
    if (ModulesLoaded.load(std::memory_order_acquire) == 0)
        return true;
    const char* running = RunningExport.load(std::memory_order_acquire);
    if (running == nullptr) {
        NoteStray(StrayCall::Kind::NoCall, fn, LastExport.load(std::memory_order_acquire));
        return false;
    }
    if (const char* outside = RunningOutside.load(std::memory_order_acquire)) {
        NoteStray(StrayCall::Kind::DuringForbiddenCall, fn, outside);
        return false;
    }
    if (std::this_thread::get_id() != RunningThread.load(std::memory_order_acquire)) {
        NoteStray(StrayCall::Kind::OtherThread, fn, running);
        return false;
    }
    return true;
}

template <typename Fn>
void* Address(Fn fn) {
    void* address;
    static_assert(sizeof address == sizeof fn);
    std::memcpy(&address, &fn, sizeof address);
    return address;
}

}  // namespace

void SetCurrentHost(Host* host) {
    Current = host;
    // A watcher in another process sees this host's calls from now on.
    if (HostCallWord == nullptr)
        return;
    uint64_t word = 0;
    if (host != nullptr) {
        const LastHostCall last = host->Log().LastCall();
        if (last.Running)
            word = PackHostCall(last.RunningNumber, last.RunningFunction, true);
        else if (last.Returned)
            word = PackHostCall(last.Returned->Number, last.Returned->Function, false);
    }
    HostCallWord->store(word, std::memory_order_relaxed);
}

Host* CurrentHost() {
    return Current;
}

void* FindHostFunction(const char* name) {
    if (name == nullptr)
        return nullptr;
    const std::optional<HostFn> fn = HostFnByName(name);
    if (!fn)
        return nullptr;
    if (Current != nullptr && Current->Failures().GetFunctionMode(*fn) == FunctionMode::Missing)
        return nullptr;
    switch (*fn) {
#define HOST_FN_CASE(Name) \
    case HostFn::Name:     \
        return Address(&MX_##Name);
        MELVARA_HOST_FUNCTIONS(HOST_FN_CASE)
#undef HOST_FN_CASE
#if defined(_WIN32)
        case HostFn::MessageBoxW:
        case HostFn::IsWindow:
            return nullptr;
#else
        case HostFn::MessageBoxW:
            return Address(&MessageBoxW);
        case HostFn::IsWindow:
            return Address(&IsWindow);
#endif
    }
    return nullptr;
}

void NoteModuleLoaded() {
    ModulesLoaded.fetch_add(1, std::memory_order_acq_rel);
    Loads.fetch_add(1, std::memory_order_relaxed);
}

uint64_t ModuleLoads() {
    return Loads.load(std::memory_order_relaxed);
}

void NoteModuleUnloaded() {
    ModulesLoaded.fetch_sub(1, std::memory_order_acq_rel);
}

ModuleCallScope::ModuleCallScope(const char* exportName, const char* outside)
    : PreviousExport(RunningExport.load(std::memory_order_relaxed)),
      PreviousOutside(RunningOutside.load(std::memory_order_relaxed)) {
    RunningThread.store(std::this_thread::get_id(), std::memory_order_relaxed);
    RunningOutside.store(outside, std::memory_order_relaxed);
    RunningExport.store(exportName, std::memory_order_release);
}

ModuleCallScope::~ModuleCallScope() {
    // Loading and unloading are calls into the module, but not exports.
    const char* ending = RunningExport.load(std::memory_order_relaxed);
    if (ending != nullptr && std::strncmp(ending, kExportPrefix, std::strlen(kExportPrefix)) == 0)
        LastExport.store(ending, std::memory_order_relaxed);
    RunningOutside.store(PreviousOutside, std::memory_order_relaxed);
    RunningExport.store(PreviousExport, std::memory_order_release);
}

std::string StrayCall::Describe() const {
    const std::string name = HostFnName(Function);
    switch (How) {
        case Kind::OtherThread:
            return name + " called from another thread than the one the host called " + Export +
                   " on";
        case Kind::DuringForbiddenCall:
            return name + " called outside an export's call: " + Export;
        case Kind::NoCall:
            break;
    }
    return name + " called outside an export's call: " +
           (Export == nullptr ? std::string("before the host called any export")
                              : std::string("after ") + Export + " had returned");
}

std::optional<StrayCall> FirstStrayCall() {
    if (FirstStrayState.load(std::memory_order_acquire) != kStrayWritten)
        return std::nullopt;
    return FirstStray;
}

uint64_t StrayCallCount() {
    return StrayCalls.load(std::memory_order_relaxed);
}

// Runs a host function for the module. Nothing may be thrown into the
// module: an exception (memory that ran out) gives the function's failure
// value (0, no frame), and the host keeps it to report once the module has
// returned. Without a current host, or for a stray call, the failure value
// is all there is.
template <typename Call>
auto Guarded(HostFn fn, Call&& call) -> decltype(call(std::declval<Host&>())) {
    using Result = decltype(call(std::declval<Host&>()));
    const Result failure{};
    if (!CalledFromTheModulesCall(fn))
        return failure;
    Host* host = CurrentHost();
    if (host == nullptr)
        return failure;
    try {
        return call(*host);
    } catch (const std::bad_alloc&) {
        host->Log().NoteFault(fn, nullptr);
    } catch (const std::exception& e) {
        host->Log().NoteFault(fn, e.what());
    } catch (...) {
        host->Log().NoteFault(fn, "an exception");
    }
    return failure;
}

}  // namespace sim

SIM_HOST_EXPORT int16_t MX_LoadKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version) {
    return sim::Guarded(sim::HostFn::LoadKData, [&](sim::Host& host) {
        return host.LoadKData(tag, keys, buffer, count, version);
    });
}

SIM_HOST_EXPORT int16_t MX_SaveKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                     uint32_t version) {
    return sim::Guarded(sim::HostFn::SaveKData, [&](sim::Host& host) {
        return host.SaveKData(tag, keys, buffer, count, version);
    });
}

SIM_HOST_EXPORT int16_t MX_CreateKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                       uint32_t version) {
    return sim::Guarded(sim::HostFn::CreateKData, [&](sim::Host& host) {
        return host.CreateKData(tag, keys, buffer, count, version);
    });
}

SIM_HOST_EXPORT int16_t MX_DeleteKData(uint32_t tag, uint16_t keys[4], uint32_t version) {
    return sim::Guarded(sim::HostFn::DeleteKData, [&](sim::Host& host) {
        return host.DeleteKData(tag, keys, version);
    });
}

SIM_HOST_EXPORT int16_t MX_NextKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version) {
    return sim::Guarded(sim::HostFn::NextKData, [&](sim::Host& host) {
        return host.NextKData(tag, keys, buffer, count, version);
    });
}

SIM_HOST_EXPORT int16_t MX_GetCurrentKovrinDocument(uint32_t version) {
    return sim::Guarded(sim::HostFn::GetCurrentKovrinDocument, [&](sim::Host& host) {
        return host.GetCurrentKovrinDocument(version);
    });
}

SIM_HOST_EXPORT int16_t MX_GetCurKRegions(void* area8, void* area24a, void* area24b,
                                          uint32_t version) {
    return sim::Guarded(sim::HostFn::GetCurKRegions, [&](sim::Host& host) {
        return host.GetCurKRegions(area8, area24a, area24b, version);
    });
}

SIM_HOST_EXPORT void* MX_LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer,
                                 int16_t option, uint32_t version) {
    return sim::Guarded(sim::HostFn::LoadTGF, [&](sim::Host& host) {
        return host.LoadTGF(none, slot, measure, layer, option, version);
    });
}

SIM_HOST_EXPORT void MX_FreeTGF(void* frame, uint32_t version) {
    sim::Guarded(sim::HostFn::FreeTGF, [&](sim::Host& host) {
        host.FreeTGF(frame, version);
        return 0;
    });
}

SIM_HOST_EXPORT int16_t MX_SlotToInst(int16_t slot, uint16_t scope, uint32_t version) {
    return sim::Guarded(sim::HostFn::SlotToInst, [&](sim::Host& host) {
        return host.SlotToInst(slot, scope, version);
    });
}

SIM_HOST_EXPORT int16_t MX_InstToSlot(int16_t staff, int16_t zero, uint32_t version) {
    return sim::Guarded(sim::HostFn::InstToSlot, [&](sim::Host& host) {
        return host.InstToSlot(staff, zero, version);
    });
}

SIM_HOST_EXPORT int16_t MX_GetShowLayer(int16_t layer, uint32_t version) {
    return sim::Guarded(sim::HostFn::GetShowLayer, [&](sim::Host& host) {
        return host.GetShowLayer(layer, version);
    });
}

SIM_HOST_EXPORT int16_t MX_GetMaxLayers(uint32_t version) {
    return sim::Guarded(sim::HostFn::GetMaxLayers, [&](sim::Host& host) {
        return host.GetMaxLayers(version);
    });
}

#if !defined(_WIN32)
SIM_HOST_EXPORT int MessageBoxW(void* window, const char16_t* text, const char16_t* caption,
                                unsigned style) {
    return sim::Guarded(sim::HostFn::MessageBoxW, [&](sim::Host& host) {
        return host.ShowMessageBox(window, text, caption, style);
    });
}

SIM_HOST_EXPORT int IsWindow(void* window) {
    return sim::Guarded(sim::HostFn::IsWindow, [&](sim::Host& host) {
        return host.IsWindowHandle(window);
    });
}
#endif
