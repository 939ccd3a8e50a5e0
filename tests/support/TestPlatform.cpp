#include "tests/support/TestPlatform.h"

#include "platform/Platform.h"

namespace testplatform {

State& Current() {
    static State state;
    return state;
}

void Reset() { Current() = State{}; }

}  // namespace testplatform

namespace platform {

ModuleHandle GetModuleHandleA(const char* name) {
    auto& state = testplatform::Current();
    ++state.ModuleLookups[name];
    auto found = state.Modules.find(name);
    return found == state.Modules.end() ? nullptr : found->second;
}

void* GetProcAddress(ModuleHandle module, const char* name) {
    auto& state = testplatform::Current();
    ++state.ProcLookups[name];
    if (!state.Resolve) return nullptr;
    return state.Resolve(module, name);
}

int MessageBoxW(WindowHandle window, const char16_t* text, const char16_t* caption,
                unsigned style) {
    auto& state = testplatform::Current();
    if (state.MessageBoxHandler) return state.MessageBoxHandler(window, text, caption, style);
    int answer = state.DefaultAnswer;
    if (!state.Answers.empty()) {
        answer = state.Answers.front();
        state.Answers.pop_front();
    }
    state.Boxes.push_back({window, text, caption, style, answer});
    return answer;
}

bool IsWindow(WindowHandle window) {
    testplatform::Current().IsWindowCalls.push_back(window);
    return window != nullptr;
}

}  // namespace platform
