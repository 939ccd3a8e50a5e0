#include "sim/host/HostExports.h"

#include <cstring>

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
    if (Current != nullptr && Current->GetFunctionMode(*fn) == FunctionMode::Missing)
        return nullptr;
    switch (*fn) {
        case HostFn::LoadKData:
            return Address(&MX_LoadKData);
        case HostFn::SaveKData:
            return Address(&MX_SaveKData);
        case HostFn::CreateKData:
            return Address(&MX_CreateKData);
        case HostFn::DeleteKData:
            return Address(&MX_DeleteKData);
        case HostFn::NextKData:
            return Address(&MX_NextKData);
        case HostFn::GetCurrentKovrinDocument:
            return Address(&MX_GetCurrentKovrinDocument);
        case HostFn::GetCurKRegions:
            return Address(&MX_GetCurKRegions);
        case HostFn::LoadTGF:
            return Address(&MX_LoadTGF);
        case HostFn::FreeTGF:
            return Address(&MX_FreeTGF);
        case HostFn::SlotToInst:
            return Address(&MX_SlotToInst);
        case HostFn::InstToSlot:
            return Address(&MX_InstToSlot);
        case HostFn::GetShowLayer:
            return Address(&MX_GetShowLayer);
        case HostFn::GetMaxLayers:
            return Address(&MX_GetMaxLayers);
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

}  // namespace sim

using sim::CurrentHost;

SIM_HOST_EXPORT int16_t MX_LoadKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version) {
    return CurrentHost() ? CurrentHost()->LoadKData(tag, keys, buffer, count, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_SaveKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                     uint32_t version) {
    return CurrentHost() ? CurrentHost()->SaveKData(tag, keys, buffer, count, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_CreateKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                       uint32_t version) {
    return CurrentHost() ? CurrentHost()->CreateKData(tag, keys, buffer, count, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_DeleteKData(uint32_t tag, uint16_t keys[4], uint32_t version) {
    return CurrentHost() ? CurrentHost()->DeleteKData(tag, keys, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_NextKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version) {
    return CurrentHost() ? CurrentHost()->NextKData(tag, keys, buffer, count, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_GetCurrentKovrinDocument(uint32_t version) {
    return CurrentHost() ? CurrentHost()->GetCurrentKovrinDocument(version) : 0;
}

SIM_HOST_EXPORT int16_t MX_GetCurKRegions(void* area8, void* area24a, void* area24b,
                                          uint32_t version) {
    return CurrentHost() ? CurrentHost()->GetCurKRegions(area8, area24a, area24b, version) : 0;
}

SIM_HOST_EXPORT void* MX_LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer,
                                 int16_t option, uint32_t version) {
    return CurrentHost() ? CurrentHost()->LoadTGF(none, slot, measure, layer, option, version)
                         : nullptr;
}

SIM_HOST_EXPORT void MX_FreeTGF(void* frame, uint32_t version) {
    if (CurrentHost())
        CurrentHost()->FreeTGF(frame, version);
}

SIM_HOST_EXPORT int16_t MX_SlotToInst(int16_t slot, uint16_t scope, uint32_t version) {
    return CurrentHost() ? CurrentHost()->SlotToInst(slot, scope, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_InstToSlot(int16_t staff, int16_t zero, uint32_t version) {
    return CurrentHost() ? CurrentHost()->InstToSlot(staff, zero, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_GetShowLayer(int16_t layer, uint32_t version) {
    return CurrentHost() ? CurrentHost()->GetShowLayer(layer, version) : 0;
}

SIM_HOST_EXPORT int16_t MX_GetMaxLayers(uint32_t version) {
    return CurrentHost() ? CurrentHost()->GetMaxLayers(version) : 0;
}

#if !defined(_WIN32)
SIM_HOST_EXPORT int MessageBoxW(void* window, const char16_t* text, const char16_t* caption,
                                unsigned style) {
    return CurrentHost() ? CurrentHost()->ShowMessageBox(window, text, caption, style) : 0;
}

SIM_HOST_EXPORT int IsWindow(void* window) {
    return CurrentHost() ? CurrentHost()->IsWindowHandle(window) : 0;
}
#endif
