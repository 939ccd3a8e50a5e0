// The host functions by name, and one call into the host with its arguments and result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "contract/MelvaraHostFunctions.h"
#include "sim/score/Tags.h"

namespace sim {

// The functions the host program exports: the thirteen record, region, frame
// and layer functions, and on systems other than Windows the stand-ins for
// the two window functions.
enum class HostFn : uint8_t {
#define HOST_FN(Name) Name,
    MELVARA_HOST_FUNCTIONS(HOST_FN)
#undef HOST_FN
    MessageBoxW,
    IsWindow,
};
constexpr size_t kHostFnCount = MELVARA_HOST_FUNCTION_COUNT + 2;
// The first thirteen are the host's own functions; only they are numbered.
constexpr bool IsRecordedHostFunction(HostFn fn) {
    return fn < HostFn::MessageBoxW;
}

// "MX_LoadKData" ... "MessageBoxW", "IsWindow".
const char* HostFnName(HostFn fn);
std::optional<HostFn> HostFnByName(std::string_view name);

// How a call went.
enum class CallOutcome : uint8_t {
    Done,     // carried out (the result may still say "no such record")
    Failed,   // a control made it fail: failure value, nothing done
    Missing,  // the function is marked missing but was called anyway
};

// One call into the host, with its arguments as passed and what it gave back.
// Only the fields that the function takes are set.
struct HostCall {
    uint64_t Number = 0;  // 1, 2, ... over the thirteen MX_ functions; 0 for the window functions
    HostFn Function = HostFn::LoadKData;
    CallOutcome Outcome = CallOutcome::Done;
    int64_t Result = 0;  // the integer result; 1/0 for a frame handle given or not
    uint32_t Version = 0;

    // Record functions.
    uint32_t Tag = 0;
    bool HasKeys = false;
    Keys KeysIn{};   // as passed
    Keys KeysOut{};  // as left for the caller (NextKData and CreateKData rewrite them)
    bool HasBuffer = false;
    bool HasCount = false;  // LoadKData and NextKData: a count pointer was passed
    uint32_t CountIn = 0;   // LoadKData: *count on entry; Save/CreateKData: count
    uint32_t CountOut = 0;  // LoadKData: *count as left

    // Region, frame, slot and layer functions.
    int16_t Slot = 0;
    uint16_t Scope = 0;
    int16_t Staff = 0;
    int16_t Measure = 0;
    int16_t Layer = 0;
    int16_t Option = 0;
    int16_t Second = 0;            // MX_InstToSlot's second argument
    uint64_t Frame = 0;            // frame id given (LoadTGF) or released (FreeTGF); 0 for none
    const void* Handle = nullptr;  // FreeTGF: the handle passed; boxes: the window

    // Window functions.
    bool HostWindow = false;  // Handle is the window the host gave the module
    size_t Box = 0;           // MessageBoxW: index into Host::Boxes().List()
    std::string Caption;      // MessageBoxW: the caption, UTF-8
};

// One line: "#12 MX_LoadKData('pfTP', {1,0,0,0}, buffer, count 30 -> 30, 0x19000000) = 1".
std::string DescribeCall(const HostCall& call);

}  // namespace sim
