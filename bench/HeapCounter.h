#pragma once

#include <cstdint>

// Counts the heap of the benchmark program: malloc and its relatives (and so
// operator new) are replaced in this binary. While counting, every block is
// put down to the module or to the host, by whether a host call is running
// (benchplatform::InHost); the figures are bytes as malloc_usable_size gives
// them, from the start of the count.
namespace heapcounter {

struct Figures {
    int64_t ModulePeak = 0;         // most module bytes live at once
    int64_t ModuleAllocations = 0;  // module blocks allocated
    int64_t HostPeak = 0;
    int64_t HostAllocations = 0;
};

// False when the program was built without the counter (under sanitizers,
// which replace malloc themselves).
bool Available();
void Start();
Figures Stop();

}  // namespace heapcounter
