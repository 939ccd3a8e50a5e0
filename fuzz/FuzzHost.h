#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "sim/Host.h"
#include "sim/HostExports.h"

// What every fuzz target shares: the framework bound in process to a
// simulated host through the test platform layer, host functions replaced by
// the target's own, and the way a broken property is reported.
namespace fuzz {

// Prints what broke and traps, so that libFuzzer keeps the input.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool holds, const char* what) {
    if (!holds) Fail(what);
}

// Binds the framework to the host for the life of the object: module and
// function lookups answered with the host's functions or with replacements,
// message boxes recorded by the host, cached addresses forgotten on both
// ends. The host version starts at hostVersion.
class HostBinding {
public:
    HostBinding(sim::Host& host, uint32_t hostVersion = 0x19000000);
    ~HostBinding();
    HostBinding(const HostBinding&) = delete;
    HostBinding& operator=(const HostBinding&) = delete;

    // Answers GetProcAddress for name with address instead of the host's.
    void Replace(const char* name, void* address);

private:
    sim::CurrentHostScope Scope;
};

// Warnings of the host that mean the module called it wrongly. A slot asked
// for with another scope than its staff's is the region's doing, not the
// module's, and is allowed.
bool HasModuleWarnings(const sim::Host& host, std::string* first = nullptr);

}  // namespace fuzz
