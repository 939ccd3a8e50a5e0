// The names of Windows exception codes and crash statuses.
#include "sim/support/ExceptionStatus.h"

#include <cstdio>

namespace sim {
namespace {

struct StatusName {
    uint32_t Code;
    const char* Name;
};

// The codes of ntstatus.h that end a process which does not handle them.
constexpr StatusName kStatusNames[] = {
    {0x80000002, "misaligned data"},
    {0x80000003, "breakpoint"},
    {0x80000004, "single step"},
    {0xC0000005, "access violation"},
    {0xC0000006, "in-page error"},
    {0xC0000008, "invalid handle"},
    {0xC0000017, "out of memory"},
    {0xC000001D, "illegal instruction"},
    {0xC0000025, "noncontinuable exception"},
    {0xC0000026, "invalid disposition"},
    {0xC000008C, "array bounds exceeded"},
    {0xC000008D, "floating-point denormal operand"},
    {0xC000008E, "floating-point division by zero"},
    {0xC000008F, "floating-point inexact result"},
    {0xC0000090, "floating-point invalid operation"},
    {0xC0000091, "floating-point overflow"},
    {0xC0000092, "floating-point stack check"},
    {0xC0000093, "floating-point underflow"},
    {0xC0000094, "integer division by zero"},
    {0xC0000095, "integer overflow"},
    {0xC0000096, "privileged instruction"},
    {0xC00000FD, "stack overflow"},
    {0xC0000135, "DLL not found"},
    {0xC0000139, "entry point not found"},
    {0xC000013A, "Ctrl+C"},
    {0xC0000142, "DLL initialisation failed"},
    {0xC0000374, "heap corruption"},
    {0xC0000409, "stack buffer overrun"},
    {0xC0000420, "assertion failure"},
    {0xC0000602, "fail-fast exception"},
    {0x20474343, "C++ exception (GCC)"},
    {0xE06D7363, "C++ exception (MSVC)"},
};

}  // namespace

const char* ExceptionStatusName(uint32_t code) {
    for (const StatusName& known : kStatusNames) {
        if (known.Code == code)
            return known.Name;
    }
    return nullptr;
}

bool IsCrashStatus(uint32_t status) {
    return (status & 0xC0000000u) == 0xC0000000u;
}

std::string DescribeExceptionStatus(uint32_t code) {
    char text[32];
    std::snprintf(text, sizeof text, "exception 0x%08X", static_cast<unsigned>(code));
    const char* name = ExceptionStatusName(code);
    return name != nullptr ? std::string(text) + " (" + name + ")" : std::string(text);
}

}  // namespace sim
