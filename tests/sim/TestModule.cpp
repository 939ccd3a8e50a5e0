// A small foreign plug-in module for testing the validator and the isolation
// of modules: one command that loads the first layer frame of the selection
// and frees it, and reads and writes back the tuplet defaults. Built once per
// fault, chosen at compile time with TEST_MODULE_FAULT (an enumerator of
// Fault); None is a module without faults.
#include <cfenv>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "contract/MelvaraExports.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

enum class Fault {
    None,
    // Loading and menu.
    VersionNotItsArgument,  // answers a version of its own
    InitClearsTheWord,      // sets the word to 1
    InitAnswers0,           // sets bit 0 but answers 0
    InitWritesBeside,       // also writes the word after the one it is given
    EmptyTitle,             // offers a command without a Title
    MenuTextPastField,      // writes the 8-bit ShortName past the end of its record
    MenuTextBeforeField,    // writes a byte just before the 8-bit record
    WideTextUnterminated,   // fills the UTF-16 Title without a zero unit
    WritesWhenAnswering0,   // writes into the record of an index it has no command for
    EndlessMenu,            // has a command at every index a host asks for
    TextsDisagree,          // another UTF-16 Title than the 8-bit one
    CrashInEnumerate,       // writes through a null pointer when asked for index 1
    WideTitleFillsItsField,  // no fault: a UTF-16 Title of 127 units, its zero in the last unit
    // Commands.
    CrashInInvoke,       // writes through a null pointer
    InvokeNeverReturns,  // loops for ever
    TakesMemoryWithoutBound,  // takes 64 MB blocks and writes to each, even one refused
    FrameNeverFreed,     // keeps the frame
    FrameFreedTwice,     // frees it a second time
    WritesIntoFrame,     // changes the frame's measure before freeing it
    WrongVersionArgument,  // passes 0x18000000 to the host
    PassesHostVersion,     // passes the host's version on as the version argument
    LinksHostFunctions,    // links to MX_LoadKData and MX_SaveKData instead of finding them
    WideCharacterBox,      // shows a box of 4-byte characters as if they were UTF-16
    BoxOfNoStyle,        // shows a box of buttons 0x7 (where the host stands in for MessageBoxW)
    KeepsDefaults,       // loads the defaults once and writes them into later documents
    WritesIntoSelection,  // changes the measure in the selection record it is handed
    KeepsFrameOnNo,       // asks Yes or No first, and keeps the frame when answered No
    CrashOnOlderHost,     // writes through a null pointer when the host is older than 0x19000000
    LinksSystemFunctions,  // no fault: links to IsWindow and MessageBoxW, the system's (USER32)
    // A hostile host.
    CrashWhenCallFails,    // divides by the layer count, which is 0 when the call fails
    CrashWhenLastCallFails,  // the same, with the layer count asked last of all
    CrashWhenLastOfManyCallsFails,  // the same, after 400 calls of MX_GetShowLayer
    CrashOnNoLayers,       // divides by the sum of two layer counts: 0 when the host has no layers
    SavesAfterFailedLoad,  // writes the defaults back even when their load failed
    SavesMoreThanLoaded,   // writes back 30 bytes, however many the load gave
    CrashOnEmptyRecord,    // divides by the size of the defaults it loaded
    BufferDeclaredTooLong,  // loads the defaults into 30 bytes it says are 64
    // Changes between two builds, for regress (each shows as one difference).
    SavesAnotherField,    // sets byte 10 of the defaults to 0x1B before writing them back
    ShowsDoneBox,         // no fault: says "Done." in a message box
    ShowsAnotherBoxText,  // says "Done!" instead
    FreesFrameLate,       // frees the frame in Terminate, after the command returned
    ExitsInInvoke,        // prints four lines, then ends the host's process with status 3
    // Isolation: what a module may do to the process it runs in.
    ForgesResult,          // keeps its frame, prints a passing result line and ends the process
    ForgesResultAtUnload,  // keeps its frame; prints a passing result line as it is unloaded
    CrashAtUnload,         // writes through a null pointer as it is unloaded
    BlocksSignals,         // blocks every signal, closes its output and sleeps
    LeavesDaemon,          // starts a daemon (a new session, its descriptors closed)
    HelperHoldsOutput,     // starts a helper that sleeps, holding the output open
    StderrWithoutNewline,  // no fault: writes text without a final newline to stderr
    HugeStderr,            // no fault: writes 256 MB to stderr
    TakesMemoryUntilRefused,  // takes 16 MB blocks until one is refused, frees them, returns
    TakesSharedMemory,        // maps shared memory in 16 MB blocks without bound
    // Host memory.
    WideRecordOverrun,     // writes 20 bytes past the end of the UTF-16 record
    WideRecordFarOverrun,  // writes 8000 bytes past it, one by one
    ReadsFrameAfterRelease,  // reads the frame's measure after freeing it
    ReadsPastFrame,        // reads the byte after the frame's last entry record
    EndsAsStackOverrun,    // ends the process as a failed stack check does
    ReadsPastSelection,    // reads the byte after the 20-byte selection record
    // Calls, answers and what a command leaves behind.
    MenuStatus0,             // GetMenuStatus answers 0
    InvokeAnswers0,          // Invoke answers 0
    MenuChangesAfterInvoke,  // offers a second command once a command has run
    CallsHostFromThread,     // asks MX_GetMaxLayers from a thread it starts and joins in Invoke
    CallsHostInTerminate,    // asks MX_GetMaxLayers in Terminate
    CallsHostAfterReturn,    // leaves a thread that asks MX_GetMaxLayers twice once Invoke returned
    LeavesDescriptorOpen,    // opens a file in each command and keeps it open
    KeepsMemory,             // keeps 64 KB from each command
    ChangesProcessSettings,  // sets the rounding mode, the umask and SIGPIPE's handling
    SavesShorter,            // writes back the 30 bytes it read of a longer record
    UnterminatedBoxText,     // shows a box whose text has no zero unit
    OverwritesScore,         // writes {} into the file after --score on the host's command line
                             // (Linux): no check can see it, run does
    ForksInInvoke,  // each load's first command forks (Linux): the copy goes on with the check,
                    // the process the host started ends with status 0 two seconds later
    InvokeAnswers2,  // Invoke answers 2
};
constexpr Fault kFault = Fault::TEST_MODULE_FAULT;

