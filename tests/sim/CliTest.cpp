// melvara-sim's options and exit statuses; the runs themselves are covered
// by the end-to-end cases.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "ProjectVersion.h"
#include "contract/MelvaraVersion.h"
#include "sim/cli/Cli.h"
#include "sim/cli/RunCommandJson.h"
#include "sim/cli/RunCommandLine.h"
#include "sim/score/ScoreFile.h"
#include "sim/validate/Check.h"
#include "sim/validate/Scores.h"

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
    sim::RunOptions options;
    const auto result = sim::ParseRunOptions({"--module",
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
                                              "--document=-4",
                                              "--create-leaves-index-unset",
                                              "--without",
                                              "GetShowLayer",
                                              "--returns",
                                              "MX_GetMaxLayers=-1",
                                              "--frame-entries",
                                              "-32768",
                                              "--entry-notes",
                                              "7",
                                              "--record-sizes",
                                              "+16",
                                              "--layers",
                                              "32",
                                              "--measures",
                                              "32767",
                                              "--high-slots",
                                              "--hide-layer",
                                              "0"},
                                             options, error);
    ASSERT_EQ(result, sim::ParseResult::Ok) << error;
    EXPECT_EQ(options.ModulePath, "m.so");
    EXPECT_EQ(options.ScorePath, "s.json");
    EXPECT_EQ(options.CommandName, "change");
    EXPECT_EQ(options.SelectionText, "measure 2");
    EXPECT_EQ(options.Answers, (std::vector<int>{7, 6}));
    EXPECT_EQ(options.HostVersion, 0x11000000u);
    EXPECT_EQ(options.OutPath, "o.json");
    EXPECT_TRUE(options.Trace);
    const sim::HostControls& controls = options.Controls;
    EXPECT_EQ(controls.FailingFunctions,
              (std::vector<sim::HostFn>{sim::HostFn::LoadTGF, sim::HostFn::MessageBoxW}));
    EXPECT_EQ(controls.FailingCalls, (std::vector<uint64_t>{12}));
    ASSERT_EQ(controls.FailingLoads.size(), 1u);
    EXPECT_EQ(controls.FailingLoads[0].Tag, sim::kTupletDefaultsTag);
    EXPECT_EQ(controls.FailingLoads[0].Words, sim::kTupletDefaultsKeys);
    ASSERT_EQ(controls.FailingSaves.size(), 1u);
    EXPECT_EQ(controls.FailingSaves[0].Tag, sim::kTupletTag);
    EXPECT_FALSE(controls.FailingSaves[0].Words);
    EXPECT_EQ(controls.Document, -4);
    EXPECT_TRUE(controls.CreateLeavesIndexUnset);
    EXPECT_EQ(controls.MissingFunctions, (std::vector<sim::HostFn>{sim::HostFn::GetShowLayer}));
    ASSERT_EQ(controls.Returns.size(), 1u);
    EXPECT_EQ(controls.Returns[0], std::make_pair(sim::HostFn::GetMaxLayers, int16_t{-1}));
    EXPECT_EQ(controls.FrameEntries, -32768);
    EXPECT_EQ(controls.EntryNotes, 7);
    ASSERT_TRUE(controls.RecordSizes);
    EXPECT_EQ(controls.RecordSizes->Text(), "+16");
    EXPECT_EQ(controls.Layers, 32);
    EXPECT_EQ(controls.Measures, 32767);
    EXPECT_TRUE(controls.HighSlots);
    EXPECT_EQ(controls.HiddenLayers, (std::vector<int16_t>{0}));

    // The validator repeats its runs with the controls given back as
    // options: they read back as the same controls.
    std::vector<std::string> again = {"--module", "m", "--score", "s", "--index", "0"};
    const std::vector<std::string> arguments = controls.Arguments();
    again.insert(again.end(), arguments.begin(), arguments.end());
    sim::RunOptions reread;
    ASSERT_EQ(sim::ParseRunOptions(again, reread, error), sim::ParseResult::Ok) << error;
    EXPECT_EQ(reread.Controls.Arguments(), arguments);
}

