// melvara-sim run --json: the run's report as one JSON object.
#include "sim/cli/RunCommandJson.h"

#include "sim/support/JsonQuote.h"
#include "sim/support/Text.h"

namespace sim {
namespace {

// Appends "name": to an object being written, with a comma when needed.
class JsonObject {
  public:
    explicit JsonObject(std::string& out) : Out(out) { Out += '{'; }
    std::string& Field(const char* name) {
        Out += First ? "" : ",";
        First = false;
        AppendJsonQuoted(Out, name);
        Out += ':';
        return Out;
    }
    void Text(const char* name, const std::string& value) { AppendJsonQuoted(Field(name), value); }
    void Number(const char* name, int64_t value) { Field(name) += std::to_string(value); }
    void Flag(const char* name, bool value) { Field(name) += value ? "true" : "false"; }
    void Texts(const char* name, const std::vector<std::string>& values) {
        std::string& out = Field(name);
        out += '[';
        for (size_t i = 0; i < values.size(); ++i) {
            out += i == 0 ? "" : ",";
            AppendJsonQuoted(out, values[i]);
        }
        out += ']';
    }
    void End() { Out += '}'; }

  private:
    std::string& Out;
    bool First = true;
};

void AppendBoxes(std::string& out, const Host& host) {
    out += '[';
    bool first = true;
    for (const BoxRecord& box : host.Boxes().List()) {
        out += first ? "" : ",";
        first = false;
        JsonObject object(out);
        object.Text("caption", box.CaptionUtf8());
        object.Text("text", box.TextUtf8());
        object.Text("buttons", ButtonsName(box.Style));
        object.Text("icon", IconName(box.Style));
        object.Text("style", Hex(box.Style, 1));
        object.Flag("shown", box.Shown);
        object.Text("answer", box.Shown ? AnswerName(box.Answer) : "");
        object.End();
    }
    out += ']';
}

void AppendSummary(std::string& out, const RunReport& report) {
    const Host& host = *report.RunHost;
    JsonObject summary(out);
    summary.Flag("in_menu", report.Title.has_value());
    summary.Number("invoke_result", report.InvokeResult);
    summary.Number("tuplets_read", static_cast<int64_t>(report.TupletsRead()));
    summary.Number("records_saved", static_cast<int64_t>(host.Log().SavedCount()));
    summary.Number("tuplets_saved", static_cast<int64_t>(host.Log().SavedCount(kTupletTag)));
    summary.Number("defaults_saved",
                   static_cast<int64_t>(host.Log().SavedCount(kTupletDefaultsTag)));
    summary.Number("records_created", static_cast<int64_t>(host.Log().CreatedCount()));
    summary.Number("records_deleted", static_cast<int64_t>(host.Log().DeletedCount()));
    const FrameCounts& frames = host.Frames().Counts();
    std::string& counts = summary.Field("frames");
    JsonObject frameObject(counts);
    frameObject.Number("loaded", static_cast<int64_t>(frames.Loaded));
    frameObject.Number("freed", static_cast<int64_t>(frames.Freed));
    frameObject.Number("held", static_cast<int64_t>(frames.Held));
    frameObject.Number("refused", static_cast<int64_t>(frames.Refused));
    frameObject.End();
    std::vector<std::string> errors;
    for (const FrameError& error : host.Frames().Errors())
        errors.push_back(error.Describe());
    summary.Texts("frame_errors", errors);
    summary.Texts("unused_controls", report.UnusedControls);
    std::vector<std::string> answers;
    for (int answer : host.Boxes().UnusedAnswerList())
        answers.push_back(AnswerName(answer));
    summary.Texts("unused_answers", answers);
    summary.End();
}

}  // namespace

size_t RunReport::TupletsRead() const {
    size_t tuplets = 0;
    for (const RecordKey& key : RunHost->Monitor().LoadedRecords())
        tuplets += key.Tag == kTupletTag ? 1 : 0;
    return tuplets;
}

std::string FormatRunJson(const RunReport& report) {
    std::string out;
    JsonObject object(out);
    object.Text("module", report.Options->ModulePath);
    object.Text("score", report.Options->ScorePath);
    object.Text("host_version", Hex(report.Options->HostVersion, 8));
    std::string& command = object.Field("command");
    JsonObject commandObject(command);
    commandObject.Number("index", report.Index);
    if (report.Title)
        commandObject.Text("title", *report.Title);
    else
        commandObject.Field("title") += "null";
    commandObject.End();
    object.Text("selection", report.Selection);
    object.Texts("selection_warnings", report.SelectionWarnings);
    AppendBoxes(object.Field("boxes"), *report.RunHost);
    if (report.Invoked)
        AppendSummary(object.Field("summary"), report);
    else
        object.Field("summary") += "null";
    std::string& changes = object.Field("changes");
    changes += '[';
    for (size_t i = 0; i < report.Changes.size(); ++i) {
        const ScoreChange& change = report.Changes[i];
        changes += i == 0 ? "" : ",";
        JsonObject item(changes);
        item.Text("where", change.Where);
        item.Text("field", change.Field);
        item.Text("old", change.Old);
        item.Text("new", change.New);
        item.End();
    }
    changes += ']';
    object.Texts("warnings", report.Warnings);
    if (report.Fault.empty())
        object.Field("fault") += "null";
    else
        object.Text("fault", report.Fault);
    object.Number("status", report.Status);
    object.End();
    return out + "\n";
}

}  // namespace sim
