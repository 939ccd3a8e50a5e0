// The step melvara-sim is at, kept without allocating, and the out-of-memory message.
#include "sim/cli/Activity.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "sim/support/ProgramName.h"

namespace sim {
namespace {

char Current[512] = "starting";

}  // namespace

void SetActivity(std::string_view what, std::string_view object) {
    size_t at = 0;
    const auto append = [&](std::string_view text) {
        const size_t size = std::min(text.size(), sizeof Current - 1 - at);
        if (size > 0)
            std::memcpy(Current + at, text.data(), size);
        at += size;
    };
    append(what);
    if (!object.empty()) {
        append(" ");
        append(object);
    }
    Current[at] = 0;
}

int ExitOnOutOfMemory(std::ostream& err, int status, const std::function<int()>& command) {
    SetActivity("starting");
    try {
        return command();
    } catch (const std::bad_alloc&) {
        err << ProgramName() << ": out of memory while " << Current << "\n";
        err.flush();
        return status;
    }
}

}  // namespace sim
