#pragma once

#include <cstdint>

// The host's version as MelvaraExtensionVersion last received it. HostVersion
// gates rows of the versioned field maps; MenuHostVersion gates the third
// menu command. Plain values: the host never calls the module concurrently.
extern uint32_t HostVersion;
extern uint32_t MenuHostVersion;

constexpr uint32_t kInitialHostVersion = 0x19000000;
