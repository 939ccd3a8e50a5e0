// melvara-sim's options and exit statuses; the runs themselves are covered
// by the end-to-end cases.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/cli/Cli.h"

#ifndef MELVARA_SAMPLES_DIR
#error "MELVARA_SAMPLES_DIR must name the samples folder"
#endif

namespace {

namespace fs = std::filesystem;

const std::string kPiece = std::string(MELVARA_SAMPLES_DIR) + "/piece.json";
const std::string kSingle = std::string(MELVARA_SAMPLES_DIR) + "/single.json";

struct Outcome {
    int Status;
    std::string Out;
    std::string Err;
};

Outcome Sim(const std::vector<std::string>& args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = sim::RunMain(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(Cli, RunOptionsAreRead) {
    std::string error;
    const auto options = sim::ParseRunOptions({"--module",
                                               "m.so",
                                               "--score",
                                               "s.json",
                                               "--command",
                                               "change",
                                               "--select",
                                               "measure 2",
                                               "--answer",
                                               "no",
                                               "--answer",
                                               "Yes",
                                               "--host-version",
                                               "0x11000000",
                                               "--out",
                                               "o.json",
                                               "--trace",
                                               "--fail",
                                               "LoadTGF",
                                               "--fail",
                                               "MessageBoxW",
                                               "--fail-call",
                                               "12",
                                               "--fail-load",
                                               "pfTP:1,0,0,0",
                                               "--fail-save",
                                               "0x45035450",
                                               "--document",
                                               "-4",
                                               "--create-leaves-index-unset"},
                                              error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->ModulePath, "m.so");
    EXPECT_EQ(options->ScorePath, "s.json");
    EXPECT_EQ(options->MenuIndex, 2);
    EXPECT_EQ(options->SelectionText, "measure 2");
    EXPECT_EQ(options->Answers, (std::vector<int>{7, 6}));
    EXPECT_EQ(options->HostVersion, 0x11000000u);
    EXPECT_EQ(options->OutPath, "o.json");
    EXPECT_TRUE(options->Trace);
    EXPECT_EQ(options->FailingFunctions,
              (std::vector<sim::HostFn>{sim::HostFn::LoadTGF, sim::HostFn::MessageBoxW}));
    EXPECT_EQ(options->FailingCalls, (std::vector<uint64_t>{12}));
    ASSERT_EQ(options->FailingLoads.size(), 1u);
    EXPECT_EQ(options->FailingLoads[0].Tag, sim::kTupletDefaultsTag);
    EXPECT_EQ(options->FailingLoads[0].Words, sim::kTupletDefaultsKeys);
    ASSERT_EQ(options->FailingSaves.size(), 1u);
    EXPECT_EQ(options->FailingSaves[0].Tag, sim::kTupletTag);
    EXPECT_FALSE(options->FailingSaves[0].Words);
    EXPECT_EQ(options->Document, -4);
    EXPECT_TRUE(options->CreateLeavesIndexUnset);
}

TEST(Cli, CommandsMapToMenuIndices) {
    for (const auto& [command, index] : std::vector<std::pair<std::string, int16_t>>{
             {"reset", 0}, {"compare", 1}, {"change", 2}, {"3", 3}, {"-1", -1}}) {
        std::string error;
        const auto options =
            sim::ParseRunOptions({"--module", "m", "--score", "s", "--command", command}, error);
        ASSERT_TRUE(options) << command << ": " << error;
        EXPECT_EQ(options->MenuIndex, index) << command;
    }
}

TEST(Cli, BadRunOptionsAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* problem;
    };
    const std::vector<std::string> base = {"--module", "m", "--score", "s", "--command", "compare"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const Case cases[] = {
        {{"--score", "s", "--command", "reset"}, "run needs --module"},
        {{"--module", "m", "--command", "reset"}, "run needs --score"},
        {{"--module", "m", "--score", "s"}, "run needs --command"},
        {with({"--command", "undo"}), "--command: reset, compare, change"},
        {with({"--answer", "maybe"}), "--answer"},
        {with({"--host-version", "0x1FFFFFFFF"}), "--host-version"},
        {with({"--fail", "MX_Nothing"}), "--fail: no host function"},
        {with({"--fail-call", "0"}), "--fail-call"},
        {with({"--fail-load", "pfTP:1,0,0"}), "--fail-load"},
        {with({"--document", "40000"}), "--document"},
        {with({"--out", "a", "--in-place"}), "not both"},
        {with({"--select"}), "--select needs a value"},
        {with({"--timeout", "0"}), "--timeout: a number of seconds above 0"},
        {with({"--timeout", "-1"}), "--timeout"},
        {with({"--timeout", "1s"}), "--timeout"},
        {with({"--bogus", "1"}), "unknown option --bogus"},
        {with({"stray"}), "unexpected argument stray"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(sim::ParseRunOptions(c.args, error)) << c.problem;
        EXPECT_NE(error.find(c.problem), std::string::npos) << c.problem << ": " << error;
        const Outcome outcome = [&] {
            std::vector<std::string> args = {"run"};
            args.insert(args.end(), c.args.begin(), c.args.end());
            return Sim(args);
        }();
        EXPECT_EQ(outcome.Status, sim::kExitUsage) << c.problem;
    }
}

TEST(Cli, BadValidateOptionsAreUsageErrors) {
    struct Case {
        std::vector<std::string> args;
        const char* problem;
    };
    const Case cases[] = {
        {{"--level", "3"}, "validate needs --module PATH"},
        {{"--module", "m", "--level", "0"}, "--level: 1 to 5"},
        {{"--module", "m", "--level", "6"}, "--level: 1 to 5"},
        {{"--module", "m", "--seed", "-4"}, "--seed: a number"},
        {{"--module", "m", "--timeout", "none"}, "--timeout: a number of seconds"},
        {{"--module", "m", "--budget", "0"}, "--budget: a number of seconds"},
        {{"--module", "m", "--jobs", "0"}, "--jobs: 1 to 64"},
        {{"--module", "m", "--json"}, "--json needs a value"},
        {{"--module", "m", "--strict", "1"}, "validate: unknown option --strict"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"validate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome outcome = Sim(args);
        EXPECT_EQ(outcome.Status, 2) << c.problem;
        EXPECT_NE(outcome.Err.find(c.problem), std::string::npos) << c.problem << ": " << outcome.Err;
    }
}

TEST(Cli, HelpDocumentsTheOptionsAndTheSelectionSyntax) {
    const Outcome outcome = Sim({"run", "--help"});
    EXPECT_EQ(outcome.Status, 0);
    for (const char* text : {"--module", "--score", "--command", "--select", "--answer",
                             "--host-version", "--out", "--in-place", "--trace", "--fail-call",
                             "--fail-load", "--timeout", "measures A:P-B:Q", "slots S-T", "none",
                             "region", "validate --module", "--junit"}) {
        EXPECT_NE(outcome.Out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(Sim({}).Status, sim::kExitUsage);
    EXPECT_EQ(Sim({"frobnicate"}).Status, sim::kExitUsage);
}

TEST(Cli, RunRefusesToOverwriteItsScoreWithoutInPlace) {
    const Outcome outcome = Sim({"run", "--module", "/nonexistent/module.so", "--score", kPiece,
                                 "--command", "compare", "--out", kPiece});
    EXPECT_EQ(outcome.Status, sim::kExitUsage);
    EXPECT_NE(outcome.Err.find("--in-place"), std::string::npos) << outcome.Err;
}

TEST(Cli, RunReportsAnUnreadableScoreOrModule) {
    Outcome outcome = Sim({"run", "--module", "/nonexistent/module.so", "--score",
                           "/nonexistent/score.json", "--command", "compare"});
    EXPECT_EQ(outcome.Status, sim::kExitFailure);
    EXPECT_NE(outcome.Err.find("/nonexistent/score.json"), std::string::npos) << outcome.Err;

    outcome = Sim(
        {"run", "--module", "/nonexistent/module.so", "--score", kPiece, "--command", "compare"});
    EXPECT_EQ(outcome.Status, sim::kExitFailure);
    EXPECT_NE(outcome.Err.find("cannot load /nonexistent/module.so"), std::string::npos)
        << outcome.Err;

    outcome = Sim({"run", "--module", "/nonexistent/module.so", "--score", kPiece, "--command",
                   "compare", "--select", "staves 1"});
    EXPECT_EQ(outcome.Status, sim::kExitUsage);
    EXPECT_NE(outcome.Err.find("--select: unknown word"), std::string::npos) << outcome.Err;
}

TEST(Cli, DiffComparesTwoScoreFiles) {
    Outcome outcome = Sim({"diff", kPiece, kPiece});
    EXPECT_EQ(outcome.Status, 0);
    EXPECT_EQ(outcome.Out, "The scores are the same.\n");

    outcome = Sim({"diff", kPiece, kSingle});
    EXPECT_EQ(outcome.Status, 1);
    EXPECT_NE(outcome.Out.find("score: description"), std::string::npos);

    outcome = Sim({"diff", kPiece, "/nonexistent.json"});
    EXPECT_EQ(outcome.Status, 2);
}

TEST(Cli, ShowPrintsAScore) {
    Outcome outcome = Sim({"show", kSingle});
    EXPECT_EQ(outcome.Status, 0);
    EXPECT_NE(outcome.Out.find("Default Tuplet Definition ('pfTP' {1,0,0,0})"), std::string::npos);
    EXPECT_NE(outcome.Out.find("Flags 0xB245"), std::string::npos);
    EXPECT_NE(outcome.Out.find("unlike the defaults in OptionBits, Position1, Position2"),
              std::string::npos)
        << outcome.Out;
    EXPECT_EQ(Sim({"show"}).Status, sim::kExitUsage);
    EXPECT_EQ(Sim({"show", "/nonexistent.json"}).Status, sim::kExitFailure);
}

}  // namespace
