#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/core/MCBase.h"

// One 8-bit character as a UTF-16 unit: widened as a signed char, so that
// bytes 0x80 to 0xFF become 0xFF80 to 0xFFFF; no code page.
constexpr char16_t WidenChar(char c) {
    return static_cast<char16_t>(static_cast<int16_t>(static_cast<signed char>(c)));
}

// An 8-bit literal widened unit by unit at compile time, as SetCString
// widens it: a text at hand without an allocation.
template <std::size_t N>
struct WideLiteral {
    constexpr WideLiteral(const char (&text)[N]) : Units{} {
        for (std::size_t i = 0; i < N; ++i) Units[i] = WidenChar(text[i]);
    }
    char16_t Units[N];
};

// UTF-16 text, zero-terminated, in a block the string owns (from the block
// pool, core/MCBlockPool.h). Text enters from 8-bit literals (one unit per
// byte, no code page) or from another string.
class MCString : public __MCBase {
public:
    // Empty, with a block of 10 units already allocated.
    MCString();
    ~MCString() override;
    const char* ClassName() const override;

    // Makes room for n units plus the terminator. Grows in steps of 10, 100
    // or 1000 units, chosen by the capacity already reached. False, with the
    // string unchanged, when the block cannot be allocated; a size beyond any
    // block asks the pool for the largest, which fails (and counts as failed).
    bool EnsureCapacity(uint64_t n);
    // Copies an 8-bit text, each byte widened as a signed char; null frees
    // the block. False when the block cannot be allocated (text unchanged).
    bool SetCString(const char* text);
    // Copies another string whole; false when the block cannot be allocated.
    bool SetString(const MCString& other);

    const char16_t* GetText() const { return Text; }
    uint64_t GetLength() const { return Length; }
    uint64_t GetCapacity() const { return Capacity; }

private:
    void MakeEmpty();

    uint64_t Length = 0;
    uint64_t Capacity = 0;
    char16_t* Text = nullptr;
    // Two byte buffers of the framework's string that nothing here fills.
    uint8_t* Narrow = nullptr;
    uint8_t* Scratch = nullptr;
};
