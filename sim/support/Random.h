// A random source that gives the same numbers from the same seed everywhere.
#pragma once

#include <cstdint>

namespace sim {

// SplitMix64: the same numbers from the same seed on every system and
// standard library (the standard distributions are not portable).
class Random {
  public:
    explicit Random(uint64_t seed) : State(seed) {}
    // The state to go on from later (a Random made from it).
    uint64_t Save() const { return State; }

    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 to n - 1.
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    uint16_t Word() { return static_cast<uint16_t>(Next() >> 48); }
    // True with probability p.
    bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }

  private:
    uint64_t State;
};

}  // namespace sim