uint32_t HostVersion = 0;
bool Invoked = false;

uint32_t VersionArgument() {
    if (kFault == Fault::PassesHostVersion)
        return HostVersion;
    return kFault == Fault::WrongVersionArgument ? 0x18000000 : 0x19000000;
}
constexpr uint32_t kDefaultsTag = 0x70665450;  // 'pfTP'
constexpr uint32_t kDefaultsSize = 30;
constexpr const char* kTitle =
    kFault == Fault::EmptyTitle ? ""
    : kFault == Fault::WideTitleFillsItsField
        ? "Foreign Frame Probe, with a title as long as the UTF-16 field holds: 127 units "
          "and the zero unit after them, which is the last unit of its field..."
        : "Foreign Frame Probe";
constexpr const char* kDescription = "Loads the first layer frame of the selection and frees it.";
constexpr const char* kShortName = "Frame Probe";

template <typename Fn>
Fn HostFunction(const char* name) {
#if defined(_WIN32)
    FARPROC found = GetProcAddress(GetModuleHandleA("MELVARA.EXE"), name);
    void* address;
    std::memcpy(&address, &found, sizeof address);
#else
    void* program = dlopen(nullptr, RTLD_LAZY);
    void* address = dlsym(program, name);
    dlclose(program);
#endif
    Fn fn;
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

// As strncpy with a limit of 64.
void CopyText(char* field, const char* text) {
    size_t i = 0;
    for (; i < 64 && text[i] != 0; ++i)
        field[i] = text[i];
    for (; i < 64; ++i)
        field[i] = 0;
}

void CopyText(char16_t* field, const char* text) {
    const size_t limit = kFault == Fault::WideTitleFillsItsField ? 127 : 63;
    size_t i = 0;
    for (; i < limit && text[i] != 0; ++i)
        field[i] = static_cast<char16_t>(text[i]);
    field[i] = 0;
}

template <typename Record>
int16_t Fill(int16_t index, Record* item) {
    if (item == nullptr)
        return 0;
    const bool offered = index == 0 || (kFault == Fault::EndlessMenu && index >= 0) ||
                         (kFault == Fault::MenuChangesAfterInvoke && Invoked && index == 1);
    if (!offered) {
        if (kFault == Fault::WritesWhenAnswering0)
            item->ItemFlag = 0;
        return 0;
    }
    CopyText(item->Title, kTitle);
    CopyText(item->Description, kDescription);
    CopyText(item->ShortName, kShortName);
    item->ItemFlag = 1;
    return 1;
}

// For the tests that look for processes left behind: the file named by
// MELVARA_TEST_PIDS, if any, gets a line for each process started ("pid N"
// on Linux), and its name goes into the command lines of those on Windows.
const char* NoteFile() {
    return std::getenv("MELVARA_TEST_PIDS");
}

void NoteStarted(const char* line) {
    if (NoteFile() == nullptr)
        return;
    if (FILE* file = std::fopen(NoteFile(), "a")) {
        std::fprintf(file, "%s\n", line);
        std::fclose(file);
    }
}

[[noreturn]] void SleepForAnHour() {
    for (int second = 0; second < 3600; ++second) {
#if defined(_WIN32)
        Sleep(1000);
#else
        sleep(1);
#endif
    }
    std::exit(0);
}

// "melvara-sim-validate-result PASS ...": the line with which the
// validator's checks once reported, with colours that paint a PASS.
constexpr const char* kForgedResult =
    "\x1b[32mPASS\x1b[0m everything\nmelvara-sim-validate-result\tPASS\tforged\t\t\t\t\n";

// On standard output, and when everywhere, on every descriptor that might
// be the validator's.
void PrintForgedResult([[maybe_unused]] bool everywhere) {
    std::fputs(kForgedResult, stdout);
    std::fflush(stdout);
#if !defined(_WIN32)
    for (int fd = 3; everywhere && fd < 16; ++fd) {
        [[maybe_unused]] const ssize_t written = write(fd, kForgedResult, std::strlen(kForgedResult));
    }
#endif
}

struct AtUnload {
    ~AtUnload() {
        if (kFault == Fault::ForgesResultAtUnload)
            PrintForgedResult(false);
        if (kFault == Fault::CrashAtUnload) {
            volatile int* volatile nowhere = nullptr;
            *nowhere = 1;
        }
    }
} atUnload;

// Starts a process that outlives the command: a daemon of its own session
// with its descriptors closed, or a helper that holds the output open.
void StartProcess(bool daemon) {
#if defined(_WIN32)
    // cmd.exe reading from a pipe whose other end this module never closes.
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0))
        return;
    SetHandleInformation(write, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = daemon ? nullptr : GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = daemon ? nullptr : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    char command[512];
    std::snprintf(command, sizeof command, "cmd.exe /q /k rem %s",
                  NoteFile() != nullptr ? NoteFile() : "");
    if (CreateProcessA(nullptr, command, nullptr, nullptr, TRUE,
                       daemon ? DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP : 0, nullptr, nullptr,
                       &startup, &process)) {
        NoteStarted("started");
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(read);
#else
    const pid_t child = fork();
    if (child != 0) {
        if (daemon && child > 0)
            waitpid(child, nullptr, 0);
        return;
    }
    char line[32];
    std::snprintf(line, sizeof line, "pid %d", static_cast<int>(getpid()));
    if (!daemon) {
        NoteStarted(line);
        SleepForAnHour();
    }
    setsid();
    if (fork() == 0) {
        std::snprintf(line, sizeof line, "pid %d", static_cast<int>(getpid()));
        NoteStarted(line);
        for (int fd = 0; fd < 1024; ++fd)
            close(fd);
        SleepForAnHour();
    }
    _exit(0);
#endif
}

// Blocks every signal it can, closes its output and sleeps.
void BlockSignalsAndSleep() {
#if !defined(_WIN32)
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, nullptr);
    signal(SIGALRM, SIG_IGN);
    close(1);
    close(2);
#endif
    SleepForAnHour();
}

