// What the host sees a module do in a run of regress, as events.
#pragma once

#include <cstdint>
#include <string>

#include "contract/MelvaraExports.h"
#include "contract/MelvaraRegion.h"
#include "sim/regress/Event.h"

namespace sim {

class Host;
struct HostCall;
struct FrameCounts;
struct ModuleFault;

// A call into the host with its arguments, its result and how it went; for
// a record the host read or wrote, its bytes as they passed; for a message
// box its window, texts, style and answer.
Event CallEvent(const Host& host, const HostCall& call);

// The calls into the module, and what the host holds after them.
Event VersionEvent(uint32_t hostVersion, uint32_t answer);
Event InitEvent(int result, uint32_t word);
Event MenuRecordEvent(int16_t index, int16_t answer, const MenuItemRecord& record);
Event MenuRecordEvent(int16_t index, int16_t answer, const MenuItemRecordW& record);
Event MenuStatusEvent(int result);
Event InvokeEvent(int result);
Event FramesEvent(const FrameCounts& counts);
Event SelectionWrittenEvent(const RegionRecord& region);
// A frame error, a frame written into, a fault inside a host function: the
// host's own words.
Event HostReportEvent(const std::string& kind, const std::string& what);

// The module crashed, did not return or ran out of memory: the export and
// the cause, without the addresses in it.
Event FaultEvent(const ModuleFault& fault);
// The module did not load; its path is left out of the error, which both
// builds must give alike.
Event LoadFailedEvent(const std::string& error, const std::string& modulePath);
// The command of the run is not in this build's menu at the host version.
Event NotInMenuEvent(const std::string& title, uint32_t hostVersion);

// A crash's cause without addresses: "SIGSEGV (invalid memory access at
// 0x18)" is "SIGSEGV (invalid memory access)", "exception 0xC0000005 (access
// violation writing 0x0)" is "exception 0xC0000005 (access violation
// writing)".
std::string WithoutAddresses(const std::string& cause);

}  // namespace sim
