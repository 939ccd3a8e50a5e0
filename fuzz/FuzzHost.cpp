#include "fuzz/FuzzHost.h"

#include <cstdio>
#include <cstdlib>

#include "framework/host/HostFunctions.h"
#include "framework/host/HostVersion.h"
#include "tests/support/TestPlatform.h"

namespace fuzz {
namespace {

int hostProgram = 0;

std::map<std::string, void*>& Replacements() {
    static std::map<std::string, void*> replacements;
    return replacements;
}

}  // namespace

void Fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

HostBinding::HostBinding(sim::Host& host, uint32_t hostVersion) : Scope(host) {
    testplatform::Reset();
    Replacements().clear();
    host::ForgetBinding();
    HostVersion = hostVersion;
    MenuHostVersion = hostVersion;

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

HostBinding::~HostBinding() {
    host::ForgetBinding();
    testplatform::Reset();
    Replacements().clear();
}

void HostBinding::Replace(const char* name, void* address) {
    Replacements()[name] = address;
    host::ForgetBinding();
}

bool HasModuleWarnings(const sim::Host& host, std::string* first) {
    for (const std::string& warning : host.Warnings()) {
        if (warning.rfind("MX_SlotToInst asked for slot", 0) == 0) continue;
        if (first != nullptr) *first = warning;
        return true;
    }
    return false;
}

}  // namespace fuzz
