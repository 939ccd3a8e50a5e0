// AddressSanitizer for the checks: the runtime a module needs, its reports watched and summarised.
#include "sim/validate/Sanitizer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "sim/support/Text.h"
#include "sim/validate/ModuleFile.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace sim {
namespace {

// The runtimes of GCC and clang, by the start of their file names.
bool IsAsanRuntime(const std::string& library) {
    return library.rfind("libasan", 0) == 0 || library.rfind("libclang_rt.asan", 0) == 0;
}

void* RuntimeSymbol([[maybe_unused]] const char* name) {
#if defined(_WIN32)
    return nullptr;
#else
    return dlsym(RTLD_DEFAULT, name);
#endif
}

// "    #3 0x7f.. in RewriteDefaults /src/TestModule.cpp:118" gives
// "RewriteDefaults TestModule.cpp:118"; "    #1 0x55.. (/bin/x+0x1221)" gives
// "(x+0x1221)"; anything else nothing.
std::string FramePlace(const std::string& line) {
    const size_t hash = line.find_first_not_of(' ');
    if (hash == std::string::npos || line[hash] != '#')
        return {};
    const size_t address = line.find(" 0x", hash);
    if (address == std::string::npos)
        return {};
    const size_t rest = line.find_first_not_of(' ', line.find(' ', address + 1));
    if (rest == std::string::npos)
        return {};
    std::string place = line.substr(rest);
    if (place.rfind("in ", 0) == 0)
        place = place.substr(3);
    // Folders left out of the file name.
    const size_t space = place.rfind(' ');
    const size_t slash = place.rfind('/');
    if (slash != std::string::npos && (space == std::string::npos || slash > space))
        place = place.substr(0, space == std::string::npos ? 0 : space + 1) +
                (place[0] == '(' ? "(" : "") + place.substr(slash + 1);
    return place;
}

// A frame of the runtime, or of this program (the host): not the module's.
bool HostOrRuntime(const std::string& place, const std::string& program) {
    for (const char* prefix : {"__asan", "__interceptor", "__sanitizer", "sim::", "MX_"}) {
        if (place.rfind(prefix, 0) == 0)
            return true;
    }
    return place.find("libasan") != std::string::npos ||
           place.find("libclang_rt") != std::string::npos ||
           (!program.empty() && place.find("(" + program + "+") != std::string::npos);
}

// Whether the frame's address ("    #2 0x7f3a... in ...") lies in the
// module file loaded into this process.
bool InModule([[maybe_unused]] const std::string& line,
              [[maybe_unused]] const std::string& modulePath) {
#if defined(_WIN32)
    return false;
#else
    const size_t at = line.find(" 0x");
    if (at == std::string::npos)
        return false;
    const uintptr_t address = std::strtoull(line.c_str() + at + 1, nullptr, 16);
    Dl_info info{};
    void* pointer = nullptr;
    std::memcpy(&pointer, &address, sizeof pointer);
    if (dladdr(pointer, &info) == 0 || info.dli_fname == nullptr)
        return false;
    std::error_code code;
    return std::filesystem::equivalent(info.dli_fname, modulePath, code);
#endif
}

std::string ThisProgramName() {
#if defined(_WIN32)
    return {};
#else
    std::error_code code;
    return std::filesystem::read_symlink("/proc/self/exe", code).filename().string();
#endif
}

}  // namespace

bool BuiltWithAsan(const std::string& modulePath) {
    const NeededLibraries needed = ReadNeededLibraries(modulePath);
    for (const std::string& name : needed.Names) {
        if (IsAsanRuntime(name))
            return true;
    }
    return needed.CallsAsan;
}

std::optional<std::string> AsanRuntimeFor(const std::string& modulePath, std::string& error) {
#if defined(_WIN32)
    (void)modulePath;
    error =
        "--sanitize: AddressSanitizer is not available in MELVARA.EXE; validate the module's "
        "Linux build with melvara-sim --sanitize";
    return std::nullopt;
#else
    const NeededLibraries needed = ReadNeededLibraries(modulePath);
    for (const std::string& name : needed.Names) {
        if (!IsAsanRuntime(name))
            continue;
        if (RuntimeSymbol("__asan_init") != nullptr)
            return std::string();
        // Where the module says to find it, else where the system finds it.
        for (const std::string& folder : needed.Folders) {
            const std::filesystem::path file = std::filesystem::path(folder) / name;
            std::error_code code;
            if (std::filesystem::exists(file, code))
                return file.string();
        }
        return name;
    }
    if (needed.CallsAsan && RuntimeSymbol("__asan_init") != nullptr)
        return std::string();
    error = "--sanitize: " + modulePath +
            (needed.CallsAsan
                 ? " calls AddressSanitizer's runtime but names no library of it (with clang, "
                   "link it with -shared-libsan)"
                 : " is not built with AddressSanitizer (no libasan among the libraries it "
                   "needs): build it with -fsanitize=address");
    return std::nullopt;
#endif
}

std::vector<std::string> AsanEnvironment(const std::string& runtime) {
    // The runtime first; options of the user's own after (and over) these.
    const auto joined = [](std::string first, const char* variable, char separator) {
        const char* value = std::getenv(variable);
        return value != nullptr && *value != 0 ? first + separator + value : first;
    };
    std::vector<std::string> environment;
    if (!runtime.empty())
        environment.push_back("LD_PRELOAD=" + joined(runtime, "LD_PRELOAD", ':'));
    environment.push_back("ASAN_OPTIONS=" +
                          joined("detect_leaks=0:allow_user_segv_handler=1", "ASAN_OPTIONS", ':'));
    return environment;
}

bool WatchAsanReports(void (*report)(const char* text)) {
    using SetCallback = void (*)(void (*)(const char*));
    void* setter = RuntimeSymbol("__asan_set_error_report_callback");
    if (setter == nullptr)
        return false;
    SetCallback set;
    std::memcpy(&set, &setter, sizeof set);
    set(report);
    return true;
}

std::string AsanSummary(const std::string& report, const std::string& modulePath) {
    constexpr const char* kSummary = "SUMMARY: AddressSanitizer: ";
    std::string summary, access, place, variable;
    const std::string program = ThisProgramName();
    bool inStack = false;
    for (const std::string& line : SplitLines(report)) {
        if (line.rfind(kSummary, 0) == 0) {
            summary = line.substr(std::strlen(kSummary));
        } else if (access.empty() &&
                   (line.rfind("READ of size", 0) == 0 || line.rfind("WRITE of size", 0) == 0)) {
            access = line.substr(0, line.find(" at "));
            inStack = true;
        } else if (inStack && place.empty()) {
            const std::string frame = FramePlace(line);
            if (!frame.empty() && (modulePath.empty() ? !HostOrRuntime(frame, program)
                                                      : InModule(line, modulePath)))
                place = frame;
            if (line.empty())
                inStack = false;
        }
        if (const size_t overflow = line.find("<== Memory access"); overflow != std::string::npos) {
            const size_t quote = line.find('\'');
            const size_t close = line.find('\'', quote + 1);
            if (quote < overflow && close < overflow)
                variable = line.substr(quote, close + 1 - quote);
        }
    }
    if (summary.empty())
        return {};
    if (place.empty())
        return "AddressSanitizer: " + summary;
    const std::string kind = summary.substr(0, summary.find(' '));
    std::string detail = access;
    if (!variable.empty())
        detail += (detail.empty() ? "" : " ") + std::string("into ") + variable;
    return "AddressSanitizer: " + kind + (detail.empty() ? "" : " (" + detail + ")") + " in " +
           place;
}

}  // namespace sim
