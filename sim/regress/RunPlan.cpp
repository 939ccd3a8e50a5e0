// A plan of runs as a file of lines: the scores, then one line per run.
#include "sim/regress/RunPlan.h"

#include "sim/support/Numbers.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

constexpr char kWordSeparator = '\x1f';
constexpr const char* kNone = "-";

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

template <typename T>
std::string Join(const std::vector<T>& items, char separator) {
    std::string text;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i != 0)
            text += separator;
        if constexpr (std::is_same_v<T, std::string>)
            text += items[i];
        else
            text += std::to_string(items[i]);
    }
    return text;
}

std::string IndexText(const std::optional<int16_t>& index) {
    return index ? std::to_string(*index) : kNone;
}

std::string SelectionText(const std::optional<RegionRecord>& region) {
    if (!region)
        return kNone;
    const RegionRecord& r = *region;
    return Join(std::vector<int64_t>{r.StartSlotScope, r.StartSlot, r.StartMeasure, r.StartPos,
                                     r.EndSlotScope, r.EndSlot, r.EndMeasure, r.EndPos},
                ',');
}

const char* ControlKindName(ControlChoice::Kind kind) {
    switch (kind) {
        case ControlChoice::Kind::None:
            return "none";
        case ControlChoice::Kind::FailingCall:
            return "call";
        case ControlChoice::Kind::OddHost:
            return "odd";
        case ControlChoice::Kind::Missing:
            return "missing";
    }
    return "none";
}

// Reads the fields of one run line; false for any that is not as written.
class LineReader {
  public:
    explicit LineReader(std::vector<std::string> fields) : Fields(std::move(fields)) {}

    template <typename T>
    bool Number(size_t at, T& value) {
        std::string ignored;
        return at < Fields.size() && ParseNumber("field", Fields[at], value, ignored);
    }
    bool Index(size_t at, std::optional<int16_t>& index) {
        if (at < Fields.size() && Fields[at] == kNone)
            return true;
        int16_t value = 0;
        if (!Number(at, value))
            return false;
        index = value;
        return true;
    }
    bool Selection(size_t at, std::optional<RegionRecord>& region) {
        if (at >= Fields.size())
            return false;
        if (Fields[at] == kNone)
            return true;
        const std::vector<std::string> words = Split(Fields[at], ',');
        int64_t v[8] = {};
        if (words.size() != 8)
            return false;
        for (size_t i = 0; i < 8; ++i) {
            std::string ignored;
            if (!ParseNumber("field", words[i], v[i], ignored))
                return false;
        }
        RegionRecord r{};
        r.StartSlotScope = static_cast<uint16_t>(v[0]);
        r.StartSlot = static_cast<int16_t>(v[1]);
        r.StartMeasure = static_cast<int16_t>(v[2]);
        r.StartPos = static_cast<int32_t>(v[3]);
        r.EndSlotScope = static_cast<uint16_t>(v[4]);
        r.EndSlot = static_cast<int16_t>(v[5]);
        r.EndMeasure = static_cast<int16_t>(v[6]);
        r.EndPos = static_cast<int32_t>(v[7]);
        region = r;
        return true;
    }
    bool Answers(size_t at, std::vector<int>& answers) {
        if (at >= Fields.size())
            return false;
        if (Fields[at].empty())
            return true;
        for (const std::string& word : Split(Fields[at], ',')) {
            int answer = 0;
            std::string ignored;
            if (!ParseNumber("field", word, answer, ignored))
                return false;
            answers.push_back(answer);
        }
        return true;
    }
    bool Control(size_t at, ControlChoice& control) {
        if (at >= Fields.size())
            return false;
        const std::vector<std::string> parts = Split(Fields[at], ':');
        for (const auto kind : {ControlChoice::Kind::None, ControlChoice::Kind::FailingCall,
                                ControlChoice::Kind::OddHost, ControlChoice::Kind::Missing}) {
            std::string ignored;
            if (parts.size() == 2 && parts[0] == ControlKindName(kind)) {
                control.What = kind;
                return ParseNumber("field", parts[1], control.Value, ignored);
            }
        }
        return false;
    }

  private:
    std::vector<std::string> Fields;
};

}  // namespace

std::string RunPlan::Serialize() const {
    std::string text;
    for (const ScoreSource& score : Scores)
        text += "score\t" + Join(score.Fields(), kWordSeparator) + "\n";
    for (const auto& [number, run] : Runs) {
        text += "run\t" + std::to_string(number) + "\t" +
                (run.What == PlannedRun::Kind::Menu ? "menu" : "command") + "\t" +
                std::to_string(run.Score) + "\t" + std::to_string(run.HostVersion) + "\t" +
                IndexText(run.OldIndex) + "\t" + IndexText(run.NewIndex) + "\t" +
                SelectionText(run.Selection) + "\t" + Join(run.Answers, ',') + "\t" +
                ControlKindName(run.Control.What) + ":" + std::to_string(run.Control.Value) + "\t" +
                std::to_string(run.WindowFrom) + "\t" + std::to_string(run.WindowTo) + "\n";
    }
    return text;
}

std::optional<RunPlan> RunPlan::Parse(const std::string& text, std::string& error) {
    RunPlan plan;
    size_t lineNumber = 0;
    for (const std::string& line : SplitLines(text)) {
        ++lineNumber;
        const std::vector<std::string> fields = Split(line, '\t');
        bool good = false;
        if (fields.size() == 2 && fields[0] == "score") {
            const std::optional<ScoreSource> source =
                ScoreSource::FromFields(Split(fields[1], kWordSeparator));
            if (source) {
                plan.Scores.push_back(*source);
                good = true;
            }
        } else if (fields.size() == 12 && fields[0] == "run") {
            PlannedRun run;
            size_t number = 0;
            LineReader read(fields);
            run.What = fields[2] == "menu" ? PlannedRun::Kind::Menu : PlannedRun::Kind::Command;
            good = read.Number(1, number) && read.Number(3, run.Score) &&
                   run.Score < plan.Scores.size() && read.Number(4, run.HostVersion) &&
                   read.Index(5, run.OldIndex) && read.Index(6, run.NewIndex) &&
                   read.Selection(7, run.Selection) && read.Answers(8, run.Answers) &&
                   read.Control(9, run.Control) && read.Number(10, run.WindowFrom) &&
                   read.Number(11, run.WindowTo);
            if (good)
                plan.Runs.emplace_back(number, std::move(run));
        }
        if (!good) {
            error = "line " + std::to_string(lineNumber) + " of the plan is not a run or a score";
            return std::nullopt;
        }
    }
    return plan;
}

}  // namespace sim
