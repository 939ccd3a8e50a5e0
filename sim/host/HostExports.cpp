// The exported host functions, each forwarding to the current host; no exception gets out.
#include "sim/host/HostExports.h"

#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include "sim/host/Host.h"

namespace sim {
namespace {

Host* Current = nullptr;

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

// Runs a host function for the module. Nothing may be thrown into the
// module: an exception (memory that ran out) gives the function's failure
// value (0, no frame), and the host keeps it to report once the module has
// returned. Without a current host the failure value is all there is.
template <typename Call>
auto Guarded(HostFn fn, Call&& call) -> decltype(call(std::declval<Host&>())) {
    using Result = decltype(call(std::declval<Host&>()));
    const Result failure{};
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
