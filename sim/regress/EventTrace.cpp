// A run's events digested in order (FNV-1a over each event's canonical line), a window kept.
#include "sim/regress/EventTrace.h"

namespace sim {
namespace {

constexpr uint64_t kFnvPrime = 0x100000001B3ull;

}  // namespace

void EventTrace::Add(const Event& event) {
    const std::string line = event.Canonical();
    for (const char c : line)
        Hash = (Hash ^ static_cast<unsigned char>(c)) * kFnvPrime;
    Hash = (Hash ^ static_cast<unsigned char>('\n')) * kFnvPrime;
    if (Events >= WindowFrom && Events < WindowTo)
        Window.emplace_back(Events, event);
    ++Events;
    if (Events % kCheckpointEvents == 0)
        Marks.push_back(Hash);
}

}  // namespace sim
