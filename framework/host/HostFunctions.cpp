#include "framework/host/HostFunctions.h"

#include <cstring>
#include <type_traits>

#include "framework/host/HostApi.h"
#include "platform/Platform.h"

namespace host {
namespace {

constexpr int kMissingLayerCount = 4;

struct ModuleCache {
    void* Handle = nullptr;
    bool Resolved = false;
};
ModuleCache hostModule;

void* HostModule() {
    if (!hostModule.Resolved) {
        hostModule.Handle = platform::GetModuleHandleA("MELVARA.EXE");
        if (hostModule.Handle == nullptr) hostModule.Handle = platform::GetModuleHandleA("MELDEMO.EXE");
        hostModule.Resolved = true;
    }
    return hostModule.Handle;
}

// One cache per host function, shared by all its callers: the address every
// call goes to. Until the function is looked up, that is the binding's
// resolver, which looks it up and then calls it; from then on the host's
// function itself, or, when the host has none, a stand-in that fails as a
// missing function does. A call is then one indirect jump, with no test.
template <typename Fn>
struct Binding;

template <typename R, typename... Args>
struct Binding<R (*)(Args...)> {
    using Fn = R (*)(Args...);

    constexpr Binding(const char* name, Fn missing, Fn resolver)
        : Name(name), Missing(missing), Resolver(resolver), Call(resolver) {}

    void LookUp() {
        // An empty module is looked in too: it stands for the main program,
        // so a host program of another file name still binds.
        void* address = platform::GetProcAddress(HostModule(), Name);
        static_assert(sizeof(Fn) == sizeof(void*));
        if (address != nullptr) {
            std::memcpy(&Call, &address, sizeof Call);
        } else {
            Call = Missing;
        }
    }
    bool Found() {
        if (Call == Resolver) LookUp();
        return Call != Missing;
    }
    void Forget() { Call = Resolver; }

    const char* const Name;
    const Fn Missing;
    const Fn Resolver;
    Fn Call;
};

// The resolver of a binding: looks the function up, then makes the call.
template <auto& binding, typename Fn = decltype(binding.Call)>
struct Resolver;

template <auto& binding, typename R, typename... Args>
struct Resolver<binding, R (*)(Args...)> {
    [[gnu::noinline, gnu::cold]] static R Call(Args... args) {
        binding.LookUp();
        return binding.Call(args...);
    }
};

// What a missing function does: answer 0 (or no frame, or the layer count
// given), or nothing.
template <typename Fn, auto kAnswer = 0>
struct Missing;

template <typename R, typename... Args, auto kAnswer>
struct Missing<R (*)(Args...), kAnswer> {
    static R Call(Args...) {
        if constexpr (!std::is_void_v<R>) return static_cast<R>(kAnswer);
    }
};

Binding<MX_LoadKDataFn> loadKData{"MX_LoadKData", &Missing<MX_LoadKDataFn>::Call,
                                  &Resolver<loadKData>::Call};
Binding<MX_SaveKDataFn> saveKData{"MX_SaveKData", &Missing<MX_SaveKDataFn>::Call,
                                  &Resolver<saveKData>::Call};
Binding<MX_CreateKDataFn> createKData{"MX_CreateKData", &Missing<MX_CreateKDataFn>::Call,
                                      &Resolver<createKData>::Call};
Binding<MX_DeleteKDataFn> deleteKData{"MX_DeleteKData", &Missing<MX_DeleteKDataFn>::Call,
                                      &Resolver<deleteKData>::Call};
Binding<MX_NextKDataFn> nextKData{"MX_NextKData", &Missing<MX_NextKDataFn>::Call,
                                  &Resolver<nextKData>::Call};
Binding<MX_GetCurrentKovrinDocumentFn> getCurrentDocument{
    "MX_GetCurrentKovrinDocument", &Missing<MX_GetCurrentKovrinDocumentFn>::Call,
    &Resolver<getCurrentDocument>::Call};
Binding<MX_GetCurKRegionsFn> getCurRegions{"MX_GetCurKRegions", &Missing<MX_GetCurKRegionsFn>::Call,
                                           &Resolver<getCurRegions>::Call};
Binding<MX_LoadTGFFn> loadTGF{"MX_LoadTGF", &Missing<MX_LoadTGFFn, nullptr>::Call,
                              &Resolver<loadTGF>::Call};
Binding<MX_FreeTGFFn> freeTGF{"MX_FreeTGF", &Missing<MX_FreeTGFFn>::Call, &Resolver<freeTGF>::Call};
Binding<MX_SlotToInstFn> slotToInst{"MX_SlotToInst", &Missing<MX_SlotToInstFn>::Call,
                                    &Resolver<slotToInst>::Call};
Binding<MX_InstToSlotFn> instToSlot{"MX_InstToSlot", &Missing<MX_InstToSlotFn>::Call,
                                    &Resolver<instToSlot>::Call};
Binding<MX_GetShowLayerFn> getShowLayer{"MX_GetShowLayer", &Missing<MX_GetShowLayerFn>::Call,
                                        &Resolver<getShowLayer>::Call};
Binding<MX_GetMaxLayersFn> getMaxLayers{"MX_GetMaxLayers",
                                        &Missing<MX_GetMaxLayersFn, kMissingLayerCount>::Call,
                                        &Resolver<getMaxLayers>::Call};

}  // namespace

int16_t MX_LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                     uint32_t version) {
    return loadKData.Call(tag, keys, buffer, count, version);
}

bool HasLoadKData() { return loadKData.Found(); }

int16_t MX_SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                     uint32_t version) {
    return saveKData.Call(tag, keys, buffer, count, version);
}

int16_t MX_CreateKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                       uint32_t version) {
    return createKData.Call(tag, keys, buffer, count, version);
}

int16_t MX_DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    return deleteKData.Call(tag, keys, version);
}

int16_t MX_NextKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    return nextKData.Call(tag, keys, nullptr, nullptr, version);
}

int16_t MX_GetCurrentKovrinDocument() { return getCurrentDocument.Call(kCallVersion); }

bool MX_GetCurKRegions(void* area8, void* area24a, void* area24b) {
    if (!getCurRegions.Found()) return false;
    getCurRegions.Call(area8, area24a, area24b, kCallVersion);
    return true;
}

void* MX_LoadTGF(int16_t slot, int16_t measure, int16_t layer, int16_t option) {
    return loadTGF.Call(nullptr, slot, measure, layer, option, kCallVersion);
}

void MX_FreeTGF(void* frame) { freeTGF.Call(frame, kCallVersion); }

int16_t MX_SlotToInst(int16_t slot, uint16_t scope) {
    return slotToInst.Call(slot, scope, kCallVersion);
}

int16_t MX_InstToSlot(int16_t staff) { return instToSlot.Call(staff, 0, kCallVersion); }

int16_t MX_GetShowLayer(int16_t layer) { return getShowLayer.Call(layer, kCallVersion); }

int16_t MX_GetMaxLayers() { return getMaxLayers.Call(kCallVersion); }

void ForgetBinding() {
    hostModule = ModuleCache{};
    loadKData.Forget();
    saveKData.Forget();
    createKData.Forget();
    deleteKData.Forget();
    nextKData.Forget();
    getCurrentDocument.Forget();
    getCurRegions.Forget();
    loadTGF.Forget();
    freeTGF.Forget();
    slotToInst.Forget();
    instToSlot.Forget();
    getShowLayer.Forget();
    getMaxLayers.Forget();
}

}  // namespace host