TEST(Cli, CommandNamesAreTitlesAndNumbersAreIndexes) {
    for (const auto& [command, index, name] :
         std::vector<std::tuple<std::string, int16_t, std::string>>{{"3", 3, ""},
                                                                    {"-1", -1, ""},
                                                                    {"0x7FFF", 32767, ""},
                                                                    {"reset", 0, "reset"},
                                                                    {"007", 0, "007"}}) {
        std::string error;
        sim::RunOptions options;
        ASSERT_EQ(sim::ParseRunOptions({"--module", "m", "--score", "s", "--command", command},
                                       options, error),
                  sim::ParseResult::Ok)
            << command << ": " << error;
        EXPECT_EQ(options.MenuIndex, index) << command;
        EXPECT_EQ(options.CommandName, name) << command;
    }
}

// --command NAME against a module's titles: exact first, then the one title
// that fits ignoring case, never an index of its own.
TEST(Cli, CommandNamesFitOneTitleOrAreRefused) {
    std::vector<sim::MenuEntry> menu(4);
    const char* const titles[] = {"QV Tuplets - Reset to Defaults",
                                  "QV Tuplets - Compare with Defaults...", "Reset",
                                  "Count 8-bit"};
    for (int16_t i = 0; i < 4; ++i) {
        menu[i].Index = i;
        std::snprintf(menu[i].Narrow.Title, sizeof menu[i].Narrow.Title, "%s", titles[i]);
        menu[i].NarrowFilled = true;
    }
    // The last one lists its UTF-16 title apart from its 8-bit one.
    menu[3].WideFilled = true;
    const std::u16string wide = u"Zählen";
    std::copy(wide.begin(), wide.end(), menu[3].Wide.Title);
    const struct {
        const char* Name;
        int Index;  // -1: refused
        const char* Problem;
    } cases[] = {
        {"Reset", 2, ""},                                 // exact beats the word of entry 0
        {"reset", -1, "\"reset\" fits 2 commands' titles"},
        {"compare", 1, ""},                               // a word
        {"COMPARE WITH", 1, ""},                          // words in a row
        {"with compare", -1, "no command's title fits \"with compare\""},
        {"qv tuplets - r", 0, ""},                        // the beginning
        {"defaults", -1, "fits 2 commands' titles"},
        {"comp", -1, "no command's title fits"},          // part of a word
        {"8", 3, ""},
        {"z\xC3\xA4hlen", 3, ""},                         // the UTF-16 title, case aside
        {"undo", -1, "no command's title fits \"undo\""},
    };
    for (const auto& c : cases) {
        std::string problem;
        const std::optional<int16_t> index = sim::FindCommandByName(menu, c.Name, problem);
        EXPECT_EQ(index.value_or(-1), c.Index) << c.Name;
        EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Name << ": " << problem;
    }
    // Two titles alike: the name is refused, naming those two only.
    menu.push_back(menu[2]);
    menu.back().Index = 4;
    std::string problem;
    EXPECT_FALSE(sim::FindCommandByName(menu, "Reset", problem));
    EXPECT_EQ(problem, "\"Reset\" fits 2 commands' titles");
}