// Takes memory in 16 MB blocks, written to, until one is refused; frees
// them and answers how many it had. Shared memory, mapped, has no end.
size_t TakeMemory(bool shared) {
    constexpr size_t kBlock = size_t{16} << 20;
    constexpr size_t kPage = 4096;
    std::vector<void*> blocks;
    for (;;) {
        void* block = nullptr;
        if (shared) {
#if defined(_WIN32)
            HANDLE section =
                CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                   static_cast<DWORD>(kBlock), nullptr);
            block = section != nullptr ? MapViewOfFile(section, FILE_MAP_WRITE, 0, 0, kBlock) : nullptr;
#else
            block = mmap(nullptr, kBlock, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
            block = block == MAP_FAILED ? nullptr : block;
#endif
        } else {
            block = std::malloc(kBlock);
        }
        if (block == nullptr)
            break;
        for (size_t at = 0; at < kBlock; at += kPage)
            static_cast<volatile char*>(block)[at] = 1;
        if (!shared)
            blocks.push_back(block);
    }
    for (void* block : blocks)
        std::free(block);
    return blocks.size();
}

}  // namespace

// Linked to, as the host program's own functions: the loader binds them.
#if defined(_WIN32)
#define HOST_IMPORT extern "C" __declspec(dllimport)
#else
#define HOST_IMPORT extern "C"
#endif
HOST_IMPORT int16_t MX_LoadKData(uint32_t, uint16_t*, void*, uint32_t*, uint32_t);
HOST_IMPORT int16_t MX_SaveKData(uint32_t, uint16_t*, void*, uint32_t, uint32_t);
#if !defined(_WIN32)
// The system's own on Windows (USER32); the host program stands in for them here.
extern "C" int IsWindow(void*);
extern "C" int MessageBoxW(void*, const char16_t*, const char16_t*, unsigned);
#endif

