// The system's part of AtomicFile on Windows: a file handle, MoveFileExW, a console handler.
#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cwchar>

#include "sim/support/AtomicFile.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t Pending = 0;
wchar_t PendingPath[32768];

// Ctrl+C, Ctrl+Break, closing the console: runs on a thread of its own while
// the file is open, which FILE_SHARE_DELETE allows to delete.
BOOL WINAPI RemovePendingOnStop(DWORD) {
    if (Pending != 0)
        DeleteFileW(PendingPath);
    return FALSE;  // the next handler ends the program
}

}  // namespace

void AtomicFile::Arm(const fs::path& temporary) {
    const std::wstring text = temporary.wstring();
    if (text.size() >= sizeof PendingPath / sizeof PendingPath[0])
        return;
    std::wmemcpy(PendingPath, text.c_str(), text.size() + 1);
    Pending = 1;
    SetConsoleCtrlHandler(RemovePendingOnStop, TRUE);
}

void AtomicFile::Disarm() {
    if (Pending == 0)
        return;
    Pending = 0;
    SetConsoleCtrlHandler(RemovePendingOnStop, FALSE);
}

std::string AtomicFile::SystemError() {
    return "error " + std::to_string(GetLastError());
}

intptr_t AtomicFile::CreateTemporary(const fs::path& temporary, const fs::path&) {
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? kNoHandle : reinterpret_cast<intptr_t>(file);
}

bool AtomicFile::WriteAll(intptr_t handle, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle), data, chunk, &written, nullptr))
            return false;
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

bool AtomicFile::CloseTemporary(intptr_t handle) {
    return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != 0;
}

bool AtomicFile::MoveOver(const fs::path& from, const fs::path& to, std::string& reason) {
    // std::filesystem::rename does not replace an existing file with every
    // Windows runtime; MoveFileExW does.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    reason = SystemError();
    return false;
}

int AtomicFile::DescriptorOf(const fs::path&) {
    return -1;  // only "-", standard output
}

intptr_t AtomicFile::OpenStream(Kind, int, const fs::path&, std::string& reason) {
    HANDLE copy = nullptr;
    const HANDLE process = GetCurrentProcess();
    if (!DuplicateHandle(process, GetStdHandle(STD_OUTPUT_HANDLE), process, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
        reason = SystemError();
        return kNoHandle;
    }
    return reinterpret_cast<intptr_t>(copy);
}

bool AtomicFile::ReadPipe(const fs::path& path, std::string&, size_t, std::string& error) {
    error = "cannot read " + path.string() + ": it is a pipe, not a file to read";
    return false;
}

// NUL, CON, COM1 ... (in any folder) and the devices that a Unix path names
// under Wine are not files, whatever the runtime's status says of them.
bool AtomicFile::IsDevice(const fs::path& path) {
    HANDLE handle =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const DWORD type = GetFileType(handle);
    ::CloseHandle(handle);
    return type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE;
}

// The permissions the runtime reports are all there is to go by.
bool AtomicFile::MayWrite(const fs::path&) {
    return true;
}

bool AtomicFile::MayCreateIn(const fs::path&) {
    return true;
}

}  // namespace sim