TEST(Cli, BadCommandLinesAreUsageErrorsThatSayWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        const char* problem;
    };
    const std::vector<std::string> run = {"run", "--module",  "m",      "--score",
                                          "s",   "--command", "compare"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = run;
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    };
    const Case cases[] = {
        {{"run", "--score", "s", "--command", "reset"}, "run needs --module"},
        {{"run", "--module", "m", "--command", "reset"}, "run needs --score"},
        {{"run", "--module", "m", "--score", "s"},
         "run needs --index N, --title TEXT or --command NAME"},
        {with({"--index", "1"}), "give one of --index, --title and --command"},
        {with({"--without", "MessageBoxW"}), "--without: \"MessageBoxW\" is none of the thirteen"},
        {with({"--returns", "MX_LoadTGF=1"}), "--returns: FUNCTION=VALUE"},
        {with({"--returns", "GetMaxLayers=40000"}), "--returns MX_GetMaxLayers: \"40000\" is out"},
        {with({"--record-sizes", "double"}), "--record-sizes: half, +N"},
        {with({"--layers", "256"}), "--layers: \"256\" is out of range"},
        {with({"--hide-layer", "-1"}), "--hide-layer: \"-1\" is out of range"},
        {{"generate", "--preset", "huge"}, "--preset: no score \"huge\"; the presets are empty,"},
        {{"generate", "--preset", "empty", "--seed", "2"}, "give it without --seed"},
        {{"validate", "--module", "m", "--check", "everything"},
         "--check: no check \"everything\""},
        {{"validate", "--list-checks", "--level", "2"}, "--list-checks stands alone"},
        {with({"--answer", "maybe"}), "--answer"},
        {with({"--answer", "007"}), "--answer"},
        {with({"--host-version", "0x1FFFFFFFF"}),
         "--host-version: \"0x1FFFFFFFF\" is out of range"},
        {with({"--host-version", "010"}), "--host-version: \"010\" starts with 0"},
        {with({"--host-version", " 16"}), "--host-version: \" 16\" is not a whole number"},
        {with({"--fail", "MX_Nothing"}), "--fail: no host function"},
        {with({"--fail-call", "0"}), "--fail-call: \"0\" is out of range"},
        {with({"--fail-call", "99999999999999999999"}),
         "--fail-call: \"99999999999999999999\" is out"},
        {with({"--fail-load", "pfTP:1,0,0"}), "--fail-load: \"1,0,0\" is not four key words"},
        {with({"--fail-save", "pfTP:1,0,0,08"}), "--fail-save key word 4: \"08\" starts with 0"},
        {with({"--fail-load", "pf:1,0,0,0"}), "--fail-load: \"pf\" is not a tag"},
        {with({"--document", "40000"}), "--document: \"40000\" is out of range"},
        {with({"--out", "a", "--in-place"}), "not both"},
        {with({"--out", ""}), "--out needs a value, not an empty text"},
        {with({"--module", "n"}), "--module is given twice"},
        {with({"--select"}), "--select needs a value"},
        {with({"--select", "--trace"}), "--select needs a value, not the option --trace"},
        {with({"--bogus", "1"}), "run: unknown option --bogus"},
        {with({"stray"}), "run: unexpected word \"stray\"; options start with --"},
        {with({"--trace", "yes"}), "unexpected word \"yes\" (--trace takes no value)"},
        {with({"--trace=yes"}), "--trace takes no value"},
        {with({"--timeout", "0"}), "--timeout: a number of seconds above 0"},
        {with({"--timeout", "-1"}), "--timeout: a number of seconds above 0"},
        {with({"--timeout", "1s"}), "--timeout: a number of seconds above 0"},
        {with({"--timeout", "1e3"}), "--timeout: a number of seconds above 0"},
        {{"validate", "--level", "3"}, "validate needs --module PATH"},
        {{"validate", "--module", "m", "--level", "6"}, "--level: \"6\" is out of range"},
        {{"validate", "--module", "m", "--seed", "07"}, "--seed: \"07\" starts with 0"},
        {{"validate", "--module", "m", "--budget", "0.0"}, "--budget: a number of seconds"},
        {{"validate", "--module", "m", "--jobs", "0"}, "--jobs: \"0\" is out of range"},
        {{"validate", "--module", "m", "--junit"}, "--junit needs a value"},
        {{"validate", "--module", "m", "--strictly"}, "validate: unknown option --strictly"},
        {{"menu", "stray"}, "menu: unexpected word \"stray\""},
        {{"menu", "--module", "m", "--host-version", "1e3"}, "--host-version: \"1e3\" is not"},
        {{"menu"}, "menu needs --module"},
        {{"show"}, "show needs a score file"},
        {{"show", "a.json", "b.json"}, "show: unexpected word \"b.json\""},
        {{"diff", "a.json"}, "diff needs 2 score files"},
        {{"generate", "--measures", "2", "--staves", "1", "--layers", "1"},
         "generate needs --measures, --staves, --layers and --entries, or --preset NAME"},
        {{"generate", "--measures", "02"}, "--measures: \"02\" starts with 0"},
        {{"generate", "--layers", "21"},
         "--layers: \"21\" is out of range; give a number from 1 to 20"},
        {{"generate", "--tuplet-share", " 0.5"}, "--tuplet-share: a number from 0 to 1"},
        {{"generate", "--tuplet-share", "1e-1"}, "--tuplet-share: a number from 0 to 1"},
        {{"help", "frobnicate"}, "help: no command \"frobnicate\""},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"--trace"}, "unknown option --trace; options follow a command"},
        {{"--version", "run"}, "--version stands alone"},
        {{}, "usage: melvara-sim COMMAND"},
    };
    for (const Case& c : cases) {
        std::string line;
        for (const std::string& arg : c.args)
            line += " '" + arg + "'";
        const Outcome outcome = Sim(c.args);
        EXPECT_EQ(outcome.Status, sim::kExitUsage) << line;
        EXPECT_NE(outcome.Err.find(c.problem), std::string::npos) << line << "\n" << outcome.Err;
        EXPECT_EQ(outcome.Out, "") << line;
    }
}

