// The system's part of the module guard on Windows.
//
// The module guard on Windows: an unhandled-exception filter and an abort()
// handler report a crash on the thread that crashed; a watchdog thread stops
// the guarded thread when a call takes too long and reports from there.
//
// A memory limit is a job object's limit on the memory the process commits:
// Windows refuses the allocation that would pass it and tells the job's
// completion port, and a crash after that is reported as the limit's, as is
// a call that returns after a refusal. Where
// jobs keep no limits (Wine), the watchdog ends a call whose process has
// committed more than the limit.
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "sim/module/ModuleGuard.h"
#include "sim/support/ExceptionStatus.h"

namespace sim {
namespace {

// How often the watchdog looks at the running call, in milliseconds.
constexpr DWORD kWatchInterval = 50;

struct GuardState {
    ModuleGuard* Active = nullptr;
    DWORD ThreadId = 0;
    HANDLE Thread = nullptr;
    HANDLE Watchdog = nullptr;
    HANDLE Stop = nullptr;
    LPTOP_LEVEL_EXCEPTION_FILTER PreviousFilter = nullptr;
    void (*PreviousAbort)(int) = nullptr;
    std::atomic<const char*> Export{nullptr};  // set while an export runs
    std::atomic<ULONGLONG> Deadline{0};        // GetTickCount64; 0 for none
    std::atomic<bool> Failing{false};
    HANDLE Job = nullptr;
    HANDLE JobPort = nullptr;
    std::atomic<ULONGLONG> MemoryLimit{0};  // in bytes; 0 for none
    double CallCpu = 0;                     // the process's CPU time when the call began
};
GuardState State;

MemoryAccess AccessOf(const EXCEPTION_RECORD& record) {
    const ULONG_PTR access = record.ExceptionInformation[0];
    return access == 0   ? MemoryAccess::Read
           : access == 1 ? MemoryAccess::Write
                         : MemoryAccess::Unknown;
}

// Of an access violation: "writing 0x0".
std::string AccessText(const EXCEPTION_RECORD& record) {
    const ULONG_PTR access = record.ExceptionInformation[0];
    char text[64];
    std::snprintf(text, sizeof text, "%s 0x%llX",
                  access == 0   ? "reading"
                  : access == 1 ? "writing"
                                : "executing",
                  static_cast<unsigned long long>(record.ExceptionInformation[1]));
    return text;
}

// "exception 0xC0000005 (access violation writing 0x0)".
std::string ExceptionCause(const EXCEPTION_RECORD& record) {
    std::string cause = DescribeExceptionStatus(record.ExceptionCode);
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2)
        cause.insert(cause.size() - 1, " " + AccessText(record));
    return cause;
}

bool OnGuardedThread() {
    return State.Export.load() != nullptr && GetCurrentThreadId() == State.ThreadId;
}

// Whether the process has committed more than its memory limit, which only
// a job that keeps no limit lets it.
bool CommittedOverLimit() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const ULONGLONG limit = State.MemoryLimit.load();
    return limit != 0 && GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters) &&
           counters.PagefileUsage > limit;
}

// Whether the job has said that it refused the process memory since the
// last look.
bool MemoryRefused() {
    bool refused = false;
    DWORD message = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* overlapped = nullptr;
    while (State.JobPort != nullptr &&
           GetQueuedCompletionStatus(State.JobPort, &message, &key, &overlapped, 0))
        refused = refused || message == JOB_OBJECT_MSG_PROCESS_MEMORY_LIMIT;
    return refused;
}

// Lifts the memory limit, so that the fault can be reported, and says
// whether the process had run out of it: the job refused an allocation, or
// the process committed more.
bool LiftMemoryLimit() {
    if (State.MemoryLimit.load() == 0)
        return false;
    const bool over = MemoryRefused() || CommittedOverLimit();
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION none{};
    SetInformationJobObject(State.Job, JobObjectExtendedLimitInformation, &none, sizeof none);
    State.MemoryLimit = 0;
    return over;
}

}  // namespace

