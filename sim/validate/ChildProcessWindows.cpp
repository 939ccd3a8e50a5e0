// Child processes on Windows: CreateProcess, a pipe, and TerminateProcess; the machine's memory.
#include <windows.h>

#include <atomic>
#include <thread>

#include "sim/validate/ChildProcess.h"

namespace sim {
namespace {

// How long the output may still come after the child ended.
constexpr int kDrainMilliseconds = 5000;

std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

// One argument as the C runtime splits a command line: in quotes, with the
// backslashes before a quote doubled.
std::wstring Quoted(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

}  // namespace

ChildOutcome RunThisProgram(const std::vector<std::string>& args, double limitSeconds) {
    ChildOutcome outcome;
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (length == 0 || length == MAX_PATH || !CreatePipe(&read, &write, &inherit, 0)) {
        outcome.StartError = "cannot find this program or make a pipe";
        return outcome;
    }
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = Quoted(program);
    for (const std::string& arg : args)
        commandLine += L" " + Quoted(Wide(arg));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = write;
    startup.hStdError = write;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(write);
    if (!started) {
        CloseHandle(read);
        outcome.StartError =
            "cannot start this program again (error " + std::to_string(GetLastError()) + ")";
        return outcome;
    }
    outcome.Started = true;
    std::atomic<bool> drained{false};
    std::thread reader([&] {
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(read, buffer, sizeof buffer, &got, nullptr) && got > 0)
            outcome.Output.append(buffer, got);
        drained = true;
    });
    const auto limit = static_cast<DWORD>(limitSeconds * 1000);
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
        outcome.Killed = true;
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    outcome.ExitCode = static_cast<int>(code);
    // The pipe ends with the child, unless something it started holds it open.
    for (int waited = 0; !drained && waited < kDrainMilliseconds; waited += 10)
        Sleep(10);
    if (!drained)
        CancelIoEx(read, nullptr);
    reader.join();
    CloseHandle(read);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return outcome;
}

uint64_t MachineMegabytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys >> 20 : 0;
}

}  // namespace sim
