// The system's part of the module guard on Linux.
//
// The module guard on Linux: signal handlers on their own stack, and a timer
// that signals the guarded thread when a call takes too long. Either signal
// jumps back out of the module to the call's start (siglongjmp), where the
// fault is reported in ordinary code. A memory limit is one on the process's
// private memory, which the kernel enforces by refusing the allocation that
// would pass it; a call that returns after a refusal (errno ENOMEM) has run
// out of it too.
#include <dlfcn.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "sim/module/ModuleGuard.h"

namespace sim {
namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// The timer's signal, sent to the guarded thread only.
constexpr int kTimeSignal = SIGALRM;
// How long reporting a fault may take before the program ends without it.
constexpr double kReportSeconds = 10;
// How long a sanitizer's report, once begun, may take to be written: the
// time limit of the call does not cut it off.
constexpr double kSanitizerReportSeconds = 30;
// A crash under a memory limit is taken as the limit's doing (an allocation
// refused, and the module using the null pointer it got, or aborting) when
// errno says so at the crash, or when the process holds more than this share
// of its limit: the kernel does not say which allocation it refused.
constexpr double kNearLimitShare = 0.75;

struct GuardState {
    ModuleGuard* Active = nullptr;
    pid_t Thread = 0;
    timer_t Timer{};
    bool HasTimer = false;
    struct sigaction Previous[NSIG] = {};
    stack_t PreviousStack{};
    std::vector<char> Stack;
    int CrashStatus = 0;
    int TimeStatus = 0;
    bool DataLimited = false;
    rlimit PreviousData{};

    sigjmp_buf Jump;
    const char* volatile Export = nullptr;  // set while an export runs
    volatile sig_atomic_t Signal = 0;
    volatile sig_atomic_t Code = 0;
    void* volatile Address = nullptr;
    volatile sig_atomic_t Access = 0;  // a MemoryAccess, of a SIGSEGV
    volatile sig_atomic_t Errno = 0;   // the guarded thread's, at the signal
    volatile sig_atomic_t Reporting = 0;
    double CallCpu = 0;  // the process's CPU time when the call began
    // AddressSanitizer's "a report is being written", when it is loaded.
    int (*SanitizerReporting)() = nullptr;
};
GuardState State;

pid_t ThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

void ArmTimer(double seconds) {
    if (!State.HasTimer)
        return;
    itimerspec when{};
    if (seconds > 0) {
        double whole = 0;
        const double fraction = std::modf(seconds, &whole);
        when.it_value.tv_sec = static_cast<time_t>(whole);
        when.it_value.tv_nsec = static_cast<long>(fraction * 1e9);
        if (when.it_value.tv_sec == 0 && when.it_value.tv_nsec == 0)
            when.it_value.tv_nsec = 1;
    }
    timer_settime(State.Timer, 0, &when, nullptr);
}

void WriteText(const char* text) {
    const size_t length = std::strlen(text);
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, length);
}

// Only async-signal-safe calls: for a fault in another thread, or when
// reporting one hangs or faults itself.
[[noreturn]] void EndWithoutReport(int signal) {
    WriteText("melvara-sim: ");
    WriteText(State.Export != nullptr ? State.Export : "the module");
    char number[] = " went wrong (signal 00); no further report\n";
    char* digits = std::strchr(number, '0');
    digits[0] = static_cast<char>('0' + signal / 10 % 10);
    digits[1] = static_cast<char>('0' + signal % 10);
    WriteText(number);
    _exit(signal == kTimeSignal ? State.TimeStatus : State.CrashStatus);
}

// Whether the faulting instruction read or wrote, from the page fault's error
// code (bit 1: a write).
MemoryAccess AccessOf(int signal, const void* context) {
#if defined(__x86_64__)
    if (signal == SIGSEGV && context != nullptr) {
        const auto* user = static_cast<const ucontext_t*>(context);
        return (user->uc_mcontext.gregs[REG_ERR] & 2) != 0 ? MemoryAccess::Write
                                                           : MemoryAccess::Read;
    }
#else
    (void)signal;
    (void)context;
#endif
    return MemoryAccess::Unknown;
}