double ProcessCpuSeconds() {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>(static_cast<ULONGLONG>(time.dwHighDateTime) << 32 |
                                   time.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

uint64_t ProcessHeldBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
               ? counters.PagefileUsage
               : 0;
}

void ModuleGuard::Install() {
    State.Active = this;
    State.ThreadId = GetCurrentThreadId();
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &State.Thread, 0,
                    FALSE, DUPLICATE_SAME_ACCESS);
    State.Export = nullptr;
    State.Deadline = 0;
    State.Failing = false;

    State.PreviousFilter = SetUnhandledExceptionFilter([](EXCEPTION_POINTERS* info) -> LONG {
        if (OnGuardedThread() && !State.Failing.exchange(true)) {
            const bool outOfMemory = LiftMemoryLimit();
            const EXCEPTION_RECORD& record = *info->ExceptionRecord;
            if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
                record.NumberParameters >= 2) {
                State.Active->FailIfFenced(
                    State.Export.load(),
                    reinterpret_cast<const void*>(record.ExceptionInformation[1]), AccessOf(record),
                    "access violation " + AccessText(record));
            }
            if (outOfMemory) {
                State.Active->Fail(ModuleFault::Kind::OutOfMemory, State.Export.load(),
                                   State.Active->MemoryCause());
            }
            State.Active->Fail(ModuleFault::Kind::Crashed, State.Export.load(),
                               ExceptionCause(record));
        }
        return State.PreviousFilter != nullptr ? State.PreviousFilter(info)
                                               : EXCEPTION_CONTINUE_SEARCH;
    });
    State.PreviousAbort = std::signal(SIGABRT, [](int) {
        if (OnGuardedThread() && !State.Failing.exchange(true)) {
            if (LiftMemoryLimit()) {
                State.Active->Fail(ModuleFault::Kind::OutOfMemory, State.Export.load(),
                                   State.Active->MemoryCause());
            }
            State.Active->Fail(ModuleFault::Kind::Crashed, State.Export.load(), "abort()");
        }
        std::signal(SIGABRT, SIG_DFL);
        std::raise(SIGABRT);
    });

    State.Stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    State.Watchdog = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            while (WaitForSingleObject(State.Stop, kWatchInterval) == WAIT_TIMEOUT) {
                const char* running = State.Export.load();
                if (running == nullptr)
                    continue;
                const ULONGLONG deadline = State.Deadline.load();
                const bool late = deadline != 0 && GetTickCount64() >= deadline;
                const bool overLimit = !late && CommittedOverLimit();
                if (!late && !overLimit)
                    continue;
                if (State.Failing.exchange(true))
                    continue;
                // Stopped where it is, so that nothing it holds changes
                // while the report reads it.
                SuspendThread(State.Thread);
                if (overLimit) {
                    LiftMemoryLimit();
                    State.Active->Fail(ModuleFault::Kind::OutOfMemory, running,
                                       State.Active->MemoryCause());
                }
                char seconds[32];
                std::snprintf(seconds, sizeof seconds, "%g", State.Active->TimeLimit);
                State.Active->Fail(ModuleFault::Kind::TimedOut, running,
                                   std::string("did not return within ") + seconds + " s" +
                                       State.Active->UsageSince(State.CallCpu));
            }
            return 0;
        },
        nullptr, 0, nullptr);
}

bool ModuleGuard::ApplyMemoryLimit() {
    if (MemoryLimit == 0)
        return false;
    if (State.Job == nullptr) {
        State.Job = CreateJobObjectW(nullptr, nullptr);
        State.JobPort = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
        JOBOBJECT_ASSOCIATE_COMPLETION_PORT port{State.Job, State.JobPort};
        SetInformationJobObject(State.Job, JobObjectAssociateCompletionPortInformation, &port,
                                sizeof port);
        AssignProcessToJobObject(State.Job, GetCurrentProcess());
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
    limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    limit.ProcessMemoryLimit = static_cast<SIZE_T>(MemoryLimit) << 20;
    SetInformationJobObject(State.Job, JobObjectExtendedLimitInformation, &limit, sizeof limit);
    // Kept by the job, or else by the watchdog.
    State.MemoryLimit = static_cast<ULONGLONG>(MemoryLimit) << 20;
    return true;
}

void ModuleGuard::Uninstall() {
    if (State.Watchdog != nullptr) {
        SetEvent(State.Stop);
        WaitForSingleObject(State.Watchdog, INFINITE);
        CloseHandle(State.Watchdog);
    }
    if (State.Stop != nullptr)
        CloseHandle(State.Stop);
    if (State.Thread != nullptr)
        CloseHandle(State.Thread);
    LiftMemoryLimit();
    for (HANDLE handle : {State.Job, State.JobPort}) {
        if (handle != nullptr)
            CloseHandle(handle);
    }
    State.Job = State.JobPort = nullptr;
    SetUnhandledExceptionFilter(State.PreviousFilter);
    std::signal(SIGABRT, State.PreviousAbort == SIG_ERR ? SIG_DFL : State.PreviousAbort);
    State.Watchdog = State.Stop = State.Thread = nullptr;
    State.Active = nullptr;
}

void ModuleGuard::EndProgram(int status) {
    // Without detaching the module, which may be what is broken.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    ExitProcess(static_cast<UINT>(status));
}

void ModuleGuard::RunErased(const char* exportName, void (*call)(void*), void* context) {
    ModuleGuard* guard = State.Active;
    if (guard == nullptr || State.Export.load() != nullptr ||
        GetCurrentThreadId() != State.ThreadId) {
        call(context);
        return;
    }
    guard->FlushOutput();
    if (guard->Notices.Started != nullptr)
        guard->Notices.Started(guard->Notices.Context, exportName);
    State.CallCpu = ProcessCpuSeconds();
    const auto limit = static_cast<ULONGLONG>(guard->TimeLimit * 1000);
    State.Deadline = guard->TimeLimit > 0 ? GetTickCount64() + (limit > 0 ? limit : 1) : 0;
    State.Export = exportName;
    call(context);
    if (State.MemoryLimit.load() != 0 && MemoryRefused() && !State.Failing.exchange(true)) {
        LiftMemoryLimit();
        guard->Fail(ModuleFault::Kind::OutOfMemory, exportName, guard->RefusedCause());
    }
    State.Export = nullptr;
    State.Deadline = 0;
    if (guard->Notices.Ended != nullptr)
        guard->Notices.Ended(guard->Notices.Context);
}

}  // namespace sim