TEST(Cli, EachCommandHasItsOwnHelpAndHelpIsNeverAValue) {
    const Outcome overview = Sim({"--help"});
    EXPECT_EQ(overview.Status, 0);
    EXPECT_EQ(Sim({"help"}).Out, overview.Out);
    EXPECT_NE(overview.Out.find("generate"), std::string::npos);

    const Outcome run = Sim({"run", "--module", "m", "--help"});
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(Sim({"help", "run"}).Out, run.Out);
    for (const char* text :
         {"--module", "--score", "--command", "--select", "--answer", "--host-version", "--out",
          "--in-place", "--trace", "--fail-call", "--fail-load", "--timeout", "--strict", "--json",
          "measures A:P-B:Q", "slots S-T", "none", "region"}) {
        EXPECT_NE(run.Out.find(text), std::string::npos) << text;
    }
    EXPECT_EQ(run.Out.find("--tuplet-share"), std::string::npos) << "generate's options";
    for (const char* command : {"menu", "show", "diff", "generate", "validate"}) {
        const Outcome help = Sim({command, "-h"});
        EXPECT_EQ(help.Status, 0) << command;
        EXPECT_EQ(help.Out.rfind(std::string("usage: melvara-sim ") + command, 0), 0u) << help.Out;
    }
    EXPECT_NE(Sim({"help", "score"}).Out.find("tuplet records   tag 0x45035450"),
              std::string::npos);

    // "help" and "--help" given as values are values.
    Outcome value = Sim({"run", "--module", "/nonexistent/m.so", "--score", kPiece, "--command",
                         "compare", "--select", "help"});
    EXPECT_EQ(value.Status, sim::kExitUsage);
    EXPECT_NE(value.Err.find("--select: unknown word \"help\""), std::string::npos) << value.Err;
    value = Sim({"show", "--", "--help"});
    EXPECT_EQ(value.Status, sim::kExitFailure);
    EXPECT_NE(value.Err.find("cannot read --help"), std::string::npos) << value.Err;

    // Every check, each on a line with its level, without a module.
    const Outcome checks = Sim({"validate", "--list-checks"});
    EXPECT_EQ(checks.Status, 0) << checks.Err;
    for (const sim::CheckInfo& check : sim::AllChecks()) {
        EXPECT_NE(checks.Out.find("\n  " + std::to_string(check.Level) + "    " + check.Name + " "),
                  std::string::npos)
            << check.Name << " in\n" << checks.Out;
    }

    const Outcome version = Sim({"--version"});
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("melvara-sim ") + MELVARA_VERSION + " (contract " +
                               std::to_string(MELVARA_CONTRACT_VERSION_MAJOR) + "." +
                               std::to_string(MELVARA_CONTRACT_VERSION_MINOR) + ")\n");
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

