// The selection syntax of melvara-sim on any text, over a small score made
// from the first bytes of the input: up to eight measures and up to four
// staves with any slots from 1 to 8 and any scopes.
//
// Properties: nothing crashes; a text that is refused says why; a text that
// is taken gives a selection that SelectionArgument writes as a text that is
// taken again as the same region record (or as none), on the same score: the
// text that the validator's repeat lines give run. (FormatSelection's words
// alone may be cut to the score when read again.)

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/score/Selection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    sim::Score score;
    score.Measures = input.ConsumeIntegralInRange<int16_t>(1, 8);
    const int staves = input.ConsumeIntegralInRange(0, 4);
    for (int i = 0; i < staves; ++i) {
        const auto slot = input.ConsumeIntegralInRange<int16_t>(1, 8);
        const auto scope = input.ConsumeIntegralInRange<uint16_t>(0, 3);
        if (score.FindStaffBySlot(slot) == nullptr)
            score.AddStaff(static_cast<int16_t>(i + 1), slot, scope);
    }
    const std::string text = input.ConsumeRemainingBytesAsString();

    std::string error;
    const std::optional<sim::Selection> selection = sim::ParseSelection(text, score, error);
    if (!selection) {
        if (error.empty())
            std::abort();
        return 0;
    }
    const std::string written = sim::SelectionArgument(*selection, score);
    const std::optional<sim::Selection> again = sim::ParseSelection(written, score, error);
    if (!again || again->Present != selection->Present ||
        std::memcmp(&again->Region, &selection->Region, sizeof selection->Region) != 0) {
        std::abort();
    }
    return 0;
}
