// Child processes on Windows: CreateProcess into a job object that ends all of it when closed,
// pipes read by threads of their own, a shared page; the machine's memory.
#include <windows.h>
// After windows.h.
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <thread>
#include <vector>

#include "sim/validate/ChildProcess.h"

namespace sim {
namespace {

// The environment variable that gives a child its channel:
// "CHANNEL:PAGE:KEY", the first two handles.
constexpr const char* kChannelVariable = "MELVARA_SIM_CHANNEL";
// What a pipe's reader keeps before it waits for the parent to take it.
constexpr size_t kPipeBuffer = size_t{1} << 20;
// What one Wait takes from each pipe at most.
constexpr size_t kReadPerWait = size_t{256} << 10;
// How long the processes of an ended job may take to end.
constexpr DWORD kEndMilliseconds = 5000;
// How long the readers may take to reach the end of their pipes once the
// processes have ended.
constexpr int kDrainMilliseconds = 2000;
// The processes of a job named at most.
constexpr size_t kListedProcesses = 1024;
// After its last message, how long a child waits to be ended at most.
constexpr DWORD kAwaitEndMilliseconds = 3600 * 1000;

// Held while handles meant for one child are inheritable, so that no other
// child started meanwhile inherits them.
std::mutex InheritLock;

std::wstring Wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Narrow(const std::wstring& text) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, narrow.data(), size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
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

// This process's environment without the channel variable, with extra, as
// a block for CreateProcessW.
std::wstring EnvironmentBlock(const std::wstring& extra) {
    std::wstring block;
    const std::wstring skip = Wide(kChannelVariable) + L"=";
    if (wchar_t* strings = GetEnvironmentStringsW()) {
        for (const wchar_t* variable = strings; *variable != 0;
             variable += wcslen(variable) + 1) {
            if (_wcsnicmp(variable, skip.c_str(), skip.size()) != 0)
                block.append(variable).push_back(L'\0');
        }
        FreeEnvironmentStringsW(strings);
    }
    if (!extra.empty())
        block.append(extra).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

std::string ProgramOf(DWORD pid) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return "process " + std::to_string(pid);
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool named = QueryFullProcessImageNameW(process, 0, path, &length) != 0;
    CloseHandle(process);
    return named ? Narrow(std::wstring(path, length)) : "process " + std::to_string(pid);
}

}  // namespace

struct ChildProcess::State {
    // A pipe from the child, read by a thread of its own into Buffer.
    struct Pipe {
        HANDLE Read = nullptr;
        std::thread Reader;
        std::string Buffer;
        bool Closed = true;
    };

    HANDLE Process = nullptr;
    HANDLE Job = nullptr;
    DWORD Pid = 0;
    HANDLE Mapping = nullptr;
    void* Page = nullptr;
    bool Exited = false;
    DWORD Code = 0;
    bool Finished = false;

    std::mutex Lock;
    std::condition_variable Room;
    HANDLE Arrived = nullptr;  // set when a reader has something
    Pipe Output;
    Pipe Channel;