// Paths are checked before anything runs; what is not a file to read or
// write is refused at once, never waited on; "-" is standard output.
TEST(Cli, PathsAreCheckedFirstAndNothingWaitsOnAPipe) {
    const fs::path dir = fs::temp_directory_path() / "melvara-sim-cli-paths";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string pipe = (dir / "pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::vector<std::string> validate = {"validate", "--module", "/nonexistent/m.so"};
    const std::vector<std::string> run = {"run", "--module", "/nonexistent/m.so", "--command",
                                          "compare"};
    const auto with = [](std::vector<std::string> args, std::vector<std::string> more) {
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* err;  // in standard error; standard output stays empty
    };
    const Case cases[] = {
        {with(validate, {"--level", "4", "--junit", "/nonexistent/x.xml"}), 1,
         "cannot write /nonexistent/x.xml: there is no folder /nonexistent"},
        {with(validate, {"--json", dir.string()}), 1, "it is a directory"},
        {with(validate, {"--json", "-", "--junit", "/dev/stdout"}), 2,
         "--json and --junit cannot both go to standard output"},
        {with(run, {"--score", kPiece, "--out", "/dev/zero"}), 1, "it is a device"},
        {with(run, {"--score", kPiece, "--json", "/nonexistent/r.json"}), 1,
         "cannot write /nonexistent/r.json: there is no folder /nonexistent"},
        {with(run, {"--score", kPiece, "--json", "-", "--out", "/dev/stdout"}), 2,
         "--json and --out cannot both go to standard output"},
        {with(run, {"--score", pipe}), 1, "it is a pipe that nothing was written to"},
        {with(run, {"--score", "/dev/zero"}), 1, "it is a device, not a file to read"},
        {with(run, {"--score", kPiece, "--select", "measures 4-9"}), 2,
         "\"measures 4-9\": the score has 3 measures"},
    };
    for (const Case& c : cases) {
        const Outcome outcome = Sim(c.args);
        EXPECT_EQ(outcome.Status, c.status) << c.err;
        EXPECT_NE(outcome.Err.find(c.err), std::string::npos) << outcome.Err;
        EXPECT_EQ(outcome.Out, "") << c.err;
    }
    const Outcome preset = Sim({"generate", "--preset", "one-tuplet", "--out", "-"});
    EXPECT_EQ(preset.Status, 0) << preset.Err;
    // The score the validator runs on, as its repeat commands need it.
    EXPECT_TRUE(sim::ParseScore(preset.Out, "one-tuplet.json") == sim::OneTupletScore().Document);
    fs::remove_all(dir);
}

// run --json: every part of the report, texts escaped so that they read
// back as they were.
TEST(Cli, RunReportsAsJson) {
    sim::Score score;
    score.SetMeasures(1).SetLayers(1, {});
    sim::Host host(score);
    host.Boxes().ScriptAnswers({sim::kIdNo});
    host.ShowMessageBox(host.Window(), u"Copy \"all\"?\nC:\\x", u"Ask", sim::kBoxYesNo);
    sim::RunOptions options;
    options.ModulePath = "dir/m\\.so";
    options.ScorePath = "s.json";
    sim::RunReport report;
    report.Options = &options;
    report.RunHost = &host;
    report.Index = 2;
    report.Selection = "measures 1:0-1:2147483647";
    report.SelectionWarnings = {"cut"};
    report.Invoked = true;
    report.InvokeResult = 0;
    report.UnusedControls = {"--fail-call 9: the module made 0 host calls"};
    sim::ScoreChange change;
    change.Where = "defaults";
    change.Field = "Position1";
    change.Old = "0";
    change.New = "99";
    report.Changes = {change};
    report.Warnings = {"MelvaraExtensionInvoke answered 0, not 1"};
    report.Status = sim::kExitWarnings;

    auto json = nlohmann::json::parse(sim::FormatRunJson(report));
    EXPECT_EQ(json["module"], "dir/m\\.so");
    EXPECT_EQ(json["host_version"], "0x19000000");
    EXPECT_EQ(json["command"]["index"], 2);
    EXPECT_TRUE(json["command"]["title"].is_null()) << "not in the menu";
    EXPECT_FALSE(json["summary"]["in_menu"]);
    ASSERT_EQ(json["boxes"].size(), 1u);
    EXPECT_EQ(json["boxes"][0]["text"], "Copy \"all\"?\nC:\\x");
    EXPECT_EQ(json["boxes"][0]["buttons"], "Yes/No");
    EXPECT_EQ(json["boxes"][0]["answer"], "No");
    EXPECT_EQ(json["summary"]["invoke_result"], 0);
    EXPECT_EQ(json["summary"]["frames"]["loaded"], 0);
    EXPECT_EQ(json["summary"]["unused_controls"][0], report.UnusedControls[0]);
    EXPECT_EQ(json["selection_warnings"][0], "cut");
    EXPECT_EQ(json["changes"][0]["field"], "Position1");
    EXPECT_EQ(json["changes"][0]["new"], "99");
    EXPECT_EQ(json["warnings"][0], report.Warnings[0]);
    EXPECT_TRUE(json["fault"].is_null());
    EXPECT_EQ(json["status"], 7);

    // A run that ended in the module: no summary, the fault named.
    report.Invoked = false;
    report.Fault = "MelvaraExtensionInvoke crashed: SIGSEGV";
    report.Status = sim::kExitModuleCrashed;
    json = nlohmann::json::parse(sim::FormatRunJson(report));
    EXPECT_TRUE(json["summary"].is_null());
    EXPECT_EQ(json["fault"], report.Fault);
    EXPECT_EQ(json["status"], 4);
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

    // Output that cannot be written (a full disk) is not a success.
    std::ostringstream full;
    std::ostringstream err;
    full.setstate(std::ios::badbit);
    EXPECT_EQ(sim::RunMain({"show", kSingle}, full, err), sim::kExitFailure);
    EXPECT_EQ(sim::RunMain({"diff", kPiece, kSingle}, full, err), 2) << "not 1, 'they differ'";
    EXPECT_NE(err.str().find("cannot write the output"), std::string::npos) << err.str();
}

}  // namespace
