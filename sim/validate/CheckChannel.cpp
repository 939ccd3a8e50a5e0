// The messages of a check's process to the validator: written, and read back with their key.
#include "sim/validate/CheckChannel.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>

#include "sim/support/Quoting.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

// A line longer than this is no message of a check.
constexpr size_t kMessageBytes = size_t{1} << 20;
// Of a line without the key, what a reason quotes.
constexpr size_t kForeignQuoted = 120;
// Between the words of a field (the repeat's arguments).
constexpr char kWordSeparator = '\x1f';

std::string Join(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) {
        if (&word != &words.front())
            joined += kWordSeparator;
        joined += word;
    }
    return joined;
}

std::vector<std::string> Split(const std::string& field) {
    std::vector<std::string> words;
    for (size_t start = 0; !field.empty() && start <= field.size();) {
        const size_t end = std::min(field.find(kWordSeparator, start), field.size());
        words.push_back(field.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::optional<RunRepeat> RepeatFrom(const std::string& score, const std::string& arguments) {
    if (score.empty())
        return std::nullopt;
    return RunRepeat{Split(UnescapedField(score)), Split(UnescapedField(arguments))};
}

Verdict VerdictFrom(const std::string& name) {
    return name == "PASS"   ? Verdict::Pass
           : name == "WARN" ? Verdict::Warn
           : name == "SKIP" ? Verdict::Skip
                            : Verdict::Fail;
}

}  // namespace

std::vector<CheckMessage> CheckMessageReader::Feed(std::string_view bytes) {
    std::vector<CheckMessage> messages;
    while (!bytes.empty()) {
        const size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (!Overlong && Partial.size() + piece.size() > kMessageBytes) {
            Overlong = true;
            CheckMessage foreign;
            foreign.Text =
                (Partial + std::string(piece.substr(0, kForeignQuoted))).substr(0, kForeignQuoted) +
                "... (a line of over 1 MB)";
            messages.push_back(std::move(foreign));
            Partial.clear();
        } else if (!Overlong) {
            Partial.append(piece);
        }
        if (end == std::string_view::npos)
            break;
        if (!Overlong)
            messages.push_back(Parse(Partial));
        Partial.clear();
        Overlong = false;
        bytes.remove_prefix(end + 1);
    }
    return messages;
}

CheckMessage CheckMessageReader::Parse(const std::string& line) const {
    CheckMessage message;
    const std::vector<std::string> fields = Fields(line);
    const auto kind = [&](const char* name, size_t count) {
        return fields.size() == count && fields[0] == Key && fields[1] == name;
    };
    if (kind("start", 4)) {
        message.What = CheckMessage::Kind::CallStarted;
        message.Export = UnescapedField(fields[2]);
        message.CpuSeconds = std::strtod(fields[3].c_str(), nullptr);
    } else if (kind("end", 2)) {
        message.What = CheckMessage::Kind::CallEnded;
    } else if (kind("where", 5)) {
        message.What = CheckMessage::Kind::Where;
        message.Where = UnescapedField(fields[2]);
        message.Repeat = RepeatFrom(fields[3], fields[4]);
    } else if (kind("memory-limit", 3)) {
        message.What = CheckMessage::Kind::MemoryLimit;
        message.Bytes = std::strtoull(fields[2].c_str(), nullptr, 10);
    } else if (kind("result", 9)) {
        message.What = CheckMessage::Kind::Result;
        CheckResult& result = message.Result;
        result.Status = VerdictFrom(fields[2]);
        result.Reason = UnescapedField(fields[3]);
        result.Where = UnescapedField(fields[4]);
        result.Call = UnescapedField(fields[5]);
        result.Repeat = RepeatFrom(fields[6], fields[7]);
        message.Process = std::strtoull(fields[8].c_str(), nullptr, 10);
    } else {
        message.Text = line.substr(0, kForeignQuoted) + (line.size() > kForeignQuoted ? "..." : "");
    }
    return message;
}

CheckReporter::CheckReporter(std::ostream& fallback)
    : Channel(TakeParentChannel()), Fallback(fallback) {}

std::atomic<uint64_t>* CheckReporter::HostCallWord() const {
    return Channel && Channel->Page != nullptr ? static_cast<std::atomic<uint64_t>*>(Channel->Page)
                                               : nullptr;
}

void CheckReporter::Send(const char* kind, std::initializer_list<std::string_view> fields) {
    Line.clear();
    Line += Channel ? Channel->Key : std::string("check");
    Line += '\t';
    Line += kind;
    for (const std::string_view field : fields) {
        Line += '\t';
        Line += EscapedField(field);
    }
    Line += '\n';
    if (Channel)
        WriteToParent(*Channel, Line);
    else
        Fallback << Line << std::flush;
}

ModuleGuard::CallNotices CheckReporter::CallNotices() {
    ModuleGuard::CallNotices notices;
    if (!Channel)
        return notices;
    notices.Context = this;
    notices.Started = [](void* context, const char* exportName) {
        char cpu[32];
        std::snprintf(cpu, sizeof cpu, "%.3f", ProcessCpuSeconds());
        static_cast<CheckReporter*>(context)->Send("start", {exportName, cpu});
    };
    notices.Ended = [](void* context) { static_cast<CheckReporter*>(context)->Send("end", {}); };
    return notices;
}

void CheckReporter::Where(const std::string& where, const std::optional<RunRepeat>& repeat) {
    if (!Channel)
        return;
    const RunRepeat words = repeat.value_or(RunRepeat{});
    Send("where", {where, Join(words.Score), Join(words.Arguments)});
}

void CheckReporter::MemoryLimit(uint64_t bytes) {
    if (Channel)
        Send("memory-limit", {std::to_string(bytes)});
}

void CheckReporter::Result(const CheckResult& result) {
    const RunRepeat repeat = result.Repeat.value_or(RunRepeat{});
    Send("result", {VerdictName(result.Status), result.Reason, result.Where, result.Call,
                    Join(repeat.Score), Join(repeat.Arguments), std::to_string(ThisProcessId())});
}

void CheckReporter::Finish() {
    if (Channel)
        AwaitEnd();
}

std::string NewCheckKey() {
    static std::mutex lock;
    static std::random_device device;
    static uint64_t counter = 0;
    const std::lock_guard<std::mutex> hold(lock);
    const auto now =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    char key[40];
    std::snprintf(key, sizeof key, "%08x%08x%016llx", device(), device(),
                  static_cast<unsigned long long>(now ^ (++counter * 0x9E3779B97F4A7C15ull) ^
                                                  (static_cast<uint64_t>(device()) << 32)));
    return key;
}

}  // namespace sim
