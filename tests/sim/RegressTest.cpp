// Pieces of melvara-sim regress that its runs over the test module pairs do
// not show one by one: where two events part, how commands pair up, the
// window that finds the first difference, the files between the processes,
// and the events the host makes of its calls.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim/host/Host.h"
#include "sim/host/HostControls.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/regress/AcceptedDifferences.h"
#include "sim/regress/Comparison.h"
#include "sim/regress/Matrix.h"
#include "sim/regress/RunEvents.h"
#include "sim/regress/RunPlan.h"
#include "sim/regress/RunResult.h"
#include "tests/sim/SimTestHelpers.h"

namespace {

using sim::Event;

Event Call(const std::string& kind, std::vector<std::pair<std::string, std::string>> fields,
           std::string bytes = {}) {
    Event event{kind, std::move(fields), std::move(bytes), "tuplet record", kind + "(...)"};
    return event;
}

TEST(Regress, EventsPartWhereTheFirstThingDiffers) {
    const Event save = Call("MX_SaveKData", {{"count", "30"}}, std::string("\x00\x01\x02", 3));
    struct Case {
        const char* Name;
        std::optional<Event> Old, New;
        const char* Title;  // nullptr: the same
        const char* Key;
    };
    Event otherCount = save, otherByte = save, longer = save, otherKind = save;
    otherCount.Fields[0].second = "46";
    otherByte.Bytes[2] = '\x1B';
    longer.Bytes += '\x00';
    otherKind.Kind = "MX_LoadKData";
    otherKind.Text = "MX_LoadKData(...)";
    const Case cases[] = {
        {"alike", save, save, nullptr, nullptr},
        {"a field", save, otherCount, "MX_SaveKData count: old 30, new 46", "MX_SaveKData count"},
        {"a byte", save, otherByte, "MX_SaveKData tuplet record byte 2: old 0x02, new 0x1B",
         "MX_SaveKData tuplet record byte 2"},
        {"the length", save, longer, "MX_SaveKData tuplet record length: old 3, new 4",
         "MX_SaveKData tuplet record length"},
        {"the kind", save, otherKind,
         "the next event: old MX_SaveKData(...), new MX_LoadKData(...)",
         "the next event: MX_SaveKData or MX_LoadKData"},
        {"an end", save, std::nullopt, "the end of the run: old MX_SaveKData(...), new nothing more",
         "the end of the run: MX_SaveKData or nothing"},
    };
    for (const Case& c : cases) {
        const auto difference =
            sim::CompareEvents(c.Old ? &*c.Old : nullptr, c.New ? &*c.New : nullptr);
        ASSERT_EQ(difference.has_value(), c.Title != nullptr) << c.Name;
        if (difference) {
            EXPECT_EQ(difference->Title(), c.Title) << c.Name;
            EXPECT_EQ(difference->Key, c.Key) << c.Name;
        }
    }
}

TEST(Regress, EventsReadBackFromTheirLine) {
    Event event = Call("MessageBoxW", {{"text", "\"a\tb\\nc\"\n"}, {"caption", ""}},
                       std::string("\x00\xFF\t\n", 4));
    event.Text = "MessageBoxW(\\, \"a\tb\")\r";
    const std::optional<Event> back = Event::Parse(event.Serialize());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->Canonical(), event.Canonical());
    EXPECT_EQ(back->Text, event.Text);
    EXPECT_EQ(back->Serialize().find('\n'), std::string::npos);
}

