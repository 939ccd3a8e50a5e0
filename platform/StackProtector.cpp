// The runtime of the compiler's stack protector and checked copies
// (-fstack-protector-strong, _FORTIFY_SOURCE) for the Windows builds.
//
// The compiler's own runtime seeds the guard through the cryptography
// functions of ADVAPI32, a DLL the module must not import. This one seeds it
// from KERNEL32 alone, mixing what the system's own compilers mix into their
// stack cookie, and ends the process at once when a check fails: a module
// whose stack or buffer has been overrun must not return into its host.
// The checked copies themselves (__memcpy_chk ...) come from the compiler's
// runtime, linked in statically; they call __chk_fail below.
//
// Built without the stack protector: the guard changes while this file's
// code runs.
#include <windows.h>

#include <cstdint>

extern "C" {

// Read by every protected function. Set before any of them runs, by
// SeedStackGuard, the first of the module's constructors; the value here
// only covers code that might run before it.
uintptr_t __stack_chk_guard = 0x2B992DDFA23249D6ull;

[[noreturn]] void __stack_chk_fail();
[[noreturn]] void __chk_fail();
}

namespace {

// Ends the process without unwinding, running handlers or returning: as the
// system does when its own stack cookie check fails.
[[noreturn]] void StopProcess(unsigned fastFailCode) {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        // __fastfail: cannot be caught by the host's exception handlers.
        asm volatile("int $0x29" : : "c"(fastFailCode) : "memory");
    }
    TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_unreachable();
}

// The finaliser of SplitMix64: every bit of the result depends on every bit
// of the input.
uint64_t Mix(uint64_t value) {
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

__attribute__((constructor(101))) void SeedStackGuard() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);

    uint64_t seed = Mix((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    seed = Mix(seed ^ static_cast<uint64_t>(counter.QuadPart));
    seed = Mix(seed ^ ((uint64_t{GetCurrentProcessId()} << 32) | GetCurrentThreadId()));
    seed = Mix(seed ^ __builtin_ia32_rdtsc());
    // Where the loader put the module and this stack (ASLR).
    seed = Mix(seed ^ reinterpret_cast<uintptr_t>(&__stack_chk_guard) ^
               reinterpret_cast<uintptr_t>(&time));
    // A zero low byte stops string functions from reading or writing the
    // guard whole.
    __stack_chk_guard = static_cast<uintptr_t>(seed & ~uint64_t{0xFF});
}

}  // namespace

void __stack_chk_fail() { StopProcess(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE); }

void __chk_fail() { StopProcess(FAST_FAIL_RANGE_CHECK_FAILURE); }
