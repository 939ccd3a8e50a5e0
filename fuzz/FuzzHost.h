#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"
#include "tests/support/SimHostBinding.h"

// What every fuzz target shares: the framework bound in process to a
// simulated host through the test platform layer, host functions replaced by
// the target's own, and the way a broken property is reported.
namespace fuzz {

// Prints what broke and traps, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// The framework bound to the host for the life of the object, the host
// version starting at hostVersion.
class HostBinding : public SimHostBinding {
public:
    explicit HostBinding(sim::Host& host, uint32_t hostVersion = 0x19000000);
};

// Warnings of the host that mean the module called it wrongly. A slot asked
// for with another scope than its staff's is the region's doing, not the
// module's, and is allowed.
bool HasModuleWarnings(const sim::Host& host, std::string* first = nullptr);

}  // namespace fuzz
