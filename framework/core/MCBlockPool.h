#pragma once

#include <cstddef>

// Small heap blocks kept for reuse. A walk creates and destroys the same
// objects cell after cell (the cell, its entries and notes, their item
// arrays); taking them from free lists instead of the system's heap saves
// most of the work of the walk's own. The blocks kept never exceed what the
// largest cell held at once, and Trim gives them all back: the walks trim
// when they end, and so does every command. Under AddressSanitizer every
// block goes straight to the system, so that a use after free is caught.
namespace mcpool {

// A block of at least size bytes, aligned as malloc aligns; null when the
// system has no memory.
void* Allocate(std::size_t size);
// Gives back a block from Allocate with the same size.
void Free(void* block, std::size_t size);
// Returns every kept block to the system.
void Trim();
// Blocks kept for reuse now.
std::size_t KeptBlocks();
// False under AddressSanitizer, where nothing is kept.
bool Pooling();

// Trims when it goes out of scope.
class TrimOnExit {
public:
    TrimOnExit() = default;
    TrimOnExit(const TrimOnExit&) = delete;
    TrimOnExit& operator=(const TrimOnExit&) = delete;
    ~TrimOnExit() { Trim(); }
};

}  // namespace mcpool