TEST(Regress, CommandsPairByTitleElseByIndex) {
    using Menu = std::vector<sim::MenuTitle>;
    struct Case {
        const char* Name;
        Menu Old, New;
        const char* Pairs;  // old index/new index=title, "-" for none
    };
    const Case cases[] = {
        {"alike", {{0, "A"}, {1, "B"}}, {{0, "A"}, {1, "B"}}, "0/0=A 1/1=B"},
        {"moved", {{0, "A"}, {1, "B"}}, {{0, "B"}, {1, "A"}}, "0/1=A 1/0=B"},
        {"renamed", {{0, "A"}, {1, "B"}}, {{0, "A"}, {1, "B2"}}, "0/0=A 1/1=B"},
        {"added", {{0, "A"}}, {{0, "A"}, {1, "C"}}, "0/0=A -/1=C"},
        {"removed", {{0, "A"}, {1, "B"}}, {{0, "B"}}, "0/-=A 1/0=B"},
    };
    for (const Case& c : cases) {
        std::string pairs;
        for (const sim::CommandPair& pair : sim::PairCommands(c.Old, c.New)) {
            const auto index = [](const std::optional<int16_t>& i) {
                return i ? std::to_string(*i) : std::string("-");
            };
            pairs += (pairs.empty() ? "" : " ") + index(pair.Old) + "/" + index(pair.New) + "=" +
                     pair.Title;
        }
        EXPECT_EQ(pairs, c.Pairs) << c.Name;
    }
}

TEST(Regress, TheBaseRunsDecideTheAnswersAndTheCallsMadeToFail) {
    const sim::Matrix matrix(3, 1);
    const auto base = matrix.BaseRuns({{sim::kTodaysHostVersion, {{0, 0, "A"}}}});
    std::vector<sim::RunResult> oldResults(base.size());
    std::vector<sim::RunResult> newResults(base.size());
    std::vector<const sim::RunResult*> oldPointers, newPointers;
    for (size_t i = 0; i < base.size(); ++i) {
        oldResults[i].Calls = 5;
        newResults[i].Calls = 7;  // the most calls of either build fail in turn
        oldPointers.push_back(&oldResults[i]);
        newPointers.push_back(&newResults[i]);
    }
    newResults[3].Offered = 1u << sim::kIdNo;  // a Yes/No box in one build
    std::map<sim::ControlChoice::Kind, size_t> runs;
    uint64_t lastCall = 0;
    size_t declining = 0;
    for (const sim::PlannedRun& run : matrix.DerivedRuns(base, oldPointers, newPointers)) {
        ++runs[run.Control.What];
        if (run.Control.What == sim::ControlChoice::Kind::FailingCall)
            lastCall = std::max(lastCall, run.Control.Value);
        declining += !run.Answers.empty() && run.Answers[0] == sim::kIdNo ? 1 : 0;
    }
    // The hostile host on the whole of piece, single, one-tuplet and the two
    // generated scores.
    constexpr size_t kHostile = 5;
    EXPECT_EQ(declining, 1u);
    EXPECT_EQ(runs[sim::ControlChoice::Kind::None], 1u);
    EXPECT_EQ(runs[sim::ControlChoice::Kind::FailingCall], kHostile * 7);
    EXPECT_EQ(lastCall, 7u);
    EXPECT_EQ(runs[sim::ControlChoice::Kind::OddHost], kHostile * sim::OddHosts().size() * 2);
    EXPECT_EQ(runs[sim::ControlChoice::Kind::Missing],
              kHostile * MELVARA_HOST_FUNCTION_COUNT * 2);
    EXPECT_TRUE(sim::Matrix(2, 1).DerivedRuns(base, oldPointers, newPointers).size() == 1);
    // More calls than the budget: spread over them, the first and the last among them.
    for (sim::RunResult& result : newResults)
        result.Calls = 5000;
    uint64_t firstCall = 5000;
    lastCall = 0;
    size_t failing = 0;
    for (const sim::PlannedRun& run : matrix.DerivedRuns(base, oldPointers, newPointers)) {
        if (run.Control.What != sim::ControlChoice::Kind::FailingCall)
            continue;
        ++failing;
        firstCall = std::min(firstCall, run.Control.Value);
        lastCall = std::max(lastCall, run.Control.Value);
    }
    EXPECT_EQ(failing, 1000u);
    EXPECT_EQ(firstCall, 1u);
    EXPECT_EQ(lastCall, 5000u);
}

