#pragma once

// The checks of the test programs that run under Wine (no test framework is
// built for Windows): one line per check, "ok: ..." or "FAIL: ...: detail",
// and the number of failures as the exit status.
#include <cstdio>
#include <string>

namespace wine_check {

inline int Failures = 0;

inline bool Check(bool ok, const std::string& what, const std::string& detail = {}) {
    if (ok) {
        std::printf("ok: %s\n", what.c_str());
    } else {
        std::printf("FAIL: %s%s%s\n", what.c_str(), detail.empty() ? "" : ": ", detail.c_str());
        ++Failures;
    }
    return ok;
}

// Prints the count and gives the exit status.
inline int Finish() {
    std::printf("%d check(s) failed\n", Failures);
    std::fflush(stdout);
    return Failures;
}

}  // namespace wine_check
