#include "framework/host/HostVersion.h"

uint32_t HostVersion = kInitialHostVersion;
uint32_t MenuHostVersion = 0;
