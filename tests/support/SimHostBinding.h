#pragma once

#include "sim/host/Host.h"
#include "sim/host/HostExports.h"

// Binds the framework, through the test platform layer, to a simulated host
// for the life of the object: the host program is found as "MELVARA.EXE",
// its functions by name (or the replacements given), and message boxes go
// to the host. The binding's cached addresses and the host version are
// fresh at both ends.
class SimHostBinding {
public:
    explicit SimHostBinding(sim::Host& host);
    ~SimHostBinding();
    SimHostBinding(const SimHostBinding&) = delete;
    SimHostBinding& operator=(const SimHostBinding&) = delete;

    // Answers GetProcAddress for name with address instead of the host's
    // function (null: the function is missing), from the next call on.
    void Replace(const char* name, void* address);
    // Makes a host function missing, as if the host did not export it.
    void MakeMissing(sim::HostFn fn);

private:
    sim::Host& Host;
    sim::CurrentHostScope Scope;
};
