// The module guard's common part: the fault's description and the end of the program.
#include "sim/module/ModuleGuard.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"

namespace sim {
namespace {

// The guard there is, for faults the host finds after a call.
ModuleGuard* Guarding = nullptr;

}  // namespace

std::string ModuleFault::Headline() const {
    return Export + (What == Kind::Crashed ? " crashed: " : " ") + Cause;
}

std::string ModuleFault::LastCallText() const {
    if (!LastCall.Running)
        return LastCall.Returned ? DescribeCall(*LastCall.Returned) : "none before it";
    std::string text = LastCall.RunningNumber != 0
                           ? "#" + std::to_string(LastCall.RunningNumber) + " "
                           : std::string();
    text += std::string(HostFnName(LastCall.RunningFunction)) + ", which had not returned";
    if (LastCall.Returned)
        text += " (the call before: " + DescribeCall(*LastCall.Returned) + ")";
    return text;
}

std::string ModuleFault::Describe() const {
    return Headline() + "; last host call: " + LastCallText();
}

ModuleGuard::ModuleGuard(Report report, ExitStatus status, double timeLimit, std::ostream* output)
    : ReportFault(std::move(report)), Status(status), TimeLimit(timeLimit), Output(output) {
    Install();
    Guarding = this;
}

ModuleGuard::~ModuleGuard() {
    Guarding = nullptr;
    Uninstall();
}

void ModuleGuard::ReportOverrun(const char* exportName, const std::string& what) {
    if (Guarding != nullptr)
        Guarding->Fail(ModuleFault::Kind::Overran, exportName, what);
}

void ModuleGuard::FailIfFenced(const char* exportName, const void* address, MemoryAccess access,
                               const std::string& signal) {
    const std::optional<FencedFault> fenced = GuardedMemory::Shared().Explain(address, access);
    if (fenced) {
        Fail(fenced->Overrun ? ModuleFault::Kind::Overran : ModuleFault::Kind::Crashed, exportName,
             fenced->What + " (" + signal + ")");
    }
}

bool ModuleGuard::LimitMemory(uint64_t megabytes, std::string what) {
    MemoryLimit = megabytes;
    MemoryLimitName = std::move(what);
    return ApplyMemoryLimit();
}

std::string ModuleGuard::MemoryCause() const {
    return "used more than " + std::to_string(MemoryLimit) + " MB (" + MemoryLimitName + ")";
}

std::string ModuleGuard::RefusedCause() const {
    return "reached " + std::to_string(MemoryLimit) + " MB (" + MemoryLimitName +
           "): an allocation was refused";
}

std::string DescribeUsage(double cpuSeconds, uint64_t heldBytes) {
    // Whole megabytes: faults that differ only in their numbers are one.
    char text[96];
    std::snprintf(text, sizeof text, " (%.2f s of CPU, %.0f MB held)", std::max(0.0, cpuSeconds),
                  static_cast<double>(heldBytes) / (1 << 20));
    return text;
}

std::string ModuleGuard::UsageSince(double cpuSeconds) const {
    return DescribeUsage(ProcessCpuSeconds() - cpuSeconds, ProcessHeldBytes());
}

void ModuleGuard::FlushOutput() {
    if (Output != nullptr)
        Output->flush();
    std::cout.flush();
    std::fflush(stdout);
}

void ModuleGuard::Fail(ModuleFault::Kind kind, const char* exportName, const std::string& cause) {
    ModuleFault fault;
    fault.What = kind;
    fault.Export = exportName;
    fault.Cause = cause;
    if (const Host* host = CurrentHost())
        fault.LastCall = host->Log().LastCall();
    if (ReportFault)
        ReportFault(fault);
    FlushOutput();
    std::cerr.flush();
    std::fflush(stderr);
    EndProgram(kind == ModuleFault::Kind::TimedOut      ? Status.TimedOut
               : kind == ModuleFault::Kind::OutOfMemory ? Status.OutOfMemory
                                                        : Status.Crashed);
}

}  // namespace sim
