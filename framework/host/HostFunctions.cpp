#include "framework/host/HostFunctions.h"

#include <cstring>

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

// Incremented by ForgetBinding; a cached address of an older generation is
// looked up again.
unsigned bindingGeneration = 1;

void* HostModule() {
    if (!hostModule.Resolved) {
        hostModule.Handle = platform::GetModuleHandleA("MELVARA.EXE");
        if (hostModule.Handle == nullptr) hostModule.Handle = platform::GetModuleHandleA("MELDEMO.EXE");
        hostModule.Resolved = true;
    }
    return hostModule.Handle;
}

// One cache per host function, shared by all its callers.
template <typename Fn>
class Binding {
public:
    explicit constexpr Binding(const char* name) : Name(name) {}

    Fn Get() {
        if (Generation != bindingGeneration) {
            // An empty module is looked in too: it stands for the main
            // program, so a host program of another file name still binds.
            void* address = platform::GetProcAddress(HostModule(), Name);
            static_assert(sizeof(Fn) == sizeof(void*));
            std::memcpy(&Address, &address, sizeof Address);
            Generation = bindingGeneration;
        }
        return Address;
    }

private:
    const char* Name;
    Fn Address = nullptr;
    unsigned Generation = 0;
};

Binding<MX_LoadKDataFn> loadKData("MX_LoadKData");
Binding<MX_SaveKDataFn> saveKData("MX_SaveKData");
Binding<MX_CreateKDataFn> createKData("MX_CreateKData");
Binding<MX_DeleteKDataFn> deleteKData("MX_DeleteKData");
Binding<MX_NextKDataFn> nextKData("MX_NextKData");
Binding<MX_GetCurrentKovrinDocumentFn> getCurrentDocument("MX_GetCurrentKovrinDocument");
Binding<MX_GetCurKRegionsFn> getCurRegions("MX_GetCurKRegions");
Binding<MX_LoadTGFFn> loadTGF("MX_LoadTGF");
Binding<MX_FreeTGFFn> freeTGF("MX_FreeTGF");
Binding<MX_SlotToInstFn> slotToInst("MX_SlotToInst");
Binding<MX_InstToSlotFn> instToSlot("MX_InstToSlot");
Binding<MX_GetShowLayerFn> getShowLayer("MX_GetShowLayer");
Binding<MX_GetMaxLayersFn> getMaxLayers("MX_GetMaxLayers");

}  // namespace

int MX_LoadKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t* count, uint32_t version) {
    auto fn = loadKData.Get();
    return fn ? fn(tag, keys, buffer, count, version) : 0;
}

bool HasLoadKData() { return loadKData.Get() != nullptr; }

int MX_SaveKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count, uint32_t version) {
    auto fn = saveKData.Get();
    return fn ? fn(tag, keys, buffer, count, version) : 0;
}

int MX_CreateKData(uint32_t tag, uint16_t* keys, void* buffer, uint32_t count, uint32_t version) {
    auto fn = createKData.Get();
    return fn ? fn(tag, keys, buffer, count, version) : 0;
}

int MX_DeleteKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    auto fn = deleteKData.Get();
    return fn ? fn(tag, keys, version) : 0;
}

int MX_NextKData(uint32_t tag, uint16_t* keys, uint32_t version) {
    auto fn = nextKData.Get();
    return fn ? fn(tag, keys, nullptr, nullptr, version) : 0;
}

int MX_GetCurrentKovrinDocument() {
    auto fn = getCurrentDocument.Get();
    return fn ? fn(kCallVersion) : 0;
}

bool MX_GetCurKRegions(void* area8, void* area24a, void* area24b) {
    auto fn = getCurRegions.Get();
    if (!fn) return false;
    fn(area8, area24a, area24b, kCallVersion);
    return true;
}

void* MX_LoadTGF(int16_t slot, int16_t measure, int16_t layer, int16_t option) {
    auto fn = loadTGF.Get();
    return fn ? fn(nullptr, slot, measure, layer, option, kCallVersion) : nullptr;
}

void MX_FreeTGF(void* frame) {
    if (auto fn = freeTGF.Get()) fn(frame, kCallVersion);
}

int MX_SlotToInst(int16_t slot, uint16_t scope) {
    auto fn = slotToInst.Get();
    return fn ? fn(slot, scope, kCallVersion) : 0;
}

int MX_InstToSlot(int16_t staff) {
    auto fn = instToSlot.Get();
    return fn ? fn(staff, 0, kCallVersion) : 0;
}

int MX_GetShowLayer(int16_t layer) {
    auto fn = getShowLayer.Get();
    return fn ? fn(layer, kCallVersion) : 0;
}

int MX_GetMaxLayers() {
    auto fn = getMaxLayers.Get();
    return fn ? fn(kCallVersion) : kMissingLayerCount;
}

void ForgetBinding() {
    hostModule = ModuleCache{};
    ++bindingGeneration;
}

}  // namespace host
