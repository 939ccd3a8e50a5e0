// The guard over calls into a module: a crash or a call past the time limit ends the program.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>

#include "sim/host/CallLog.h"
#include "sim/host/GuardedMemory.h"

namespace sim {

// How a call into the module ended when it did not return.
struct ModuleFault {
    // Overran: wrote past a buffer of the host's, found by its fence after
    // the call or by the fault on the pages after it.
    enum class Kind : uint8_t { Crashed, TimedOut, OutOfMemory, Overran };
    Kind What = Kind::Crashed;
    std::string Export;  // "MelvaraExtensionInvoke", or "loading the module"
    // "SIGSEGV (invalid memory access at 0x0)", "exception 0xC0000005 (access
    // violation)", "frame 3 used after release (SIGSEGV at 0x7f...)", "did
    // not return within 10 s (9.98 s of CPU, 12 MB held)", "used more than
    // 256 MB (the limit of a check)", "wrote 3 bytes past the 772-byte record"
    std::string Cause;
    LastHostCall LastCall;  // of the current host

    // "MelvaraExtensionInvoke crashed: SIGSEGV (...)", "MelvaraExtensionInit
    // wrote 4 bytes past the 32-bit word"
    std::string Headline() const;
    // "#12 MX_LoadTGF(...) = frame 3", "none before it", or for a fault inside
    // the host: "#13 MX_FreeTGF, which had not returned (the one before: ...)".
    std::string LastCallText() const;
    // Both: "MelvaraExtensionInvoke crashed: ...; last host call: #12 ..."
    std::string Describe() const;
};

// Watches the calls into plug-in modules made on the thread that creates it:
// it knows which export runs, ends a call that takes longer than the time
// limit, and catches a crash inside one (SIGSEGV, SIGBUS, SIGFPE, SIGILL and
// SIGABRT; on Windows an unhandled exception or abort()). A crash in the
// host's fenced memory is named after the buffer it hit ("read past the end
// of frame 3"); the host reports an overrun its fences show after a call
// (ReportOverrun). With a memory limit, a call that runs out of it is a
// fault of its own, and so is one that returns after an allocation was
// refused. Either way it
// hands the fault to the report function, flushes the standard streams and
// ends the program with the fault's exit status: nothing in the process can
// be trusted after the module went wrong.
//
// LoadedModule runs every export through Run. At most one guard exists at a
// time; without one, Run only calls.
class ModuleGuard {
  public:
    using Report = std::function<void(const ModuleFault&)>;
    struct ExitStatus {
        int Crashed = 4;
        int TimedOut = 5;
        int OutOfMemory = 6;  // an overrun ends the program as a crash does
    };

    // timeLimit in seconds, 0 for none. output, when given, is flushed before
    // each call into the module, so that what was printed survives it.
    ModuleGuard(Report report, ExitStatus status, double timeLimit = 0,
                std::ostream* output = nullptr);
    ~ModuleGuard();
    ModuleGuard(const ModuleGuard&) = delete;
    ModuleGuard& operator=(const ModuleGuard&) = delete;

    void SetTimeLimit(double seconds) { TimeLimit = seconds; }
    double GetTimeLimit() const { return TimeLimit; }

    // Told of each call into the module, on its thread, before it starts and
    // after it returns: a watcher in another process keeps the time limit
    // from there too.
    struct CallNotices {
        void (*Started)(void* context, const char* exportName) = nullptr;
        void (*Ended)(void* context) = nullptr;
        void* Context = nullptr;
    };
    void SetCallNotices(CallNotices notices) { Notices = notices; }

    // Limits the memory of the whole process to megabytes: on Linux its
    // private memory (RLIMIT_DATA; not under a sanitizer, whose shadow memory
    // alone is beyond any limit), on Windows the memory it commits (a job
    // object). what names the limit in the fault: "the limit of a check".
    // Answers whether the limit is in force.
    bool LimitMemory(uint64_t megabytes, std::string what);

    // Reports that the export wrote past a buffer the host handed it (what:
    // "wrote 3 bytes past the 772-byte record"), as a crash is reported, and
    // ends the program. Without a guard, returns.
    static void ReportOverrun(const char* exportName, const std::string& what);

    // Runs fn as the named export (a string that lives as long as the
    // program) under the guard there is.
    template <typename Fn>
    static auto Run(const char* exportName, Fn&& fn) -> decltype(fn()) {
        using Result = decltype(fn());
        if constexpr (std::is_void_v<Result>) {
            RunErased(
                exportName, [](void* call) { (*static_cast<Fn*>(call))(); }, &fn);
        } else {
            struct Call {
                Fn* Target;
                Result Value{};
            } call{&fn};
            RunErased(
                exportName,
                [](void* context) {
                    auto* c = static_cast<Call*>(context);
                    c->Value = (*c->Target)();
                },
                &call);
            return call.Value;
        }
    }

  private:
    // The system's part: ModuleGuardPosix.cpp, ModuleGuardWindows.cpp.
    static void RunErased(const char* exportName, void (*call)(void*), void* context);
    void Install();
    void Uninstall();
    bool ApplyMemoryLimit();
    // "used more than 256 MB (the limit of a check)"
    std::string MemoryCause() const;
    // "reached 256 MB (the limit of a check): an allocation was refused"
    std::string RefusedCause() const;
    // " (9.98 s of CPU, 12 MB held)": what the call used since it started.
    std::string UsageSince(double cpuSeconds) const;
    [[noreturn]] static void EndProgram(int status);

    // Reports the fault, flushes the standard streams and ends the program.
    [[noreturn]] void Fail(ModuleFault::Kind kind, const char* exportName,
                           const std::string& cause);
    // Fails with a crash named after the fenced host memory at address, when
    // it is there ("frame 3 used after release (SIGSEGV at 0x...)"); signal
    // says how the system reported it. Returns otherwise.
    void FailIfFenced(const char* exportName, const void* address, MemoryAccess access,
                      const std::string& signal);
    void FlushOutput();

    Report ReportFault;
    ExitStatus Status;
    double TimeLimit = 0;
    std::ostream* Output = nullptr;
    uint64_t MemoryLimit = 0;  // in megabytes; 0 for none
    std::string MemoryLimitName;
    CallNotices Notices;
};

// The CPU time of this process so far, and the memory it holds (private
// and shared), in bytes.
double ProcessCpuSeconds();
uint64_t ProcessHeldBytes();
// What a call used, as a fault at a time limit names it: " (9.98 s of CPU,
// 15 MB held)", so that a call that is busy, waiting or growing shows.
std::string DescribeUsage(double cpuSeconds, uint64_t heldBytes);

}  // namespace sim
