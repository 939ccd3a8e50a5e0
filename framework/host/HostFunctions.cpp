#include "framework/host/HostFunctions.h"

#include <cstring>
#include <string_view>
#include <type_traits>

#include "contract/MelvaraHostFunctions.h"
#include "platform/Platform.h"

namespace host {
namespace {

struct ModuleCache {
    void* Handle = nullptr;
    bool Resolved = false;
};
ModuleCache hostModule;

void* HostModule() {
    if (!hostModule.Resolved) {
        hostModule.Handle = platform::GetModuleHandleA(MELVARA_HOST_PROGRAM);
        if (hostModule.Handle == nullptr) {
            hostModule.Handle = platform::GetModuleHandleA(MELVARA_DEMO_PROGRAM);
        }
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

// What a missing function does: answer 0, no frame or the layer count
// given, or nothing.
template <typename Fn, int kAnswer>
struct Missing;

template <typename R, typename... Args, int kAnswer>
struct Missing<R (*)(Args...), kAnswer> {
    static R Call(Args...) {
        if constexpr (std::is_pointer_v<R>) {
            return nullptr;
        } else if constexpr (!std::is_void_v<R>) {
            return static_cast<R>(kAnswer);
        }
    }
};

// What a missing function answers: 0, but for the layer count.
constexpr int MissingAnswer(std::string_view name) {
    return name == "GetMaxLayers" ? MELVARA_MISSING_LAYER_COUNT : 0;
}

// One binding per host function, named after it: bound::LoadKData ...
namespace bound {
#define BINDING(Name)                                                                 \
    Binding<MX_##Name##Fn> Name{"MX_" #Name,                                          \
                                &Missing<MX_##Name##Fn, MissingAnswer(#Name)>::Call,  \
                                &Resolver<Name>::Call};
MELVARA_HOST_FUNCTIONS(BINDING)
#undef BINDING
}  // namespace bound

}  // namespace

int16_t MX_LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count,
                     uint32_t version) {
    return bound::LoadKData.Call(tag, keys, buffer, count, version);
}

bool HasLoadKData() { return bound::LoadKData.Found(); }

int16_t MX_SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                     uint32_t version) {
    return bound::SaveKData.Call(tag, keys, buffer, count, version);
}

int16_t MX_CreateKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count,
                       uint32_t version) {
    return bound::CreateKData.Call(tag, keys, buffer, count, version);
}

int16_t MX_DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    return bound::DeleteKData.Call(tag, keys, version);
}

int16_t MX_NextKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    return bound::NextKData.Call(tag, keys, nullptr, nullptr, version);
}

int16_t MX_GetCurrentKovrinDocument() { return bound::GetCurrentKovrinDocument.Call(kCallVersion); }

bool MX_GetCurKRegions(void* area8, void* area24a, void* area24b) {
    if (!bound::GetCurKRegions.Found()) return false;
    bound::GetCurKRegions.Call(area8, area24a, area24b, kCallVersion);
    return true;
}

void* MX_LoadTGF(int16_t slot, int16_t measure, int16_t layer, int16_t option) {
    return bound::LoadTGF.Call(nullptr, slot, measure, layer, option, kCallVersion);
}

void MX_FreeTGF(void* frame) { bound::FreeTGF.Call(frame, kCallVersion); }

int16_t MX_SlotToInst(int16_t slot, uint16_t scope) {
    return bound::SlotToInst.Call(slot, scope, kCallVersion);
}

int16_t MX_InstToSlot(int16_t staff) { return bound::InstToSlot.Call(staff, 0, kCallVersion); }

int16_t MX_GetShowLayer(int16_t layer) { return bound::GetShowLayer.Call(layer, kCallVersion); }

int16_t MX_GetMaxLayers() { return bound::GetMaxLayers.Call(kCallVersion); }

void ForgetBinding() {
    hostModule = ModuleCache{};
#define FORGET(Name) bound::Name.Forget();
    MELVARA_HOST_FUNCTIONS(FORGET)
#undef FORGET
}

}  // namespace host
