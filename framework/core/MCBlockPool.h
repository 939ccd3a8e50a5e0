#pragma once

#include <cstddef>
#include <cstdint>

// Small heap blocks kept for reuse. A walk creates and destroys the same
// objects cell after cell (the cell, its entries and notes, their item
// arrays); taking them from free lists instead of the system's heap saves
// most of the work of the walk's own. The blocks kept never exceed what the
// largest cell held at once, and Trim gives them all back: the walks trim
// when they end, and so does every command. Under AddressSanitizer every
// block goes straight to the system, so that a use after free is caught.
namespace mcpool {

// A block of at least size bytes, aligned as malloc aligns; null when the
// system has no memory, when no block can be that large (above PTRDIFF_MAX
// bytes), or when a test made this allocation fail.
void* Allocate(std::size_t size);
// Gives back a block from Allocate with the same size.
void Free(void* block, std::size_t size);
// Returns every kept block to the system.
void Trim();
// Blocks kept for reuse now.
std::size_t KeptBlocks();
// False under AddressSanitizer, where nothing is kept.
bool Pooling();

namespace detail {
extern uint64_t failures;
}  // namespace detail

// Calls of Allocate so far, and those that gave no block. A walk that sees
// the second count grow has lost an object it needed, and ends.
uint64_t Allocations();
inline uint64_t FailedAllocations() { return detail::failures; }
// For tests: the n-th call of Allocate from now on (1 for the next) gives no
// block, as if the system had no memory left; 0 makes none fail.
void FailAllocation(uint64_t n);

// Tells whether an allocation has failed since it was made.
class FailureWatch {
public:
    FailureWatch() : Start(FailedAllocations()) {}
    bool Failed() const { return FailedAllocations() != Start; }

private:
    uint64_t Start;
};

// Trims when it goes out of scope.
class TrimOnExit {
public:
    TrimOnExit() = default;
    TrimOnExit(const TrimOnExit&) = delete;
    TrimOnExit& operator=(const TrimOnExit&) = delete;
    ~TrimOnExit() { Trim(); }
};

}  // namespace mcpool
