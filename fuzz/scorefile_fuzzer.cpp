// The score file reader on any text.
//
// Properties: nothing crashes, recurses without bound or takes memory out of
// measure with the text; a text that is refused is refused with the file's
// name, a line within the text and a problem; a text that loads gives a
// score that is written as a text that loads back as the same score, and
// that is written again unchanged.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sim/score/ScoreFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    sim::Score score;
    try {
        score = sim::ParseScore(text, "fuzz.json");
    } catch (const sim::ScoreFileError& e) {
        const auto lines = 1 + std::count(text.begin(), text.end(), '\n');
        if (e.File != "fuzz.json" || e.Line < 1 || e.Line > lines || e.Problem.empty())
            std::abort();
        return 0;
    }
    const std::string written = sim::FormatScore(score);
    // An error here escapes as an uncaught exception: a finding.
    const sim::Score again = sim::ParseScore(written, "written.json");
    if (!(again == score) || sim::FormatScore(again) != written)
        std::abort();
    return 0;
}
