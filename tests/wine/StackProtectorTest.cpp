// stack_protector_test MODE: the stack protector and checked copies of the
// Windows builds, in a program built with the module's flags.
//   guard    prints the stack guard, in hex
//   smash    writes past the end of a local array: the process must end
//   fortify  copies a string past the end of an array of known size: the
//            same
// After an overrun that was not stopped it prints so and returns 1.
#include <cstdint>
#include <cstdio>
#include <cstring>

extern "C" uintptr_t __stack_chk_guard;

namespace {

__attribute__((noinline)) void Smash(size_t count) {
    char buffer[16];
    // Through a volatile pointer, so that the compiler cannot see it coming.
    volatile char* bytes = buffer;
    for (size_t i = 0; i < count; ++i)
        bytes[i] = 'x';
}

// Past the first array but inside the record: the guard stays whole, only
// the checked copy can see it.
__attribute__((noinline)) void Overflow(const char* text) {
    struct {
        char first[8];
        char rest[56];
    } record;
    std::strcpy(record.first, text);
    std::printf("%c%c\n", record.first[0], record.rest[0]);
}

}  // namespace

int main(int argc, char** argv) {
    const char* mode = argc == 2 ? argv[1] : "";
    // Sizes the compiler does not know: argc is 2 here.
    const size_t past = 32 * static_cast<size_t>(argc);
    if (std::strcmp(mode, "guard") == 0) {
        std::printf("%016llx\n", static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    if (std::strcmp(mode, "smash") == 0) {
        Smash(past);
    } else if (std::strcmp(mode, "fortify") == 0) {
        char text[32] = {};
        std::memset(text, 'x', past / 4);
        Overflow(text);
    } else {
        std::fprintf(stderr, "usage: stack_protector_test guard|smash|fortify\n");
        return 2;
    }
    std::printf("the overrun was not stopped\n");
    return 1;
}
