#include "bench/BenchPlatform.h"

#include <cstring>
#include <string_view>

#include "platform/Platform.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"

namespace benchplatform {
namespace {

int hostProgram = 0;
bool trackHostCalls = false;
bool boxesGoToHost = false;
bool inHost = false;

// Marks the time inside the host for the heap counter.
class HostCallMark {
  public:
    HostCallMark() : Outer(inHost) { inHost = true; }
    ~HostCallMark() { inHost = Outer; }
    HostCallMark(const HostCallMark&) = delete;
    HostCallMark& operator=(const HostCallMark&) = delete;

  private:
    bool Outer;
};

// The wrapper of one exported host function.
template <typename Fn, Fn Function>
struct Marked;

template <typename R, typename... Args, R (*Function)(Args...)>
struct Marked<R (*)(Args...), Function> {
    static R Call(Args... args) {
        HostCallMark mark;
        return Function(args...);
    }
};

template <typename Fn>
void* Address(Fn fn) {
    void* address;
    static_assert(sizeof address == sizeof fn);
    std::memcpy(&address, &fn, sizeof address);
    return address;
}

void* MarkedHostFunction(std::string_view name) {
#define MARKED(Name) \
    if (name == "MX_" #Name) return Address(&Marked<MX_##Name##Fn, &::MX_##Name>::Call);
    MELVARA_HOST_FUNCTIONS(MARKED)
#undef MARKED
    return nullptr;
}

// The button a user pressing Enter chooses: Yes in a Yes/No box, else OK.
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr unsigned kButtonsMask = 0x0F;
constexpr unsigned kYesNo = 0x4;

}  // namespace

void* FindHostFunction(const char* name) {
    void* address = sim::FindHostFunction(name);
    if (address == nullptr || !trackHostCalls)
        return address;
    return MarkedHostFunction(name);
}

void SetTrackHostCalls(bool on) {
    trackHostCalls = on;
}

bool InHost() {
    return inHost;
}

void SetBoxesGoToHost(bool on) {
    boxesGoToHost = on;
}

}  // namespace benchplatform

namespace platform {

ModuleHandle GetModuleHandleA(const char* name) {
    if (name == nullptr || std::strcmp(name, "MELVARA.EXE") != 0)
        return nullptr;
    return &benchplatform::hostProgram;
}

void* GetProcAddress(ModuleHandle module, const char* name) {
    // An empty module is the main program, as on Windows.
    if ((module != nullptr && module != &benchplatform::hostProgram) || name == nullptr)
        return nullptr;
    return benchplatform::FindHostFunction(name);
}

int MessageBoxW(WindowHandle window, const char16_t* text, const char16_t* caption,
                unsigned style) {
    if (benchplatform::boxesGoToHost && sim::CurrentHost() != nullptr) {
        benchplatform::HostCallMark mark;
        return sim::CurrentHost()->ShowMessageBox(window, text, caption, style);
    }
    return (style & benchplatform::kButtonsMask) == benchplatform::kYesNo ? benchplatform::kIdYes
                                                                           : benchplatform::kIdOk;
}

bool IsWindow(WindowHandle window) {
    if (benchplatform::boxesGoToHost && sim::CurrentHost() != nullptr) {
        benchplatform::HostCallMark mark;
        return sim::CurrentHost()->IsWindowHandle(window) != 0;
    }
    return window != nullptr;
}

}  // namespace platform