    void StartReader(Pipe& pipe, HANDLE read) {
        pipe.Read = read;
        pipe.Closed = false;
        pipe.Reader = std::thread([this, &pipe] {
            char buffer[65536];
            DWORD got = 0;
            while (ReadFile(pipe.Read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
                std::unique_lock<std::mutex> hold(Lock);
                Room.wait(hold, [&] { return pipe.Buffer.size() < kPipeBuffer || Finished; });
                pipe.Buffer.append(buffer, got);
                SetEvent(Arrived);
            }
            const std::lock_guard<std::mutex> hold(Lock);
            pipe.Closed = true;
            SetEvent(Arrived);
        });
    }

    // Moves what the readers have into output and messages.
    bool Take(std::string& output, std::string& messages) {
        const std::lock_guard<std::mutex> hold(Lock);
        bool took = false;
        for (auto [pipe, into] : {std::pair{&Output, &output}, std::pair{&Channel, &messages}}) {
            const size_t size = std::min(pipe->Buffer.size(), kReadPerWait);
            into->append(pipe->Buffer, 0, size);
            pipe->Buffer.erase(0, size);
            took = took || size != 0;
        }
        Room.notify_all();
        return took;
    }

    void LookForEnd() {
        if (Exited || Process == nullptr || WaitForSingleObject(Process, 0) != WAIT_OBJECT_0)
            return;
        Exited = true;
        GetExitCodeProcess(Process, &Code);
    }
};

ChildProcess::ChildProcess() : My(std::make_unique<State>()) {
    My->Arrived = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

ChildProcess::~ChildProcess() {
    State& my = *My;
    if (my.Process != nullptr && !my.Finished)
        EndAll();
    {
        const std::lock_guard<std::mutex> hold(my.Lock);
        my.Finished = true;
    }
    my.Room.notify_all();
    // The pipes end with the processes; a reader still waiting is cut off.
    for (State::Pipe* pipe : {&my.Output, &my.Channel}) {
        for (int waited = 0; waited < kDrainMilliseconds; waited += 10) {
            {
                const std::lock_guard<std::mutex> hold(my.Lock);
                if (pipe->Closed)
                    break;
            }
            Sleep(10);
        }
        if (pipe->Reader.joinable()) {
            CancelIoEx(pipe->Read, nullptr);
            pipe->Reader.join();
        }
        if (pipe->Read != nullptr)
            CloseHandle(pipe->Read);
    }
    if (my.Page != nullptr)
        UnmapViewOfFile(my.Page);
    for (HANDLE handle : {my.Mapping, my.Process, my.Job, my.Arrived}) {
        if (handle != nullptr)
            CloseHandle(handle);
    }
}

bool ChildProcess::Start(const Setup& setup, std::string& error) {
    State& my = *My;
    // Wine starts the desktop's process (explorer.exe) with the first window
    // of a session: started from here, it is in no child's job, neither
    // ended with a check nor taken for a process the module left running.
    static std::once_flag desktop;
    std::call_once(desktop, [] { GetDesktopWindow(); });
    wchar_t program[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
    if (length == 0 || length == MAX_PATH) {
        error = "cannot find this program";
        return false;
    }
    std::wstring commandLine = Quoted(program);
    for (const std::string& arg : setup.Args)
        commandLine += L" " + Quoted(Wide(arg));

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE outputRead = nullptr, outputWrite = nullptr;
    HANDLE channelRead = nullptr, channelWrite = nullptr;
    HANDLE nothing = nullptr;
    PROCESS_INFORMATION process{};
    bool started = false;
    {
        const std::lock_guard<std::mutex> hold(InheritLock);
        bool made = CreatePipe(&outputRead, &outputWrite, &inherit, 0) != 0;
        nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
        made = made && nothing != INVALID_HANDLE_VALUE;
        std::wstring variable;
        if (made && setup.Channel) {
            made = CreatePipe(&channelRead, &channelWrite, &inherit, 0) != 0;
            my.Mapping = made ? CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0,
                                                   kSharedPageSize, nullptr)
                              : nullptr;
            my.Page = my.Mapping != nullptr
                          ? MapViewOfFile(my.Mapping, FILE_MAP_WRITE, 0, 0, kSharedPageSize)
                          : nullptr;
            made = made && my.Page != nullptr;
            variable = Wide(std::string(kChannelVariable) + "=" +
                            std::to_string(reinterpret_cast<uintptr_t>(channelWrite)) + ":" +
                            std::to_string(reinterpret_cast<uintptr_t>(my.Mapping)) + ":" +
                            setup.ChannelKey);
        }
        for (HANDLE own : {outputRead, channelRead}) {
            if (own != nullptr)
                SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
        }
        if (made) {
            std::wstring environment = EnvironmentBlock(variable);
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = nothing;
            startup.hStdOutput = outputWrite;
            startup.hStdError = outputWrite;
            started = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE,
                                     CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT,
                                     environment.data(), nullptr, &startup, &process) != 0;
            if (!started)
                error = "cannot start this program again (error " +
                        std::to_string(GetLastError()) + ")";
        } else {
            error = "cannot make a pipe or shared page (error " + std::to_string(GetLastError()) +
                    ")";
        }
        for (HANDLE theirs : {outputWrite, channelWrite, nothing}) {
            if (theirs != nullptr && theirs != INVALID_HANDLE_VALUE)
                CloseHandle(theirs);
        }
        if (my.Mapping != nullptr)
            SetHandleInformation(my.Mapping, HANDLE_FLAG_INHERIT, 0);
    }
    if (!started) {
        for (HANDLE own : {outputRead, channelRead}) {
            if (own != nullptr)
                CloseHandle(own);
        }
        return false;
    }
    // In a job of its own, which ends it and all it started when closed.
    my.Job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (my.Job != nullptr)
        SetInformationJobObject(my.Job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    if (my.Job != nullptr)
        AssignProcessToJobObject(my.Job, process.hProcess);
    my.Process = process.hProcess;
    my.Pid = process.dwProcessId;
    my.StartReader(my.Output, outputRead);
    if (channelRead != nullptr)
        my.StartReader(my.Channel, channelRead);
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return true;
}

void ChildProcess::Wait(double seconds, std::string& output, std::string& messages) {
    State& my = *My;
    if (!my.Take(output, messages)) {
        my.LookForEnd();
        if (!my.Exited) {
            HANDLE both[] = {my.Process, my.Arrived};
            WaitForMultipleObjects(2, both, FALSE,
                                   static_cast<DWORD>(std::max(0.0, seconds) * 1000));
        }
        my.Take(output, messages);
    }
    my.LookForEnd();
}

bool ChildProcess::Ended() const {
    My->LookForEnd();
    return My->Exited;
}

int ChildProcess::ExitCode() const {
    return My->Exited ? static_cast<int>(My->Code) : 0;
}

int ChildProcess::Signal() const {
    return 0;
}

ProcessUsage ChildProcess::Usage() const {
    ProcessUsage usage;
    State& my = *My;
    my.LookForEnd();
    if (my.Process == nullptr || my.Exited)
        return usage;
    FILETIME created{}, exited{}, kernel{}, user{};
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessTimes(my.Process, &created, &exited, &kernel, &user) ||
        !GetProcessMemoryInfo(my.Process, &counters, sizeof counters))
        return usage;
    const auto ticks = [](const FILETIME& time) {
        return static_cast<double>(static_cast<ULONGLONG>(time.dwHighDateTime) << 32 |
                                   time.dwLowDateTime);
    };
    usage.Known = true;
    usage.CpuSeconds = (ticks(kernel) + ticks(user)) / 1e7;
    usage.HeldBytes = counters.PagefileUsage;
    return usage;
}

const void* ChildProcess::SharedPage() const {
    return My->Page;
}

uint64_t ChildProcess::Id() const {
    return My->Pid;
}

uint64_t ThisProcessId() {
    return GetCurrentProcessId();
}

std::vector<std::string> ChildProcess::EndAll() {
    State& my = *My;
    std::vector<std::string> running;
    if (my.Process == nullptr || my.Finished)
        return running;
    my.Finished = true;
    if (my.Job != nullptr) {
        // The processes of the job other than the child, before it ends them.
        // The list is read with memcpy: its array is declared of one.
        std::vector<ULONG_PTR> buffer(kListedProcesses + 1);
        const size_t bytes = buffer.size() * sizeof(ULONG_PTR);
        if (QueryInformationJobObject(my.Job, JobObjectBasicProcessIdList, buffer.data(),
                                      static_cast<DWORD>(bytes), nullptr)) {
            const auto* base = reinterpret_cast<const unsigned char*>(buffer.data());
            DWORD listed = 0;
            std::memcpy(&listed,
                        base + offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, NumberOfProcessIdsInList),
                        sizeof listed);
            const size_t first = offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList);
            for (size_t i = 0; i < listed && first + (i + 1) * sizeof(ULONG_PTR) <= bytes; ++i) {
                ULONG_PTR pid = 0;
                std::memcpy(&pid, base + first + i * sizeof pid, sizeof pid);
                if (pid != my.Pid)
                    running.push_back(ProgramOf(static_cast<DWORD>(pid)));
            }
        }
        TerminateJobObject(my.Job, 1);
        CloseHandle(my.Job);
        my.Job = nullptr;
    }
    if (!my.Exited)
        TerminateProcess(my.Process, 1);
    WaitForSingleObject(my.Process, kEndMilliseconds);
    my.LookForEnd();
    {
        const std::lock_guard<std::mutex> hold(my.Lock);
        my.Room.notify_all();
    }
    return running;
}

