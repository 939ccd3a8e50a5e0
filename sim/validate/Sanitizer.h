// AddressSanitizer in the checks' processes: its runtime for a module, its reports in one line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sim {

// The AddressSanitizer runtime that a module built with it needs, to be
// preloaded into the checks' processes: the library's path (or its name,
// for the system's own search), or "" when this program has the runtime
// already. Nothing, with error set, when the module is not built with it or
// the runtime cannot be had here (on Windows it never can).
std::optional<std::string> AsanRuntimeFor(const std::string& modulePath, std::string& error);

// Whether the module file is built with AddressSanitizer (and so loads only
// into a process that has its runtime).
bool BuiltWithAsan(const std::string& modulePath);

// The environment of a check's process under the runtime:
// {"LD_PRELOAD=...", "ASAN_OPTIONS=..."}; the host's own memory is not
// checked for leaks, and the guard over the module keeps its crash reports.
std::vector<std::string> AsanEnvironment(const std::string& runtime);

// In a check's process: hands each report of the runtime, when there is
// one, to report before the process ends. False without the runtime.
bool WatchAsanReports(void (*report)(const char* text));

// A report in one line: "AddressSanitizer: stack-buffer-overflow (WRITE of
// size 46 into 'buffer') in RewriteDefaults TestModule.cpp:118". The place
// is the first frame of the stack in the module file at modulePath, when
// given and loaded into this process; else the first outside the runtime
// and this program (a host function copying into the module's memory is
// not the fault). Empty when the text holds no report.
std::string AsanSummary(const std::string& report, const std::string& modulePath = {});

}  // namespace sim
