#pragma once

// The platform layer of the benchmarks and of the floor's test: the module
// finds the host functions of the current sim::Host by name, in process,
// and its message boxes are answered as a user pressing Enter would.
namespace benchplatform {

// What GetProcAddress answers for a host function's name: the simulated
// host's export, or, while host calls are tracked, a wrapper of it that
// marks the time spent inside the host.
void* FindHostFunction(const char* name);

// While on, FindHostFunction hands out the marking wrappers (the heap
// counter tells the host's allocations from the module's by them). The
// module's binding must be made to look its functions up again
// (host::ForgetBinding) after a change.
void SetTrackHostCalls(bool on);
// True while a call into the host is running (only when tracked).
bool InHost();

// Message boxes (and IsWindow) go to the current sim::Host, which records
// them like its other calls; off (the default), they are answered here with
// the box's default button, leaving no record.
void SetBoxesGoToHost(bool on);

}  // namespace benchplatform