void OnSignal(int signal, siginfo_t* info, void* context) {
    if (State.Reporting)
        EndWithoutReport(signal);
    const bool running = State.Export != nullptr;
    if (running && ThreadId() != State.Thread)
        EndWithoutReport(signal);
    if (!running) {
        if (signal == kTimeSignal)
            return;  // a timer that fired as its call returned
        // Not the module's doing: as if there were no guard.
        sigaction(signal, &State.Previous[signal], nullptr);
        if (info->si_code <= 0 || signal == SIGABRT)
            raise(signal);
        return;  // the faulting instruction runs again, under the previous handler
    }
    if (signal == kTimeSignal && State.SanitizerReporting != nullptr &&
        State.SanitizerReporting() != 0) {
        ArmTimer(kSanitizerReportSeconds);
        return;
    }
    State.Signal = signal;
    State.Code = info->si_code;
    State.Address = info->si_addr;
    State.Access = static_cast<sig_atomic_t>(AccessOf(signal, context));
    State.Errno = errno;
    State.Reporting = 1;
    ArmTimer(kReportSeconds);
    siglongjmp(State.Jump, 1);
}

std::string Address(const void* address) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", address);
    return text;
}

std::string SignalCause(int signal, int code, const void* address) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV (invalid memory access at " + Address(address) + ")";
        case SIGBUS:
            return "SIGBUS (bus error at " + Address(address) + ")";
        case SIGFPE:
            return std::string("SIGFPE (") +
                   (code == FPE_INTDIV   ? "integer division by zero"
                    : code == FPE_INTOVF ? "integer overflow"
                                         : "arithmetic error") +
                   ")";
        case SIGILL:
            return "SIGILL (illegal instruction at " + Address(address) + ")";
        case SIGABRT:
            return "SIGABRT (abort)";
        default:
            return "signal " + std::to_string(signal);
    }
}

// Lifts the memory limit, so that the fault can be reported.
void LiftMemoryLimit() {
    if (State.DataLimited)
        setrlimit(RLIMIT_DATA, &State.PreviousData);
    State.DataLimited = false;
}

// Fields of /proc/self/status added up, in bytes: "VmData:" gives the
// process's private memory, what RLIMIT_DATA counts.
uint64_t StatusBytes(std::initializer_list<const char*> fields) {
    std::ifstream status("/proc/self/status");
    std::string line;
    uint64_t kilobytes = 0;
    while (std::getline(status, line)) {
        for (const char* field : fields) {
            if (line.rfind(field, 0) == 0)
                kilobytes += std::strtoull(line.c_str() + std::strlen(field), nullptr, 10);
        }
    }
    return kilobytes * 1024;
}

uint64_t PrivateBytes() {
    return StatusBytes({"VmData:"});
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

uint64_t ProcessHeldBytes() {
    return StatusBytes({"RssAnon:", "RssShmem:"});
}

void ModuleGuard::Install() {
    State.Active = this;
    State.Thread = ThreadId();
    State.CrashStatus = Status.Crashed;
    State.TimeStatus = Status.TimedOut;
    State.Export = nullptr;
    State.Reporting = 0;
    void* reporting = dlsym(RTLD_DEFAULT, "__asan_report_present");
    State.SanitizerReporting = nullptr;
    if (reporting != nullptr)
        std::memcpy(&State.SanitizerReporting, &reporting, sizeof reporting);

    // Its own stack, so that a module that overflows the thread's stack is
    // caught too.
    State.Stack.assign(1 << 16, 0);
    stack_t stack{};
    stack.ss_sp = State.Stack.data();
    stack.ss_size = State.Stack.size();
    sigaltstack(&stack, &State.PreviousStack);

    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kCrashSignals)
        sigaction(signal, &action, &State.Previous[signal]);
    sigaction(kTimeSignal, &action, &State.Previous[kTimeSignal]);

    sigevent event{};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = kTimeSignal;
    event._sigev_un._tid = State.Thread;  // sigev_notify_thread_id in newer headers
    State.HasTimer = timer_create(CLOCK_MONOTONIC, &event, &State.Timer) == 0;
}

