#include "framework/core/MCString.h"

#include <cstdlib>
#include <cstring>
#include <limits>

#include "framework/core/MCBlockPool.h"

namespace {

uint64_t GrowthStep(uint64_t capacity) {
    if (capacity > 10000) return 1000;
    if (capacity > 1000) return 100;
    return 10;
}

size_t BlockBytes(uint64_t units) { return static_cast<size_t>(units) * sizeof(char16_t); }

}  // namespace

MCString::MCString() { MakeEmpty(); }

MCString::~MCString() {
    mcpool::Free(Text, BlockBytes(Capacity));
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
    // The smallest multiple of the step above n. A size whose bytes would
    // wrap asks for the largest block there is, so that the allocation fails.
    constexpr uint64_t kMostUnits = std::numeric_limits<size_t>::max() / sizeof(char16_t);
    const bool fits = n < kMostUnits - step;
    const uint64_t units = fits ? step * ((n + step) / step) : kMostUnits;
    const size_t bytes = fits ? BlockBytes(units) : std::numeric_limits<size_t>::max();

    auto* block = static_cast<char16_t*>(mcpool::Allocate(bytes));
    if (block == nullptr) return false;
    if (Text != nullptr && Length > 0) std::memcpy(block, Text, Length * sizeof(char16_t));
    mcpool::Free(Text, BlockBytes(Capacity));
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
        mcpool::Free(Text, BlockBytes(Capacity));
        Text = nullptr;
        Capacity = 0;
        Length = 0;
        return true;
    }
    const uint64_t n = std::strlen(text);
    if (!EnsureCapacity(n)) return false;
    for (uint64_t i = 0; i < n; ++i) Text[i] = WidenChar(text[i]);
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
