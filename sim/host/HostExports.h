// The functions the host program exports to the module by name, and the host they forward to.
#pragma once

// The functions the host program exports to the module, under their plain
// names with C linkage. Each forwards to the current sim::Host; with none set
// they give their failure values (0, no frame, nothing done).
//
// In the melvara-sim program the module finds them by name in the main
// program (dlsym on Linux, GetProcAddress on Windows). In process, a test's
// platform layer answers its lookups with sim::FindHostFunction.

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>

#include "contract/MelvaraHostFunctions.h"
#include "sim/host/HostCall.h"

// A host program built with SIM_HOST_EXPORTS_FROM_DEF_FILE lists its exports
// in a .def file instead, so that a build can leave some of them out.
#if defined(SIM_HOST_EXPORTS_FROM_DEF_FILE)
#define SIM_HOST_EXPORT extern "C"
#elif defined(_WIN32)
#define SIM_HOST_EXPORT extern "C" __declspec(dllexport)
#else
#define SIM_HOST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// The thirteen, each of its type in the contract: MX_LoadKData ...
#define SIM_DECLARE_HOST_FUNCTION(Name) \
    SIM_HOST_EXPORT std::remove_pointer_t<MX_##Name##Fn> MX_##Name;
MELVARA_HOST_FUNCTIONS(SIM_DECLARE_HOST_FUNCTION)
#undef SIM_DECLARE_HOST_FUNCTION

#if !defined(_WIN32)
// The stand-ins for the window functions that the module's platform layer
// calls on systems other than Windows. On Windows the module calls the real
// ones and the host watches the boxes itself.
SIM_HOST_EXPORT std::remove_pointer_t<MelvaraMessageBoxWFn> MessageBoxW;
SIM_HOST_EXPORT std::remove_pointer_t<MelvaraIsWindowFn> IsWindow;
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

// --- Where the module calls from ----------------------------------------------
// Host functions are the module's to call inside the host's call of an export
// (but MelvaraExtensionTerminate), on the thread the host called it on. While
// a module is loaded, the loader marks each call into it; a host function
// called otherwise (from a thread the module started, from a timer, after
// Invoke returned, in Terminate, while the module is loaded or unloaded) is
// not carried out: it gives its failure value without touching the host,
// whose state belongs to the host's thread, and is kept as a stray call.

// A module is loaded, or unloaded: while any is loaded, calls are watched.
void NoteModuleLoaded();
void NoteModuleUnloaded();
// How many times a module was loaded in this process so far.
uint64_t ModuleLoads();

// Marks one call into the module for its life: the export (a name that lives
// as long as the program) and the thread it runs on. outside, when not null,
// says why host functions may not be called during it ("in
// MelvaraExtensionTerminate, after which ...").
class ModuleCallScope {
  public:
    explicit ModuleCallScope(const char* exportName, const char* outside = nullptr);
    ~ModuleCallScope();
    ModuleCallScope(const ModuleCallScope&) = delete;
    ModuleCallScope& operator=(const ModuleCallScope&) = delete;

  private:
    const char* PreviousExport;
    const char* PreviousOutside;
};

// A host function called from elsewhere than a call into the module.
struct StrayCall {
    enum class Kind : uint8_t { OtherThread, DuringForbiddenCall, NoCall };
    Kind How = Kind::NoCall;
    HostFn Function = HostFn::LoadKData;
    // The export that ran (OtherThread), the call into the module that forbids
    // host calls (DuringForbiddenCall: its reason), or the last export that
    // had returned (NoCall; null before any).
    const char* Export = nullptr;

    // "MX_GetMaxLayers called from another thread than the one the host
    // called MelvaraExtensionInvoke on"
    std::string Describe() const;
};

// The first stray call of the process, and how many there were.
std::optional<StrayCall> FirstStrayCall();
uint64_t StrayCallCount();

}  // namespace sim
