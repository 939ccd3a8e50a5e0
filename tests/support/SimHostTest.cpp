#include "tests/support/SimHostTest.h"

std::vector<sim::HostCall> SimHostTest::CallsOf(sim::HostFn fn) const {
    std::vector<sim::HostCall> calls;
    for (const sim::HostCall& call : Host.Log().Calls()) {
        if (call.Function == fn) calls.push_back(call);
    }
    return calls;
}

sim::TupletDefinition SampleTuplet(uint16_t seed) {
    sim::TupletDefinition t;
    for (size_t i = 0; i < t.HeadWords.size(); ++i) t.HeadWords[i] = static_cast<uint16_t>(seed + i);
    t.OptionBits = static_cast<uint16_t>(seed & 0x000F);
    t.Position1 = static_cast<uint16_t>(seed * 3);
    t.Position2 = static_cast<uint16_t>(seed * 5);
    t.Value1 = static_cast<uint16_t>(seed + 100);
    t.Value2 = static_cast<uint16_t>(seed + 200);
    t.Flags = static_cast<uint16_t>(0x0201 | ((seed & 3) << 4));
    t.Value3 = static_cast<uint16_t>(seed + 300);
    t.Value4 = static_cast<uint16_t>(seed + 400);
    t.Value5 = static_cast<uint16_t>(seed + 500);
    t.Value6 = static_cast<uint16_t>(seed + 600);
    t.Value7 = static_cast<uint16_t>(seed + 700);
    return t;
}