std::optional<ParentChannel> TakeParentChannel() {
    char text[256];
    const DWORD length = GetEnvironmentVariableA(kChannelVariable, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return std::nullopt;
    SetEnvironmentVariableA(kChannelVariable, nullptr);
    _putenv((std::string(kChannelVariable) + "=").c_str());
    ParentChannel channel;
    char* end = nullptr;
    channel.Channel = static_cast<intptr_t>(std::strtoull(text, &end, 10));
    const uintptr_t mapping = *end == ':' ? std::strtoull(end + 1, &end, 10) : 0;
    if (*end == ':')
        channel.Key = end + 1;
    SecureZeroMemory(text, sizeof text);
    if (channel.Channel == 0 || mapping == 0 || channel.Key.empty())
        return std::nullopt;
    HANDLE page = reinterpret_cast<HANDLE>(mapping);
    channel.Page = MapViewOfFile(page, FILE_MAP_WRITE, 0, 0, kSharedPageSize);
    CloseHandle(page);
    // Not for the programs the module may start.
    SetHandleInformation(reinterpret_cast<HANDLE>(channel.Channel), HANDLE_FLAG_INHERIT, 0);
    return channel;
}

bool WriteToParent(const ParentChannel& channel, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(channel.Channel), bytes.data(),
                       static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

void ReapDescendants() {}

void AwaitEnd() {
    Sleep(kAwaitEndMilliseconds);
    TerminateProcess(GetCurrentProcess(), 0);
    ExitProcess(0);
}

uint64_t MachineMegabytes() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys >> 20 : 0;
}

}  // namespace sim