bool ModuleGuard::ApplyMemoryLimit() {
    rlimit limit{};
    const auto bytes = static_cast<rlim_t>(MemoryLimit) << 20;
    // A process that holds more already is one under a sanitizer, whose
    // shadow memory counts as private: it runs without a limit.
    if (MemoryLimit == 0 || PrivateBytes() >= bytes || getrlimit(RLIMIT_DATA, &limit) != 0)
        return State.DataLimited;
    if (!State.DataLimited)
        State.PreviousData = limit;
    limit.rlim_cur = limit.rlim_max != RLIM_INFINITY && bytes > limit.rlim_max ? limit.rlim_max
                                                                                : bytes;
    State.DataLimited = setrlimit(RLIMIT_DATA, &limit) == 0;
    return State.DataLimited;
}

void ModuleGuard::Uninstall() {
    LiftMemoryLimit();
    if (State.HasTimer)
        timer_delete(State.Timer);
    State.HasTimer = false;
    for (int signal : kCrashSignals)
        sigaction(signal, &State.Previous[signal], nullptr);
    sigaction(kTimeSignal, &State.Previous[kTimeSignal], nullptr);
    sigaltstack(&State.PreviousStack, nullptr);
    State.Stack.clear();
    State.Active = nullptr;
}

void ModuleGuard::EndProgram(int status) {
    _exit(status);
}

void ModuleGuard::RunErased(const char* exportName, void (*call)(void*), void* context) {
    ModuleGuard* guard = State.Active;
    if (guard == nullptr || State.Export != nullptr || ThreadId() != State.Thread) {
        call(context);
        return;
    }
    guard->FlushOutput();
    if (sigsetjmp(State.Jump, 1) != 0) {
        // Back from the signal handler, out of the module.
        const char* failed = State.Export;
        const bool limited = State.DataLimited;
        LiftMemoryLimit();
        const bool outOfMemory =
            limited && (State.Errno == ENOMEM ||
                        static_cast<double>(PrivateBytes()) >
                            kNearLimitShare * static_cast<double>(guard->MemoryLimit << 20));
        if (State.Signal == kTimeSignal && !outOfMemory) {
            guard->Fail(ModuleFault::Kind::TimedOut, failed,
                        "did not return within " + Seconds(guard->TimeLimit) + " s" +
                            guard->UsageSince(State.CallCpu));
        }
        if (State.Signal == SIGSEGV || State.Signal == SIGBUS) {
            guard->FailIfFenced(failed, State.Address, static_cast<MemoryAccess>(State.Access),
                                std::string(State.Signal == SIGSEGV ? "SIGSEGV" : "SIGBUS") +
                                    " at " + Address(State.Address));
        }
        if (outOfMemory)
            guard->Fail(ModuleFault::Kind::OutOfMemory, failed, guard->MemoryCause());
        guard->Fail(ModuleFault::Kind::Crashed, failed,
                    SignalCause(State.Signal, State.Code, State.Address));
    }
    if (guard->Notices.Started != nullptr)
        guard->Notices.Started(guard->Notices.Context, exportName);
    State.CallCpu = ProcessCpuSeconds();
    State.Export = exportName;
    ArmTimer(guard->TimeLimit);
    errno = 0;
    call(context);
    const int callErrno = errno;
    ArmTimer(0);
    if (callErrno == ENOMEM && State.DataLimited) {
        LiftMemoryLimit();
        guard->Fail(ModuleFault::Kind::OutOfMemory, exportName, guard->RefusedCause());
    }
    State.Export = nullptr;
    if (guard->Notices.Ended != nullptr)
        guard->Notices.Ended(guard->Notices.Context);
}

}  // namespace sim