namespace {

// Reads the tuplet defaults and writes them back, as a command that changes
// them would.
void RewriteDefaults() {
    using LoadFn = int16_t (*)(uint32_t, uint16_t*, void*, uint32_t*, uint32_t);
    using SaveFn = int16_t (*)(uint32_t, uint16_t*, void*, uint32_t, uint32_t);
    LoadFn load = nullptr;
    SaveFn save = nullptr;
    // Only this module links to them: the others must not even name them.
    if constexpr (kFault == Fault::LinksHostFunctions) {
        load = &MX_LoadKData;
        save = &MX_SaveKData;
    } else {
        load = HostFunction<LoadFn>("MX_LoadKData");
        save = HostFunction<SaveFn>("MX_SaveKData");
    }
    if (load == nullptr || save == nullptr)
        return;
    static uint8_t kept[kDefaultsSize];
    static bool haveKept = false;
    uint16_t keys[4] = {1, 0, 0, 0};
    uint8_t buffer[kDefaultsSize] = {};
    uint32_t count = kFault == Fault::BufferDeclaredTooLong ? 64 : kDefaultsSize;
    if (kFault == Fault::KeepsDefaults && haveKept) {
        save(kDefaultsTag, keys, kept, kDefaultsSize, VersionArgument());
        return;
    }
    const bool loaded = load(kDefaultsTag, keys, buffer, &count, VersionArgument()) != 0;
    if (loaded && kFault == Fault::KeepsDefaults) {
        std::memcpy(kept, buffer, sizeof kept);
        haveKept = true;
    }
    if (!loaded && kFault != Fault::SavesAfterFailedLoad)
        return;
    if (kFault == Fault::CrashOnEmptyRecord) {
        volatile uint32_t size = count;
        volatile uint32_t share = kDefaultsSize / size;
        (void)share;
    }
    // A record longer than the buffer cannot be written back whole.
    if (loaded && count > kDefaultsSize && kFault != Fault::SavesShorter &&
        kFault != Fault::BufferDeclaredTooLong)
        return;
    const uint32_t saved = kFault == Fault::SavesMoreThanLoaded || !loaded ? kDefaultsSize
                           : count < kDefaultsSize                         ? count
                                                                            : kDefaultsSize;
    if (kFault == Fault::SavesAnotherField && saved > 10)
        buffer[10] = 0x1B;
    save(kDefaultsTag, keys, buffer, saved, VersionArgument());
}

// A layer from the host's layer count, asked for the given number of times
// and summed: a division by zero when every call answers 0 (or fails).
int16_t LayerFromCount(int calls = 1) {
    using LayersFn = int16_t (*)(uint32_t);
    const auto layers = HostFunction<LayersFn>("MX_GetMaxLayers");
    if (layers == nullptr)
        return 0;
    volatile int count = 0;
    for (int i = 0; i < calls; ++i)
        count = count + layers(VersionArgument());
    volatile int thousand = 1000;
    volatile int layer = thousand / count % count;  // made even when the layer goes unused
    return static_cast<int16_t>(layer);
}

// The frame FreesFrameLate keeps until Terminate.
void* LateFrame = nullptr;
using LayersFn = int16_t (*)(uint32_t);

// Asks the host for its layer count, as any command might.
void AskLayers() {
    if (const auto layers = HostFunction<LayersFn>("MX_GetMaxLayers"))
        layers(VersionArgument());
}

// Threads of the system's own, so that the module exports nothing of the
// C++ library's templates.
#if defined(_WIN32)
using ThreadHandle = HANDLE;
DWORD WINAPI RunThread(LPVOID body) {
    reinterpret_cast<void (*)()>(body)();
    return 0;
}
ThreadHandle StartThread(void (*body)()) {
    return CreateThread(nullptr, 0, RunThread, reinterpret_cast<LPVOID>(body), 0, nullptr);
}
void JoinThread(ThreadHandle thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
void SleepMillisecond() {
    Sleep(1);
}
#else
using ThreadHandle = pthread_t;
void* RunThread(void* body) {
    reinterpret_cast<void (*)()>(body)();
    return nullptr;
}
ThreadHandle StartThread(void (*body)()) {
    pthread_t thread{};
    pthread_create(&thread, nullptr, RunThread, reinterpret_cast<void*>(body));
    return thread;
}
void JoinThread(ThreadHandle thread) {
    pthread_join(thread, nullptr);
}
void SleepMillisecond() {
    usleep(1000);
}
#endif

bool Load(const bool& flag) {
    return __atomic_load_n(&flag, __ATOMIC_SEQ_CST);
}
void Set(bool& flag) {
    __atomic_store_n(&flag, true, __ATOMIC_SEQ_CST);
}

// The thread CallsHostAfterReturn leaves behind: it asks the host twice once
// Invoke has returned; unloading the module waits for both calls. The
// function is found before: unloading holds the loader's lock, which finding
// it takes.
struct LeftBehind {
    bool Started = false;
    bool Returned = false;
    bool Called = false;
    bool Stop = false;
    LayersFn Layers = nullptr;
    ThreadHandle Thread{};

    void Start();
    ~LeftBehind();
};
LeftBehind Behind;

void AskAfterReturn() {
    for (int asked = 0; !Load(Behind.Stop);) {
        if (asked < 2 && Load(Behind.Returned)) {
            Behind.Layers(VersionArgument());
            if (++asked == 2)
                Set(Behind.Called);
        }
        SleepMillisecond();
    }
}

void LeftBehind::Start() {
    Layers = HostFunction<LayersFn>("MX_GetMaxLayers");
    if (Started || Layers == nullptr)
        return;
    Started = true;
    Thread = StartThread(AskAfterReturn);
}

LeftBehind::~LeftBehind() {
    if (!Started)
        return;
    // At most about 30 s: the thread's calls come at once.
    for (int i = 0; i < 30000 && Load(Returned) && !Load(Called); ++i)
        SleepMillisecond();
    Set(Stop);
    JoinThread(Thread);
}

// Each command's leak, kept where the compiler cannot drop it.
void* volatile Kept = nullptr;
std::FILE* volatile KeptFile = nullptr;

void LeaveSomethingBehind() {
    if (kFault == Fault::LeavesDescriptorOpen) {
#if defined(_WIN32)
        constexpr const char* kNothing = "NUL";
#else
        constexpr const char* kNothing = "/dev/null";
#endif
        KeptFile = std::fopen(kNothing, "r");
    }
    if (kFault == Fault::KeepsMemory) {
        constexpr size_t kBlock = 64 * 1024;
        void** block = static_cast<void**>(std::malloc(kBlock));
        if (block != nullptr) {
            std::memset(block, 1, kBlock);
            block[0] = Kept;  // a chain of every block kept
            Kept = block;
        }
    }
    if (kFault == Fault::ChangesProcessSettings) {
        std::fesetround(FE_TOWARDZERO);
#if !defined(_WIN32)
        umask(077);
        std::signal(SIGPIPE, SIG_IGN);
#endif
    }
}

// Overwrites the score file that the host program was given, behind its back.
void OverwriteScore() {
#if !defined(_WIN32)
    static char arguments[1 << 16];
    std::FILE* file = std::fopen("/proc/self/cmdline", "rb");
    if (file == nullptr)
        return;
    const size_t size = std::fread(arguments, 1, sizeof arguments - 1, file);
    std::fclose(file);
    arguments[size] = 0;
    for (size_t at = 0; at < size; at += std::strlen(arguments + at) + 1) {
        if (std::strcmp(arguments + at, "--score") != 0)
            continue;
        const char* score = arguments + at + std::strlen(arguments + at) + 1;
        if (std::FILE* written = std::fopen(score, "w")) {
            std::fputs("{}", written);
            std::fclose(written);
        }
        return;
    }
#endif
}

// What Invoke answers, as it returns.
int Answer() {
    if (kFault == Fault::CallsHostAfterReturn)
        Set(Behind.Returned);
    return kFault == Fault::InvokeAnswers0 ? 0 : kFault == Fault::InvokeAnswers2 ? 2 : 1;
}

// 5000 units of 'x' and no zero unit, more than a host reads of a box's text.
char16_t Unterminated[5000];

}  // namespace

MELVARA_EXPORT uint32_t MelvaraExtensionVersion(uint32_t hostVersion) {
    HostVersion = hostVersion;
    return kFault == Fault::VersionNotItsArgument ? 0x10000000 : hostVersion;
}

MELVARA_EXPORT int MelvaraExtensionInit(void*, uint32_t* word) {
    if (word != nullptr)
        *word = kFault == Fault::InitClearsTheWord ? 1 : *word | 1;
    if (word != nullptr && kFault == Fault::InitWritesBeside)
        *reinterpret_cast<uint32_t*>(reinterpret_cast<uintptr_t>(word) + 4) = 0;
    return kFault == Fault::InitAnswers0 ? 0 : 1;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate(void*, int16_t index, MenuItemRecord* item) {
    if (kFault == Fault::CrashInEnumerate && index == 1) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    const int16_t filled = Fill(index, item);
    if (kFault == Fault::MenuTextPastField && filled != 0) {
        // 71 bytes from offset 128 of a 196-byte record.
        volatile size_t length = 71;
        char* field = reinterpret_cast<char*>(item) + offsetof(MenuItemRecord, ShortName);
        for (size_t i = 0; i < length; ++i)
            field[i] = 'x';
        item->ItemFlag = 1;
    }
    if (kFault == Fault::MenuTextBeforeField && filled != 0)
        *reinterpret_cast<char*>(reinterpret_cast<uintptr_t>(item) - 1) = 'x';
    return filled;
}

MELVARA_EXPORT int16_t MelvaraExtensionEnumerate_UTF16(void*, int16_t index,
                                                       MenuItemRecordW* item) {
    const int16_t filled = Fill(index, item);
    if (filled != 0 && kFault == Fault::WideTextUnterminated) {
        for (char16_t& unit : item->Title)
            unit = u'x';
    }
    if (filled != 0 && kFault == Fault::TextsDisagree)
        CopyText(item->Title, "Another Title");
    if (filled != 0 &&
        (kFault == Fault::WideRecordOverrun || kFault == Fault::WideRecordFarOverrun)) {
        volatile size_t length = kFault == Fault::WideRecordOverrun ? 20 : 8000;
        char* past = reinterpret_cast<char*>(item + 1);
        for (size_t i = 0; i < length; ++i)
            past[i] = 'x';
    }
    return filled;
}

MELVARA_EXPORT int MelvaraExtensionInvoke(void* window, int16_t, const void* selection20) {
    using LoadFn = void* (*)(void*, int16_t, int16_t, int16_t, int16_t, uint32_t);
    using FreeFn = void (*)(void*, uint32_t);
    using BoxFn = int (*)(void*, const char16_t*, const char16_t*, unsigned);
    if (kFault == Fault::CrashInInvoke) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (kFault == Fault::CrashOnOlderHost && HostVersion < 0x19000000) {
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
#if !defined(_WIN32)
    if (kFault == Fault::ForksInInvoke && !Invoked && fork() != 0) {
        sleep(2);
        std::_Exit(0);
    }
#endif
    if (kFault == Fault::ExitsInInvoke) {
        std::fputs("first\nsecond\nthird\nfourth\n", stderr);
        std::_Exit(3);
    }
    if (kFault == Fault::EndsAsStackOverrun) {
#if defined(_WIN32)
        TerminateProcess(GetCurrentProcess(), 0xC0000409);  // STATUS_STACK_BUFFER_OVERRUN
#else
        std::abort();  // as glibc's stack check does
#endif
    }
    if (kFault == Fault::InvokeNeverReturns)
        SleepForAnHour();
    if (kFault == Fault::BlocksSignals) {
        using LayersFn = int16_t (*)(uint32_t);
        if (const auto layers = HostFunction<LayersFn>("MX_GetMaxLayers"))
            layers(VersionArgument());
        BlockSignalsAndSleep();
    }
    // Once in a process, however often the module is loaded.
    if ((kFault == Fault::LeavesDaemon || kFault == Fault::HelperHoldsOutput) &&
        std::getenv("MELVARA_TEST_STARTED") == nullptr) {
#if defined(_WIN32)
        _putenv("MELVARA_TEST_STARTED=1");
#else
        setenv("MELVARA_TEST_STARTED", "1", 1);
#endif
        StartProcess(kFault == Fault::LeavesDaemon);
    }
    if (kFault == Fault::StderrWithoutNewline) {
        std::fputs("a line without its end", stderr);
        std::fflush(stderr);
    }
    if (kFault == Fault::HugeStderr) {
        // Lines of 64 bytes, a megabyte at a time.
        static char lines[1 << 20];
        for (size_t at = 0; at < sizeof lines; ++at)
            lines[at] = at % 64 == 63 ? '\n' : 'x';
        for (int i = 0; i < 256; ++i)
            std::fwrite(lines, 1, sizeof lines, stderr);
    }
    if (kFault == Fault::TakesMemoryUntilRefused || kFault == Fault::TakesSharedMemory)
        TakeMemory(kFault == Fault::TakesSharedMemory);
    if (kFault == Fault::TakesMemoryWithoutBound) {
        constexpr size_t kBlock = size_t{64} << 20;
        constexpr size_t kPage = 4096;
        for (;;) {
            volatile char* block = static_cast<char*>(std::malloc(kBlock));
            for (size_t at = 0; at < kBlock; at += kPage)
                block[at] = 1;
        }
    }
    if (kFault == Fault::BoxOfNoStyle) {
        if (const auto box = HostFunction<BoxFn>("MessageBoxW"))
            box(window, u"Done.", u"Foreign Frame Probe", 0x7);
    }
    if (kFault == Fault::WideCharacterBox) {
        // 4-byte characters, as wchar_t is on Linux: "F", 0, 0, 0, "o" ...
        static const char32_t kText[] = U"Done.";
        static const char32_t kCaption[] = U"Foreign Frame Probe";
        if (const auto box = HostFunction<BoxFn>("MessageBoxW"))
            box(window, reinterpret_cast<const char16_t*>(kText),
                reinterpret_cast<const char16_t*>(kCaption), 0);
    }
    if (kFault == Fault::ShowsDoneBox || kFault == Fault::ShowsAnotherBoxText) {
        if (const auto box = HostFunction<BoxFn>("MessageBoxW"))
            box(window, kFault == Fault::ShowsDoneBox ? u"Done." : u"Done!",
                u"Foreign Frame Probe", 0);
    }
    bool answeredNo = false;
    if (kFault == Fault::KeepsFrameOnNo) {
        if (const auto box = HostFunction<BoxFn>("MessageBoxW"))
            answeredNo = box(window, u"Free the frame?", u"Foreign Frame Probe", 0x4) == 7;
    }
    if (kFault == Fault::UnterminatedBoxText) {
        for (char16_t& unit : Unterminated)
            unit = u'x';
        if (const auto box = HostFunction<BoxFn>("MessageBoxW"))
            box(window, Unterminated, u"Foreign Frame Probe", 0);
    }
    // Only this module links to them, as a Windows module does to USER32.
    if constexpr (kFault == Fault::LinksSystemFunctions) {
#if defined(_WIN32)
        if (!IsWindow(static_cast<HWND>(window)))
            MessageBoxW(static_cast<HWND>(window), L"No window.", L"Foreign Frame Probe", 0);
#else
        if (IsWindow(window) == 0)
            MessageBoxW(window, u"No window.", u"Foreign Frame Probe", 0);
#endif
    }
    if (kFault == Fault::OverwritesScore)
        OverwriteScore();
    if (kFault == Fault::CallsHostFromThread)
        JoinThread(StartThread(AskLayers));
    if (kFault == Fault::CallsHostAfterReturn)
        Behind.Start();
    LeaveSomethingBehind();
    Invoked = true;
    if (kFault == Fault::WritesIntoSelection && selection20 != nullptr)
        const_cast<uint8_t*>(static_cast<const uint8_t*>(selection20))[4] ^= 0x01;
    int16_t slot = 1;
    int16_t measure = 1;
    if (selection20 != nullptr) {
        std::memcpy(&slot, static_cast<const char*>(selection20) + 2, sizeof slot);
        std::memcpy(&measure, static_cast<const char*>(selection20) + 4, sizeof measure);
    }
    int16_t layer = 0;
    if (kFault == Fault::ReadsPastSelection && selection20 != nullptr)
        layer = static_cast<const volatile uint8_t*>(selection20)[20];
    if (kFault == Fault::CrashWhenCallFails)
        layer = LayerFromCount();
    if (kFault == Fault::CrashOnNoLayers)
        layer = LayerFromCount(2);
    RewriteDefaults();
    const auto load = HostFunction<LoadFn>("MX_LoadTGF");
    const auto release = HostFunction<FreeFn>("MX_FreeTGF");
    if (load == nullptr || release == nullptr)
        return Answer();
    void* frame = load(nullptr, slot, measure, layer, 0, VersionArgument());
    if (frame == nullptr)
        return Answer();
    if (kFault == Fault::WritesIntoFrame)
        static_cast<uint8_t*>(frame)[6] ^= 0xFF;
    volatile uint8_t seen = 0;
    if (kFault == Fault::ReadsPastFrame) {
        const auto* header = static_cast<const uint8_t*>(frame);
        const uint8_t* entries = nullptr;
        std::memcpy(&entries, header + 14, sizeof entries);
        int16_t count = 0;
        std::memcpy(&count, header + 22, sizeof count);
        seen = count > 0 ? entries[146 * count] : header[24];
    }
    if (kFault == Fault::ForgesResult) {
        PrintForgedResult(true);
        std::_Exit(0);
    }
    const bool keeps = kFault == Fault::FrameNeverFreed || kFault == Fault::ForgesResultAtUnload;
    if (kFault == Fault::FreesFrameLate)
        LateFrame = frame;
    else if (!keeps && !answeredNo)
        release(frame, VersionArgument());
    if (kFault == Fault::FrameFreedTwice)
        release(frame, VersionArgument());
    if (kFault == Fault::ReadsFrameAfterRelease)
        seen = static_cast<const uint8_t*>(frame)[6];
    (void)seen;
    if (kFault == Fault::CrashWhenLastOfManyCallsFails) {
        using ShowFn = int16_t (*)(int16_t, uint32_t);
        if (const auto shown = HostFunction<ShowFn>("MX_GetShowLayer")) {
            for (int i = 0; i < 400; ++i)
                shown(0, VersionArgument());
        }
    }
    if (kFault == Fault::CrashWhenLastCallFails || kFault == Fault::CrashWhenLastOfManyCallsFails)
        LayerFromCount();
    return Answer();
}

MELVARA_EXPORT int MelvaraExtensionGetMenuStatus(void*) {
    return kFault == Fault::MenuStatus0 ? 0 : 1;
}

MELVARA_EXPORT void MelvaraExtensionTerminate(void) {
    using FreeFn = void (*)(void*, uint32_t);
    const auto release = HostFunction<FreeFn>("MX_FreeTGF");
    if (LateFrame != nullptr && release != nullptr)
        release(LateFrame, VersionArgument());
    LateFrame = nullptr;
    if (kFault == Fault::CallsHostInTerminate)
        AskLayers();
}
