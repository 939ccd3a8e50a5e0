#pragma once

// The functions the host program exports to the module, under their plain
// names with C linkage. Each forwards to the current sim::Host; with none set
// they give their failure values (0, no frame, nothing done).
//
// In the melvara-sim program the module finds them by name in the main
// program (dlsym on Linux, GetProcAddress on Windows). In process, a test's
// platform layer answers its lookups with sim::FindHostFunction.

#include <cstdint>
#include <string>

// A host program built with SIM_HOST_EXPORTS_FROM_DEF_FILE lists its exports
// in a .def file instead, so that a build can leave some of them out.
#if defined(SIM_HOST_EXPORTS_FROM_DEF_FILE)
#define SIM_HOST_EXPORT extern "C"
#elif defined(_WIN32)
#define SIM_HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define SIM_HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

SIM_HOST_EXPORT int16_t MX_LoadKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version);
SIM_HOST_EXPORT int16_t MX_SaveKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                     uint32_t version);
SIM_HOST_EXPORT int16_t MX_CreateKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t count,
                                       uint32_t version);
SIM_HOST_EXPORT int16_t MX_DeleteKData(uint32_t tag, uint16_t keys[4], uint32_t version);
SIM_HOST_EXPORT int16_t MX_NextKData(uint32_t tag, uint16_t keys[4], void* buffer, uint32_t* count,
                                     uint32_t version);
SIM_HOST_EXPORT int16_t MX_GetCurrentKovrinDocument(uint32_t version);
SIM_HOST_EXPORT int16_t MX_GetCurKRegions(void* area8, void* area24a, void* area24b,
                                          uint32_t version);
SIM_HOST_EXPORT void* MX_LoadTGF(void* none, int16_t slot, int16_t measure, int16_t layer,
                                 int16_t option, uint32_t version);
SIM_HOST_EXPORT void MX_FreeTGF(void* frame, uint32_t version);
SIM_HOST_EXPORT int16_t MX_SlotToInst(int16_t slot, uint16_t scope, uint32_t version);
SIM_HOST_EXPORT int16_t MX_InstToSlot(int16_t staff, int16_t zero, uint32_t version);
SIM_HOST_EXPORT int16_t MX_GetShowLayer(int16_t layer, uint32_t version);
SIM_HOST_EXPORT int16_t MX_GetMaxLayers(uint32_t version);

#if !defined(_WIN32)
// The stand-ins for the window functions that the module's platform layer
// calls on systems other than Windows. On Windows the module calls the real
// ones and the host watches the boxes itself.
SIM_HOST_EXPORT int MessageBoxW(void* window, const char16_t* text, const char16_t* caption,
                                unsigned style);
SIM_HOST_EXPORT int IsWindow(void* window);
#endif

namespace sim {

class Host;

// The host the exported functions forward to; null for none.
void SetCurrentHost(Host* host);
Host* CurrentHost();

// Makes a host current for the life of the object, then restores the one before.
class CurrentHostScope {
  public:
    explicit CurrentHostScope(Host& host) : Previous(CurrentHost()) { SetCurrentHost(&host); }
    ~CurrentHostScope() { SetCurrentHost(Previous); }
    CurrentHostScope(const CurrentHostScope&) = delete;
    CurrentHostScope& operator=(const CurrentHostScope&) = delete;

  private:
    Host* Previous;
};

// The address of the exported function of that name, as GetProcAddress would
// give it; null for an unknown name or a function the current host marks
// missing.
void* FindHostFunction(const char* name);

// Takes one of the thirteen functions out of this program's export table, so
// that a module loaded afterwards does not find it by name, as in a host
// that lacks it. For the rest of the program's life. False, with error set,
// when the table cannot be changed.
bool HideHostExport(const char* name, std::string& error);

}  // namespace sim
