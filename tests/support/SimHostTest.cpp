#include "tests/support/SimHostTest.h"

#include <map>
#include <string>

#include "framework/host/HostFunctions.h"

namespace {

// A handle of the host program that the test platform hands out.
int hostProgram = 0;

// Functions that tests put in the host's place, by name.
std::map<std::string, void*>& Replacements() {
    static std::map<std::string, void*> replacements;
    return replacements;
}

}  // namespace

SimHostTest::SimHostTest() {
    testplatform::Reset();
    Replacements().clear();
    host::ForgetBinding();
    HostVersion = kInitialHostVersion;
    MenuHostVersion = 0;

    auto& platform = testplatform::Current();
    platform.Modules["MELVARA.EXE"] = &hostProgram;
    platform.Resolve = [](void*, const char* name) -> void* {
        auto replaced = Replacements().find(name);
        if (replaced != Replacements().end()) return replaced->second;
        return sim::FindHostFunction(name);
    };
    platform.MessageBoxHandler = [this](void* window, const char16_t* text, const char16_t* caption,
                                        unsigned style) {
        return Host.ShowMessageBox(window, text, caption, style);
    };
}

SimHostTest::~SimHostTest() {
    host::ForgetBinding();
    testplatform::Reset();
    Replacements().clear();
    HostVersion = kInitialHostVersion;
    MenuHostVersion = 0;
}

std::vector<sim::HostCall> SimHostTest::CallsOf(sim::HostFn fn) const {
    std::vector<sim::HostCall> calls;
    for (const sim::HostCall& call : Host.Calls()) {
        if (call.Function == fn) calls.push_back(call);
    }
    return calls;
}

void SimHostTest::MakeMissing(sim::HostFn fn) {
    Host.SetFunctionMode(fn, sim::FunctionMode::Missing);
    host::ForgetBinding();
}

void SimHostTest::ReplaceFunction(const char* name, void* address) {
    Replacements()[name] = address;
    host::ForgetBinding();
}

sim::TupletDefinition SampleTuplet(uint16_t seed) {
    sim::TupletDefinition t;
    for (size_t i = 0; i < t.HeadWords.size(); ++i) t.HeadWords[i] = static_cast<uint16_t>(seed + i);
    t.OptionBits = static_cast<uint16_t>(seed & 0x000F);
    t.Position1 = static_cast<uint16_t>(seed * 3);
    t.Position2 = static_cast<uint16_t>(seed * 5);
    t.Value1 = static_cast<uint16_t>(seed + 100);
    t.Value2 = static_cast<uint16_t>(seed + 200);
    t.Flags = static_cast<uint16_t>(0x0201 | ((seed & 3) << 4));
    t.Value3 = static_cast<uint16_t>(seed + 300);
    t.Value4 = static_cast<uint16_t>(seed + 400);
    t.Value5 = static_cast<uint16_t>(seed + 500);
    t.Value6 = static_cast<uint16_t>(seed + 600);
    t.Value7 = static_cast<uint16_t>(seed + 700);
    return t;
}