// A run of count events named by number, the one at position at changed.
sim::RunResult Trace(size_t count, size_t at, size_t from = 0, size_t to = 0) {
    sim::EventTrace trace;
    trace.KeepWindow(from, to);
    for (size_t i = 0; i < count; ++i)
        trace.Add(Call("MX_GetShowLayer", {{"layer", std::to_string(i == at ? 99 : i % 7)}}));
    return sim::RunResult::Of(trace);
}

TEST(Regress, TheWindowOfTheDigestsHoldsTheFirstDifference) {
    constexpr size_t kNone = static_cast<size_t>(-1);
    struct Case {
        size_t OldCount, NewCount, ChangedAt, Expected;
    };
    const Case cases[] = {
        {10, 10, 0, 0},       {600, 600, 5, 5},    {600, 600, 255, 255},
        {600, 600, 256, 256}, {600, 600, 599, 599}, {2000, 2000, 1500, 1500},
        {300, 900, kNone, 300}, {1024, 1025, kNone, 1024},
    };
    for (const Case& c : cases) {
        const sim::RunResult before = Trace(c.OldCount, kNone);
        const sim::RunResult after = Trace(c.NewCount, c.ChangedAt);
        ASSERT_FALSE(before.SameAs(after));
        const auto [from, to] = sim::DifferenceWindow(before, after);
        const sim::RunComparison found = sim::FirstDifference(
            Trace(c.OldCount, kNone, from, to), Trace(c.NewCount, c.ChangedAt, from, to));
        ASSERT_TRUE(found.First) << c.Expected;
        EXPECT_EQ(found.Position, c.Expected);
        EXPECT_EQ(found.Before.size(), std::min(c.Expected, sim::kEventsBefore)) << c.Expected;
        EXPECT_LE(to - from, sim::EventTrace::kCheckpointEvents + sim::kEventsBefore + 1);
    }
    EXPECT_TRUE(Trace(700, kNone).SameAs(Trace(700, kNone)));
}

TEST(Regress, PlansAndResultsReadBackAsWritten) {
    sim::RunPlan plan;
    plan.Scores = {sim::EmptyScore().Source};
    sim::PlannedRun run;
    run.OldIndex = 2;
    run.Selection = RegionRecord{1, -2, 3, -4, 5, 6, 7, 2147483647};
    run.Answers = {7, 2};
    run.Control = {sim::ControlChoice::Kind::Missing, 12};
    run.WindowFrom = 253;
    run.WindowTo = 510;
    plan.Runs = {{41, run}, {42, sim::PlannedRun{}}};
    std::string error;
    const std::optional<sim::RunPlan> back = sim::RunPlan::Parse(plan.Serialize(), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->Serialize(), plan.Serialize());
    EXPECT_FALSE(back->Runs[0].second.NewIndex);
    EXPECT_FALSE(back->Runs[1].second.Selection);
    EXPECT_FALSE(sim::RunPlan::Parse("run\t1\tcommand\t0\n", error));

    sim::RunResult result = Trace(600, 300, 299, 302);
    result.Calls = 17;
    result.Menu = {{0, "Reset\tall"}};
    const std::string lines = sim::ResultLines(41, result) + sim::ResultLines(42, Trace(3, 1));
    bool faulted = true;
    const auto read = sim::ReadResults(lines, &faulted);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_FALSE(faulted);
    EXPECT_TRUE(read.at(41).SameAs(result));
    EXPECT_EQ(read.at(41).Checkpoints, result.Checkpoints);
    EXPECT_EQ(read.at(41).Window.size(), 3u);
    EXPECT_EQ(read.at(41).Menu[0].Title, "Reset all");
    // A process that ended while writing: its last line is left out; a fault
    // after the last run says that the process ended there.
    EXPECT_EQ(sim::ReadResults(lines.substr(0, lines.size() - 1)).size(), 1u);
    sim::ReadResults(lines + sim::FaultEndLine(), &faulted);
    EXPECT_TRUE(faulted);
}

