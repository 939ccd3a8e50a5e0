#include "sim/score/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace sim {
namespace {

// A name beside the target that no other writer picks.
std::filesystem::path TemporaryBeside(const std::filesystem::path& path) {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp-%08x%04x%04x", random(),
                  static_cast<unsigned>(now) & 0xFFFF, counter++ & 0xFFFF);
    std::filesystem::path temporary = path;
    temporary += suffix;
    return temporary;
}

// Renames from over to, replacing an existing file.
bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to,
                 std::string& error) {
#if defined(_WIN32)
    // std::filesystem::rename does not replace an existing file with every
    // Windows runtime; MoveFileExW does.
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    error = "cannot replace " + to.string() + " (error " + std::to_string(GetLastError()) + ")";
    return false;
#else
    std::error_code code;
    std::filesystem::rename(from, to, code);
    if (!code)
        return true;
    error = "cannot replace " + to.string() + ": " + code.message();
    return false;
#endif
}

}  // namespace

bool WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                         std::string& error) {
    const std::filesystem::path temporary = TemporaryBeside(path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = "cannot write " + path.string() + ": " + std::strerror(errno);
            return false;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            error = "cannot write " + path.string() + ": " + std::strerror(errno);
            out.close();
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return false;
        }
    }
    if (!ReplaceFile(temporary, path, error)) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::filesystem::path& path, std::string& content, std::string& error) {
    std::error_code code;
    if (std::filesystem::is_directory(path, code)) {
        error = "cannot read " + path.string() + ": it is a directory";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // In one piece when the size is known; a pipe or a device is read to its end.
    content.clear();
    const uintmax_t size = std::filesystem::is_regular_file(path, code)
                               ? std::filesystem::file_size(path, code)
                               : 0;
    if (!code && size > 0) {
        content.resize(static_cast<size_t>(size));
        in.read(content.data(), static_cast<std::streamsize>(size));
        content.resize(static_cast<size_t>(in.gcount()));
    }
    if (!in.eof()) {
        char chunk[1 << 16];
        while (in.read(chunk, sizeof chunk) || in.gcount() > 0)
            content.append(chunk, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        error = "cannot read " + path.string();
        return false;
    }
    return true;
}

}  // namespace sim
