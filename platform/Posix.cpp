#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "contract/MelvaraHostFunctions.h"
#include "platform/Platform.h"

namespace platform {
namespace {

template <typename Fn>
Fn FindHostExport(const char* name) {
    void* program = dlopen(nullptr, RTLD_LAZY);
    if (program == nullptr) return nullptr;
    void* address = dlsym(program, name);
    dlclose(program);
    Fn fn;
    static_assert(sizeof fn == sizeof address);
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

void PutUtf8(char32_t c, std::FILE* out) {
    if (c < 0x80) {
        std::fputc(static_cast<int>(c), out);
    } else if (c < 0x800) {
        std::fputc(static_cast<int>(0xC0 | (c >> 6)), out);
        std::fputc(static_cast<int>(0x80 | (c & 0x3F)), out);
    } else if (c < 0x10000) {
        std::fputc(static_cast<int>(0xE0 | (c >> 12)), out);
        std::fputc(static_cast<int>(0x80 | ((c >> 6) & 0x3F)), out);
        std::fputc(static_cast<int>(0x80 | (c & 0x3F)), out);
    } else {
        std::fputc(static_cast<int>(0xF0 | (c >> 18)), out);
        std::fputc(static_cast<int>(0x80 | ((c >> 12) & 0x3F)), out);
        std::fputc(static_cast<int>(0x80 | ((c >> 6) & 0x3F)), out);
        std::fputc(static_cast<int>(0x80 | (c & 0x3F)), out);
    }
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
void PutUtf16(const char16_t* text, std::FILE* out) {
    if (text == nullptr) return;
    for (const char16_t* p = text; *p != 0; ++p) {
        char32_t c = *p;
        if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        PutUtf8(c, out);
    }
}

}  // namespace

ModuleHandle GetModuleHandleA(const char* name) {
    if (name == nullptr || std::strcmp(name, MELVARA_HOST_PROGRAM) != 0) return nullptr;
    // The main program's handle; like the Windows call, it is never released.
    return dlopen(nullptr, RTLD_LAZY);
}

void* GetProcAddress(ModuleHandle module, const char* name) {
    if (name == nullptr) return nullptr;
    return dlsym(module != nullptr ? module : RTLD_DEFAULT, name);
}

int MessageBoxW(WindowHandle window, const char16_t* text, const char16_t* caption,
                unsigned style) {
    if (auto box = FindHostExport<MelvaraMessageBoxWFn>("MessageBoxW")) {
        return box(window, text, caption, style);
    }
    PutUtf16(caption, stderr);
    std::fputs(": ", stderr);
    PutUtf16(text, stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return 0;
}

bool IsWindow(WindowHandle window) {
    if (auto isWindow = FindHostExport<MelvaraIsWindowFn>("IsWindow")) return isWindow(window) != 0;
    return window != nullptr;
}

}  // namespace platform
