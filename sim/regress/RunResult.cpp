// Run results as lines: "event" and "title" lines of a run, then its "run" line.
#include "sim/regress/RunResult.h"

#include <cstdio>
#include <cstdlib>

#include "sim/support/Text.h"

namespace sim {
namespace {

std::vector<std::string> Fields(const std::string& line, size_t most) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t tab = fields.size() + 1 == most ? std::string::npos : line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::string Hex64(uint64_t value) {
    char text[20];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool ReadHex64(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 16)
        return false;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 16);
    return end == text.c_str() + text.size();
}

bool ReadSize(const std::string& text, size_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = static_cast<size_t>(std::strtoull(text.c_str(), nullptr, 10));
    return true;
}

}  // namespace

RunResult RunResult::Of(const EventTrace& trace) {
    RunResult result;
    result.Events = trace.Count();
    result.Digest = trace.Digest();
    result.Checkpoints = trace.Checkpoints();
    result.Window = trace.Kept();
    return result;
}

std::string ResultLines(size_t run, const RunResult& result) {
    const std::string number = std::to_string(run);
    std::string lines;
    for (const auto& [position, event] : result.Window)
        lines +=
            "event\t" + number + "\t" + std::to_string(position) + "\t" + event.Serialize() + "\n";
    for (const MenuTitle& title : result.Menu) {
        std::string text;
        for (const char c : title.Title)
            text += c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
        lines += "title\t" + number + "\t" + std::to_string(title.Index) + "\t" + text + "\n";
    }
    std::string checkpoints;
    for (const uint64_t mark : result.Checkpoints)
        checkpoints += (checkpoints.empty() ? "" : ",") + Hex64(mark);
    lines += "run\t" + number + "\t" + std::to_string(result.Events) + "\t" + Hex64(result.Digest) +
             "\t" + std::to_string(result.Calls) + "\t" + std::to_string(result.Offered) + "\t" +
             checkpoints + "\n";
    return lines;
}

std::string FaultEndLine() {
    return "ended\tfault\n";
}

std::map<size_t, RunResult> ReadResults(const std::string& text, bool* faulted) {
    std::map<size_t, RunResult> done;
    if (faulted != nullptr)
        *faulted = text.rfind(FaultEndLine(), 0) == 0 ||
                   text.find("\n" + FaultEndLine()) != std::string::npos;
    std::map<size_t, RunResult> pending;
    // Only lines that end: the last one may have been cut short.
    const size_t end = text.rfind('\n');
    if (end == std::string::npos)
        return done;
    for (const std::string& line : SplitLines(text.substr(0, end + 1))) {
        const std::string kind = line.substr(0, line.find('\t'));
        size_t run = 0;
        if (kind == "event") {
            const std::vector<std::string> fields = Fields(line, 4);
            size_t position = 0;
            if (fields.size() == 4 && ReadSize(fields[1], run) && ReadSize(fields[2], position)) {
                if (std::optional<Event> event = Event::Parse(fields[3]))
                    pending[run].Window.emplace_back(position, std::move(*event));
            }
        } else if (kind == "title") {
            const std::vector<std::string> fields = Fields(line, 4);
            int64_t index = 0;
            if (fields.size() == 4 && ReadSize(fields[1], run)) {
                index = std::strtoll(fields[2].c_str(), nullptr, 10);
                pending[run].Menu.push_back({static_cast<int16_t>(index), fields[3]});
            }
        } else if (kind == "run") {
            const std::vector<std::string> fields = Fields(line, 7);
            RunResult result;
            size_t calls = 0;
            size_t offered = 0;
            if (fields.size() != 7 || !ReadSize(fields[1], run) ||
                !ReadSize(fields[2], result.Events) || !ReadHex64(fields[3], result.Digest) ||
                !ReadSize(fields[4], calls) || !ReadSize(fields[5], offered)) {
                continue;
            }
            if (const auto found = pending.find(run); found != pending.end()) {
                result.Window = std::move(found->second.Window);
                result.Menu = std::move(found->second.Menu);
            }
            result.Calls = calls;
            result.Offered = static_cast<unsigned>(offered);
            if (!fields[6].empty()) {
                for (size_t start = 0;;) {
                    const size_t comma = fields[6].find(',', start);
                    uint64_t mark = 0;
                    if (ReadHex64(fields[6].substr(start, comma - start), mark))
                        result.Checkpoints.push_back(mark);
                    if (comma == std::string::npos)
                        break;
                    start = comma + 1;
                }
            }
            pending.erase(run);
            done[run] = std::move(result);
        }
    }
    return done;
}

std::string TimeLine(size_t command, bool newBuild, double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", seconds);
    return "time\t" + std::to_string(command) + "\t" + (newBuild ? "new" : "old") + "\t" + text +
           "\n";
}

SpeedTimes ReadTimes(const std::string& text) {
    SpeedTimes times;
    for (const std::string& line : SplitLines(text)) {
        const std::vector<std::string> fields = Fields(line, 4);
        size_t command = 0;
        if (fields.size() != 4 || fields[0] != "time" || !ReadSize(fields[1], command))
            continue;
        const double seconds = std::strtod(fields[3].c_str(), nullptr);
        (fields[2] == "new" ? times.New : times.Old)[command].push_back(seconds);
    }
    return times;
}

}  // namespace sim
