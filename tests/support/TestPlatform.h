#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

// The platform layer of the unit tests: module and function lookups answered
// by the test, message boxes recorded and answered from a script.
namespace testplatform {

struct MessageBox {
    void* Window;
    std::u16string Text;
    std::u16string Caption;
    unsigned Style;
    int Answer;
};

struct State {
    // GetModuleHandleA answers: module name to handle; other names give none.
    std::map<std::string, void*> Modules;
    // GetProcAddress: the function's address, or null for a missing one. A
    // null module stands for the main program, as on Windows.
    std::function<void*(void* module, const char* name)> Resolve;
    // Number of GetProcAddress and GetModuleHandleA calls per name.
    std::map<std::string, int> ProcLookups;
    std::map<std::string, int> ModuleLookups;

    // MessageBoxW answers, taken in order; DefaultAnswer when none is left.
    std::deque<int> Answers;
    int DefaultAnswer = 1;
    std::vector<MessageBox> Boxes;
    std::vector<void*> IsWindowCalls;
    // Called instead of recording when set (the simulated host's boxes).
    std::function<int(void*, const char16_t*, const char16_t*, unsigned)> MessageBoxHandler;
};

// The one state the platform functions read; Reset gives a fresh one.
State& Current();
void Reset();

}  // namespace testplatform
