#include "tests/support/SimHostBinding.h"

#include <map>
#include <string>

#include "framework/host/HostFunctions.h"
#include "framework/host/HostVersion.h"
#include "tests/support/TestPlatform.h"

namespace {

// The handle of the host program that the test platform hands out.
int hostProgram = 0;

// Functions put in the host's place, by name.
std::map<std::string, void*>& Replacements() {
    static std::map<std::string, void*> replacements;
    return replacements;
}

void ResetModuleState() {
    testplatform::Reset();
    Replacements().clear();
    host::ForgetBinding();
    HostVersion = kInitialHostVersion;
    MenuHostVersion = 0;
}

}  // namespace

SimHostBinding::SimHostBinding(sim::Host& host) : Host(host), Scope(host) {
    ResetModuleState();
    auto& platform = testplatform::Current();
    platform.Modules["MELVARA.EXE"] = &hostProgram;
    platform.Resolve = [](void*, const char* name) -> void* {
        auto replaced = Replacements().find(name);
        if (replaced != Replacements().end()) return replaced->second;
        return sim::FindHostFunction(name);
    };
    platform.MessageBoxHandler = [&host](void* window, const char16_t* text,
                                         const char16_t* caption, unsigned style) {
        return host.ShowMessageBox(window, text, caption, style);
    };
}

SimHostBinding::~SimHostBinding() { ResetModuleState(); }

void SimHostBinding::Replace(const char* name, void* address) {
    Replacements()[name] = address;
    host::ForgetBinding();
}

void SimHostBinding::MakeMissing(sim::HostFn fn) {
    Host.Failures().SetFunctionMode(fn, sim::FunctionMode::Missing);
    host::ForgetBinding();
}
