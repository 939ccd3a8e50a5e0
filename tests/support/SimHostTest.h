#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "framework/host/HostVersion.h"
#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "tests/support/SimHostBinding.h"
#include "tests/support/TestPlatform.h"

// Fixture of the unit tests that talk to a host: the framework bound in
// process to a simulated host with an empty score, through the test
// platform layer. Message boxes go to the simulated host.
class SimHostTest : public ::testing::Test {
protected:

    sim::Score& Score() { return Host.GetScore(); }

    // The calls made so far of one host function, or of all.
    std::vector<sim::HostCall> CallsOf(sim::HostFn fn) const;
    size_t CountOf(sim::HostFn fn) const { return CallsOf(fn).size(); }
    const std::vector<sim::HostCall>& Calls() const { return Host.Log().Calls(); }
    // Starts counting anew (after a set-up phase).
    void ForgetCalls() { Host.Log().ClearCalls(); }

    // Makes a host function missing, as if the host did not export it. The
    // binding forgets what it cached, so that the next call looks again.
    void MakeMissing(sim::HostFn fn) { Binding.MakeMissing(fn); }
    // Answers GetProcAddress for name with address instead of the host's.
    void ReplaceFunction(const char* name, void* address) { Binding.Replace(name, address); }

    sim::Host Host;

private:
    SimHostBinding Binding{Host};
};

// A tuplet definition with every word set from a seed, for tests that need
// distinct tuplets.
sim::TupletDefinition SampleTuplet(uint16_t seed);