TEST(Regress, HostCallsBecomeEventsWithTheBytesTheHostSaw) {
    sim::Score score;
    score.SetMeasures(1).AddStaff(1);
    score.SetRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys, sim::Bytes{1, 2, 3, 4, 5});
    sim::Host host(score);
    std::vector<Event> events;
    host.Log().OnCall = [&](const sim::HostCall& call) { events.push_back(CallEvent(host, call)); };
    uint16_t keys[4] = {1, 0, 0, 0};
    uint8_t buffer[8] = {};
    uint32_t count = 3;
    host.LoadKData(sim::kTupletDefaultsTag, keys, buffer, &count, simtest::V);
    buffer[0] = 9;
    host.SaveKData(sim::kTupletDefaultsTag, keys, buffer, 3, simtest::V);
    sim::HostControls failing;
    failing.FailingFunctions = {sim::HostFn::SaveKData};
    failing.ApplyTo(host);
    host.SaveKData(sim::kTupletDefaultsTag, keys, buffer, 3, simtest::V);
    host.ShowMessageBox(host.Window(), u"Done.", u"Probe", 0x24);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].Bytes, std::string("\x01\x02\x03"));  // what was copied out
    EXPECT_EQ(events[1].Bytes, std::string("\x09\x02\x03"));  // what was stored
    EXPECT_EQ(events[1].BytesLabel, "'pfTP' record");
    EXPECT_EQ(events[2].Bytes, "");  // a failing save stores nothing
    EXPECT_NE(events[2].Canonical(), events[1].Canonical());
    EXPECT_EQ(events[3].Canonical(),
              "MessageBoxW\twindow=host window\tcaption=\"Probe\"\ttext=\"Done.\"\tstyle=0x24"
              "\tshown=yes\tanswer=Yes");
}

TEST(Regress, FaultsAreNamedWithoutAddresses) {
    const std::pair<const char*, const char*> cases[] = {
        {"SIGSEGV (invalid memory access at 0x7f3a2c001018)", "SIGSEGV (invalid memory access)"},
        {"SIGSEGV (invalid memory access at (nil))", "SIGSEGV (invalid memory access)"},
        {"exception 0xC0000005 (access violation writing 0x0)",
         "exception 0xC0000005 (access violation writing)"},
        {"SIGFPE (integer division by zero)", "SIGFPE (integer division by zero)"},
        {"did not return within 10 s", "did not return within 10 s"},
    };
    for (const auto& [cause, plain] : cases)
        EXPECT_EQ(sim::WithoutAddresses(cause), plain);
}

TEST(Regress, AnAcceptedReportGivesTheKeysOfItsGroups) {
    const auto file = std::filesystem::path(testing::TempDir()) / "accepted.json";
    std::ofstream(file) << R"({"old": "a.so", "groups": [{"group": 1, "key": "MessageBoxW text",
        "title": "MessageBoxW text: old \"A\", new \"B\"", "runs": 3}, {"key": "x"}],
        "summary": {}})";
    std::string error;
    const auto keys = sim::ReadAcceptedDifferences(file.string(), error);
    ASSERT_TRUE(keys) << error;
    EXPECT_EQ(*keys, (std::set<std::string>{"MessageBoxW text", "x"}));
    std::ofstream(file) << R"({"checks": []})";
    EXPECT_FALSE(sim::ReadAcceptedDifferences(file.string(), error));
    EXPECT_NE(error.find("no \"groups\""), std::string::npos) << error;
    std::ofstream(file) << R"({"groups": [{"key": 7}]})";
    EXPECT_FALSE(sim::ReadAcceptedDifferences(file.string(), error));
    EXPECT_NE(error.find("a group without a \"key\""), std::string::npos) << error;
}

}  // namespace
