// The guard over calls into a module: each fault ends the program with the
// export, the signal and the host's last call, and its own exit status. Each
// case runs in a child process (a death test), as a fault ends the program.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>

#include "sim/host/GuardedMemory.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "sim/module/ModuleGuard.h"

namespace {

constexpr sim::ModuleGuard::ExitStatus kStatus{4, 5};

void Report(const sim::ModuleFault& fault) {
    std::fprintf(stderr, "%s\n", fault.Describe().c_str());
}

// Runs fault as the export "MelvaraExtensionInvoke" under a guard with a
// time limit of 0.2 s, over a host that has answered one call.
void RunGuarded(const std::function<void(sim::Host&)>& fault) {
    sim::Host host;
    sim::CurrentHostScope current(host);
    host.GetMaxLayers(sim::kCallVersion);
    sim::ModuleGuard guard(Report, kStatus, 0.2);
    sim::ModuleGuard::Run("MelvaraExtensionInvoke", [&] { fault(host); });
    std::_Exit(0);
}

// Faults as a foreign module makes them: volatile, so that the compiler
// keeps the instructions, and not caught first by our own sanitizer.
volatile int Zero = 0;
volatile int One = 1;
volatile int* volatile Nowhere = nullptr;

__attribute__((no_sanitize("undefined"))) void WriteNowhere(sim::Host&) {
    *Nowhere = 1;
}

__attribute__((no_sanitize("undefined"))) void DivideByZero(sim::Host&) {
    One = One / Zero;
}

// Fenced host memory touched as a module would, unseen by our own sanitizer.
__attribute__((no_sanitize("address"))) void ReadReleasedFrame(sim::Host&) {
    auto& pool = sim::GuardedMemory::Shared();
    volatile uint8_t* frame = pool.Allocate(170, "frame 1");
    pool.Release(const_cast<uint8_t*>(frame));
    One = frame[6];
}

__attribute__((no_sanitize("address"))) void WriteFarPastRecord(sim::Host&) {
    volatile uint8_t* record =
        sim::GuardedMemory::Shared().Allocate(772, "the 772-byte record", true);
    volatile size_t length = 772 + 8000;
    for (size_t i = 772; i < length; ++i)
        record[i] = 0;
}

void OverrunFoundAfterTheCall(sim::Host&) {
    sim::ModuleGuard::ReportOverrun("MelvaraExtensionInit", "wrote 4 bytes past the 32-bit word");
}

TEST(ModuleGuardDeathTest, EachFaultIsReportedWithTheExportSignalAndLastCall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Case {
        const char* Name;
        std::function<void(sim::Host&)> Fault;
        int Status;
        const char* Report;
    };
    const std::string last = "last host call: #1 MX_GetMaxLayers\\(0x19000000\\) = 4";
    const Case cases[] = {
        {"null write", WriteNowhere, 4,
         "MelvaraExtensionInvoke crashed: SIGSEGV \\(invalid memory access at"},
        {"division by zero", DivideByZero, 4, "crashed: SIGFPE \\(integer division by zero\\)"},
        {"abort", [](sim::Host&) { std::abort(); }, 4, "crashed: SIGABRT \\(abort\\)"},
        {"trap", [](sim::Host&) { __builtin_trap(); }, 4, "crashed: SIGILL"},
        {"bus error raised", [](sim::Host&) { std::raise(SIGBUS); }, 4, "crashed: SIGBUS"},
        {"released frame read", ReadReleasedFrame, 4,
         "MelvaraExtensionInvoke crashed: frame 1 used after release \\(SIGSEGV at 0x"},
        {"far past a fenced record", WriteFarPastRecord, 4,
         "MelvaraExtensionInvoke wrote more than 2048 bytes past the 772-byte record "
         "\\(SIGSEGV at 0x"},
        {"overrun reported", OverrunFoundAfterTheCall, 4,
         "MelvaraExtensionInit wrote 4 bytes past the 32-bit word"},
        {"endless loop",
         [](sim::Host&) {
             for (volatile bool forever = true; forever;) {
             }
         },
         5, "MelvaraExtensionInvoke did not return within 0.2 s"},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(RunGuarded(c.Fault), testing::ExitedWithCode(c.Status),
                    std::string(c.Report) + ".*; " + last)
            << c.Name;
    }
}

TEST(ModuleGuardDeathTest, AFaultInsideAHostFunctionNamesTheCallThatHadNotReturned) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto badBuffer = [](sim::Host& host) {
        uint16_t keys[4] = {1, 0, 0, 0};
        uint32_t count = 30;
        host.GetScore().SetRecord(sim::kTupletDefaultsTag, {1, 0, 0, 0}, sim::Bytes(30));
        host.LoadKData(sim::kTupletDefaultsTag, keys, reinterpret_cast<void*>(16), &count,
                       sim::kCallVersion);
    };
    EXPECT_EXIT(RunGuarded(badBuffer), testing::ExitedWithCode(4),
                "crashed: SIGSEGV .*last host call: #2 MX_LoadKData, which had not returned "
                "\\(the call before: #1 MX_GetMaxLayers");
}

TEST(ModuleGuardDeathTest, AFaultOutsideTheModuleIsLeftToThePrograms) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto outside = [] {
        sim::ModuleGuard guard(Report, kStatus);
        sim::ModuleGuard::Run("MelvaraExtensionInvoke", [] {});
        std::abort();
    };
    EXPECT_EXIT(outside(), testing::KilledBySignal(SIGABRT), "");
}

}  // namespace
