// The program's name and the command that starts it again, on Linux and on Windows.
#include "sim/support/ProgramName.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace sim {
namespace {

std::string ProgramPath;

#if defined(_WIN32)
// Wine's kernel32 turns a Windows path into the Unix one (in memory of the
// process heap); Windows has no such function.
std::string UnixPath(const std::wstring& path) {
    using UnixFileName = char*(CDECL*)(const wchar_t*);
    const FARPROC address =
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    if (address == nullptr)
        return {};
    UnixFileName convert;
    std::memcpy(&convert, &address, sizeof convert);
    char* converted = convert(path.c_str());
    if (converted == nullptr)
        return {};
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

std::wstring ModulePath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length);
    return path;
}

std::wstring CurrentFolder() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data());
    path.resize(length < path.size() ? length : 0);
    return path;
}

// The program's Unix path, relative ("./MELVARA.EXE") when it lies in or
// below the current folder.
std::string UnixProgramPath() {
    const std::string program = UnixPath(ModulePath());
    std::string folder = UnixPath(CurrentFolder());
    if (program.empty())
        return ProgramName();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    if (!folder.empty() && program.compare(0, folder.size(), folder) == 0)
        return "./" + program.substr(folder.size());
    return program;
}
#endif

}  // namespace

const char* ProgramName() {
#if defined(_WIN32)
    return "MELVARA.EXE";
#else
    return "melvara-sim";
#endif
}

void SetProgramPath(const char* argv0) {
    ProgramPath = argv0 != nullptr ? argv0 : "";
}

bool RunningUnderWine() {
#if defined(_WIN32)
    static const bool wine =
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    return wine;
#else
    return false;
#endif
}

std::vector<std::string> ProgramCommand() {
    if (ProgramPath.empty())
        return {ProgramName()};
#if defined(_WIN32)
    if (RunningUnderWine()) {
        std::vector<std::string> words;
        // xvfb-run keeps its display's cookie in a folder of its own.
        const char* cookie = std::getenv("XAUTHORITY");
        if (cookie != nullptr && std::strstr(cookie, "/xvfb-run.") != nullptr)
            words = {"xvfb-run", "-a"};
        words.push_back("wine");
        words.push_back(UnixProgramPath());
        return words;
    }
#endif
    return {ProgramPath};
}

}  // namespace sim
