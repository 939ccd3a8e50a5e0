#include "framework/core/MCString.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

uint64_t GrowthStep(uint64_t capacity) {
    if (capacity > 10000) return 1000;
    if (capacity > 1000) return 100;
    return 10;
}

}  // namespace

MCString::MCString() { MakeEmpty(); }

MCString::~MCString() {
    std::free(Text);
    Text = nullptr;
    Capacity = 0;
    Length = 0;
    std::free(Narrow);
    std::free(Scratch);
}

const char* MCString::ClassName() const { return "MCString"; }

bool MCString::EnsureCapacity(uint64_t n) {
    if (Capacity > n && Capacity - n > 1) return true;

    const uint64_t step = GrowthStep(Capacity);
    // The smallest multiple of the step above n; an impossible size fails
    // the allocation rather than wrapping.
    if (n > std::numeric_limits<uint64_t>::max() - step) return false;
    const uint64_t units = step * ((n + step) / step);
    if (units > std::numeric_limits<size_t>::max() / sizeof(char16_t)) return false;

    auto* block = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
    if (block == nullptr) return false;
    if (Text != nullptr && Length > 0) std::memcpy(block, Text, Length * sizeof(char16_t));
    std::free(Text);
    Text = block;
    Capacity = units;
    return true;
}

void MCString::MakeEmpty() {
    if (!EnsureCapacity(0)) return;
    Text[0] = 0;
    Length = 0;
}

bool MCString::SetCString(const char* text) {
    if (text == nullptr) {
        std::free(Text);
        Text = nullptr;
        Capacity = 0;
        Length = 0;
        return true;
    }
    const uint64_t n = std::strlen(text);
    if (!EnsureCapacity(n)) return false;
    for (uint64_t i = 0; i < n; ++i) {
        Text[i] = static_cast<char16_t>(static_cast<int16_t>(static_cast<signed char>(text[i])));
    }
    Text[n] = 0;
    Length = n;
    return true;
}

bool MCString::SetString(const MCString& other) {
    if (&other == this) return true;
    MakeEmpty();
    if (Text == nullptr) return false;
    if (other.Length == 0) return true;
    if (!EnsureCapacity(other.Length + 1)) return false;
    std::memcpy(Text, other.Text, (other.Length + 1) * sizeof(char16_t));
    Length = other.Length;
    return true;
}
