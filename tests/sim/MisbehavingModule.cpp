// A module that mishandles layer frames, for testing how melvara-sim reports
// it: its command releases one frame twice and keeps another.
#include <dlfcn.h>

#include <cstdint>
#include <cstring>

#include "contract/MelvaraExports.h"

namespace {

template <typename Fn>
Fn Host(const char* name) {
    void* program = dlopen(nullptr, RTLD_LAZY);
    void* address = dlsym(program, name);
    dlclose(program);
    Fn fn;
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

}  // namespace

MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion) { return hostVersion; }

MELVARA_EXPORT int MelvaraExtensionInit(void*, uint32_t*) { return 1; }

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void*, int16_t, MenuItemRecord*) { return 0; }

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void*, int16_t, MenuItemRecordW*) {
    return 0;
}

MELVARA_EXPORT int MelvaraExtensionInvoke(void*, int16_t, const void*) {
    using LoadFn = void* (*)(void*, int16_t, int16_t, int16_t, int16_t, uint32_t);
    using FreeFn = void (*)(void*, uint32_t);
    const auto load = Host<LoadFn>("MX_LoadTGF");
    const auto release = Host<FreeFn>("MX_FreeTGF");
    if (load == nullptr || release == nullptr) return 1;
    void* twice = load(nullptr, 1, 1, 0, 1, 0x19000000);
    release(twice, 0x19000000);
    release(twice, 0x19000000);
    load(nullptr, 1, 2, 0, 1, 0x19000000);
    return 1;
}

MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void*) { return 1; }

MELVARA_EXPORT void MelvaraExtensionTerminate(void) {}
