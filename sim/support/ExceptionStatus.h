// Windows exception and crash statuses by name.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// The name of a Windows exception code or crash status ("access violation",
// "stack buffer overrun"), or null for one this program does not know.
const char* ExceptionStatusName(uint32_t code);

// Whether a process's exit status is a crash status (an NTSTATUS error, as a
// process ended by an unhandled exception or a fast fail has), rather than
// one the program chose.
bool IsCrashStatus(uint32_t status);

// "exception 0xC0000409 (stack buffer overrun)", or without the name when
// there is none.
std::string DescribeExceptionStatus(uint32_t code);

}  // namespace sim
