// What fenced host memory costs: a block taken, written and released, in
// pages of its own (as the host's frames are) and from the heap (as they
// were, and are when no more pages may be mapped), at the sizes of a frame
// of 0, 40 and 400 entries.
#include <benchmark/benchmark.h>

#include <cstring>

#include "contract/MelvaraFrame.h"
#include "sim/host/GuardedMemory.h"

namespace {

void Block(benchmark::State& state, bool pages) {
    sim::GuardedMemory::Limits limits;
    if (!pages)
        limits.MappedBlocks = 0;
    sim::GuardedMemory pool(limits);
    const auto bytes =
        static_cast<size_t>(MELVARA_FRAME_HEADER_BYTES + MELVARA_ENTRY_BYTES * state.range(0));
    for (auto _ : state) {
        uint8_t* block = pool.Allocate(bytes, "frame");
        std::memset(block, 1, bytes);
        benchmark::DoNotOptimize(block);
        pool.Release(block);
    }
    state.SetLabel(std::to_string(bytes) + " bytes");
}

void InPages(benchmark::State& state) {
    Block(state, true);
}

void FromTheHeap(benchmark::State& state) {
    Block(state, false);
}

BENCHMARK(InPages)->Arg(0)->Arg(40)->Arg(400);
BENCHMARK(FromTheHeap)->Arg(0)->Arg(40)->Arg(400);

}  // namespace

BENCHMARK_MAIN();
