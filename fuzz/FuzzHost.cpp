#include "fuzz/FuzzHost.h"

#include <cstdio>
#include <cstdlib>

#include "framework/host/HostVersion.h"

namespace fuzz {

void Fail(const std::string& what) {
    std::fprintf(stderr, "\n*** property broken: %s\n", what.c_str());
    std::fflush(stderr);
    __builtin_trap();
}

HostBinding::HostBinding(sim::Host& host, uint32_t hostVersion) : SimHostBinding(host) {
    HostVersion = hostVersion;
    MenuHostVersion = hostVersion;
}

bool HasModuleWarnings(const sim::Host& host, std::string* first) {
    for (const std::string& warning : host.Monitor().Warnings()) {
        if (warning.rfind("MX_SlotToInst asked for slot", 0) == 0) continue;
        if (first != nullptr) *first = warning;
        return true;
    }
    return false;
}

}  // namespace fuzz
