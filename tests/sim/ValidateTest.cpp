// Pieces of melvara-sim validate that its runs over the test modules do not
// show one by one: the export tables it reads, the message box styles it
// accepts, the settings and menus it compares, and its reports for CI.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cfenv>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <nlohmann/json.hpp>

#include <sstream>

#include "sim/host/CallLog.h"
#include "sim/module/ModuleLoader.h"
#include "sim/support/Text.h"
#include "sim/validate/CheckChannel.h"
#include "sim/validate/ChildProcess.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/ModuleFile.h"
#include "sim/validate/ProcessWatch.h"
#include "sim/validate/Reports.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TheSevenExports() {
    const auto& names = sim::LoadedModule::ExportNames();
    return Sorted(std::vector<std::string>(names.begin(), names.end()));
}

TEST(Validate, ExportTablesAreReadFromELFAndPEFiles) {
    std::string error;
    const auto elf = sim::ReadExportNames(MELVARA_TEST_MODULE, error);
    ASSERT_TRUE(elf) << error;
    EXPECT_EQ(Sorted(*elf), TheSevenExports());

    const fs::path pe = MELVARA_WINDOWS_TEST_MODULE;
    if (fs::exists(pe)) {
        const auto names = sim::ReadExportNames(pe.string(), error);
        ASSERT_TRUE(names) << error;
        EXPECT_EQ(Sorted(*names), TheSevenExports());
    }

    // A file cut short, and one of neither kind, are refused with a reason.
    const fs::path cut = fs::path(testing::TempDir()) / "cut.so";
    {
        std::ifstream in(MELVARA_TEST_MODULE, std::ios::binary);
        std::vector<char> head(70);
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        std::ofstream(cut, std::ios::binary).write(head.data(), 70);
    }
    EXPECT_FALSE(sim::ReadExportNames(cut.string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(sim::ReadExportNames(std::string(MELVARA_SAMPLES_DIR) + "/piece.json", error));
    EXPECT_EQ(error, "neither an ELF nor a PE file");
}

// Functions linked to from the host program are the host's, in either
// kind of file; those of the system (USER32's IsWindow, MessageBoxW) are not.
TEST(Validate, OnlyFunctionsOfTheHostProgramCountAsLinkedHostFunctions) {
    const fs::path elf = fs::path(MELVARA_TEST_MODULE).parent_path();
    const fs::path pe = fs::path(MELVARA_WINDOWS_TEST_MODULE).parent_path();
    const std::vector<std::string> host = {"MX_LoadKData", "MX_SaveKData"};
    const std::pair<fs::path, std::vector<std::string>> cases[] = {
        {elf / "links-system-functions.so", {}},
        {elf / "links-host-functions.so", host},
        {pe / "links-system-functions.mxt", {}},
        {pe / "links-host-functions.mxt", host},
    };
    for (const auto& [file, linked] : cases) {
        if (file.extension() == ".mxt" && !fs::exists(pe))
            continue;  // no Windows build
        std::string error;
        const auto imports = sim::ReadHostImports(file.string(), error);
        ASSERT_TRUE(imports) << file << ": " << error;
        EXPECT_EQ(*imports, linked) << file;
    }
}

TEST(Validate, MessageBoxStylesAreThoseTheSystemShows) {
    struct Case {
        unsigned Style;
        const char* Problem;  // nullptr: valid
    };
    const Case cases[] = {
        {0x0, nullptr},                    // OK
        {0x4 | 0x20 | 0x100, nullptr},     // Yes/No, question, No the default
        {0x3 | 0x200 | 0x40000, nullptr},  // Yes/No/Cancel, Cancel the default, top-most
        {0x0 | 0x4000 | 0x100, nullptr},   // OK and Help, Help the default
        {0x6, nullptr},                    // Cancel/Try Again/Continue, the last set
        {0x40, nullptr},                   // information, the last icon
        {0x7, "buttons 0x7 are none of MessageBoxW's sets"},
        {0x50, "icon 0x50 is none of MessageBoxW's icons"},
        {0x4 | 0x200, "default button 3 of 2 buttons"},
        {0x0 | 0x100, "default button 2 of 1 button"},
        {0x3000, "modality 0x3000 is none of MessageBoxW's"},
    };
    for (const Case& c : cases) {
        const auto problem = sim::BoxStyleProblem(c.Style);
        if (c.Problem == nullptr)
            EXPECT_FALSE(problem) << std::hex << c.Style << ": " << *problem;
        else
            EXPECT_EQ(problem.value_or("valid"), c.Problem) << std::hex << c.Style;
    }
}

// Each setting of the process that a module may leave changed is named;
// arithmetic that only raises floating-point flags, or a thread started and
// joined, changes no setting.
TEST(Validate, ProcessSettingsThatAModuleChangedAreNamed) {
    const fs::path folder = fs::current_path();
    const mode_t mask = umask(022);
    umask(mask);
    char masks[32];
    std::snprintf(masks, sizeof masks, "the umask (%04o, then 0077)", static_cast<unsigned>(mask));
    struct sigaction usr1 {};
    struct Case {
        std::string Named;  // empty: no change
        std::function<void()> Change;
        std::function<void()> Restore;
    };
    const Case cases[] = {
        {"the working folder (" + folder.string() + ", then ",
         [] { fs::current_path(fs::temp_directory_path()); }, [&] { fs::current_path(folder); }},
        {"the floating-point environment (x87 control 0x037F, then 0x0B7F; MXCSR control 0x1F80, "
         "then 0x5F80)",
         [] { std::fesetround(FE_UPWARD); }, [] { std::fesetround(FE_TONEAREST); }},
        {masks, [] { umask(077); }, [&] { umask(mask); }},
        {"the handling of SIGUSR1",
         [&] {
             sigaction(SIGUSR1, nullptr, &usr1);
             std::signal(SIGUSR1, SIG_IGN);
         },
         [&] { sigaction(SIGUSR1, &usr1, nullptr); }},
        {"",
         [] {
             volatile double third = 1.0;
             third = third / 3.0;  // inexact
             volatile double huge = 1e308;
             huge = huge * 10.0;  // overflow
         },
         [] { std::feclearexcept(FE_ALL_EXCEPT); }},
        // The C library handles signals of its own once a thread starts.
        {"", [] { std::thread([] {}).join(); }, [] {}},
    };
    for (const Case& c : cases) {
        const sim::ProcessSettings before = sim::ProcessSettings::Read();
        c.Change();
        const auto change = sim::SettingsChange(before, sim::ProcessSettings::Read());
        c.Restore();
        if (c.Named.empty()) {
            EXPECT_FALSE(change) << *change;
        } else {
            EXPECT_EQ(change.value_or("").rfind(c.Named, 0), 0u) << change.value_or("nothing");
        }
        EXPECT_FALSE(sim::SettingsChange(before, sim::ProcessSettings::Read())) << c.Named;
    }
}

// A menu read again within one load is compared field by field, the
// texts first, and the first difference named.
TEST(Validate, AMenuReadAgainIsComparedCommandByCommand) {
    sim::MenuEntry entry;
    entry.NarrowFilled = entry.WideFilled = true;
    std::strcpy(entry.Narrow.Title, "Probe");
    std::u16string_view wide = u"Probe";
    std::copy(wide.begin(), wide.end(), entry.Wide.Title);
    entry.Narrow.ItemFlag = entry.Wide.ItemFlag = 1;
    const std::vector<sim::MenuEntry> menu = {entry};
    struct Case {
        const char* Difference;  // nullptr: the same
        std::function<void(std::vector<sim::MenuEntry>&)> Change;
    };
    const Case cases[] = {
        {nullptr, [](auto&) {}},
        {"1 command, then 2 commands", [](auto& m) { m.push_back(m[0]); }},
        {"index 0: the 8-bit Title \"Probe\", then \"Prob\"",
         [](auto& m) { m[0].Narrow.Title[4] = 0; }},
        {"index 0: the UTF-16 ShortName \"\", then \"S\"",
         [](auto& m) { m[0].Wide.ShortName[0] = u'S'; }},
        {"index 0: the UTF-16 ItemFlag 1, then 0", [](auto& m) { m[0].Wide.ItemFlag = 0; }},
        {"index 0: filled, then not filled (8-bit record)",
         [](auto& m) { m[0].NarrowFilled = false; }},
    };
    for (const Case& c : cases) {
        std::vector<sim::MenuEntry> again = menu;
        c.Change(again);
        const auto difference = sim::MenuDifference(menu, again);
        EXPECT_EQ(difference.value_or("the same"), c.Difference ? c.Difference : "the same");
    }
}

TEST(Validate, ReportsForCIHoldEveryCheckAndEscapeTheirTexts) {
    sim::ValidateOptions options;
    options.ModulePath = "dir/<odd> & \"module\".so";
    options.Level = 2;
    const sim::CheckInfo first{"exports", 1, "", nullptr};
    const sim::CheckInfo second{"invoke-samples", 2, "", nullptr};
    const sim::CheckInfo third{"invoke-large-score", 2, "", nullptr};
    const sim::CheckInfo fourth{"invoke-two-documents", 2, "", nullptr};
    sim::Validation validation;
    validation.Options = &options;
    // A module's own texts (its export names, its output) need not be UTF-8.
    validation.Checks = {
        {&first, sim::Passed("the seven exports; also 1 other: Caf\xE9"), std::nullopt},
        {&second,
         sim::Failed("frame 3 \"kept\" <never released>\n", "menu index 1 & more",
                     "#12 MX_LoadTGF(null, slot 1) = frame 3"),
         std::nullopt},
        {&third, sim::Skipped("the module offers no command\x01"), std::nullopt},
        // The same fault, other numbers and details: reported once, under the first.
        {&fourth,
         sim::Failed("frame 14 \"kept\" <never released>\n; it had 2 entries", "document 2",
                     "#40 MX_LoadTGF(null, slot 2) = frame 14"),
         std::nullopt},
    };
    sim::GroupFaults(validation);
    validation.Checks[1].Result.Output = "Men\xFC \xC3";
    validation.Seconds = 1.5;

    const auto json = nlohmann::json::parse(sim::FormatJson(validation));
    EXPECT_EQ(json["module"], options.ModulePath);
    ASSERT_EQ(json["checks"].size(), 4u);
    EXPECT_EQ(json["checks"][3]["same_fault_as"], "invoke-samples");
    EXPECT_TRUE(json["checks"][1]["same_fault_as"].is_null());
    EXPECT_EQ(json["checks"][1]["status"], "fail");
    EXPECT_EQ(json["checks"][1]["reason"], "frame 3 \"kept\" <never released>\n");
    EXPECT_EQ(json["checks"][1]["call"], "#12 MX_LoadTGF(null, slot 1) = frame 3");
    EXPECT_EQ(json["checks"][2]["reason"], "the module offers no command\x01");
    EXPECT_EQ(json["checks"][0]["reason"], "the seven exports; also 1 other: Caf\xEF\xBF\xBD");
    EXPECT_EQ(json["summary"]["failed"], 2);
    EXPECT_EQ(json["summary"]["skipped"], 1);

    const std::string junit = sim::FormatJunit(validation);
    EXPECT_NE(junit.find("<testsuite name=\"level 2\" tests=\"3\" failures=\"2\" skipped=\"1\""),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("<failure message=\"frame 3 &quot;kept&quot; &lt;never released&gt;\n\">"
                         "in menu index 1 &amp; more; call: #12 MX_LoadTGF(null, slot 1) = frame 3\n"
                         "repeat: melvara-sim validate --module 'dir/&lt;odd&gt; &amp; "
                         "&quot;module&quot;.so' --check invoke-samples</failure>"),
              std::string::npos)
        << junit;
    EXPECT_EQ(junit.find('\x01'), std::string::npos) << "no control characters in XML";
    EXPECT_NE(junit.find("<system-out>Men\xEF\xBF\xBD \xEF\xBF\xBD</system-out>"),
              std::string::npos)
        << junit;
    EXPECT_NE(junit.find("the same fault as invoke-samples"), std::string::npos) << junit;
    EXPECT_EQ(sim::FormatSummary(validation),
              "4 checks up to level 2 in 1.500 s: 1 passed, 2 failed (1 fault), 1 skipped");
    const std::string lines = sim::FormatCheck(validation, 1);
    EXPECT_NE(lines.find("\n      also broke 1 other check: invoke-two-documents\n"),
              std::string::npos)
        << lines;
    EXPECT_EQ(sim::FormatCheck(validation, 3), "");
}

// A warning that many checks give is printed once, like a failure, and
// never grouped with a failure of the same text.
TEST(Validate, WarningsAreGroupedLikeFailures) {
    sim::ValidateOptions options;
    options.ModulePath = "m.so";
    options.Level = 3;
    const sim::CheckInfo infos[] = {{"invoke-empty-score", 2, "", nullptr},
                                    {"invoke-samples", 2, "", nullptr},
                                    {"hostile-odd-answers", 3, "", nullptr},
                                    {"hostile-failing-calls", 3, "", nullptr}};
    const std::string box = "a message box of the one-character caption \"F\"";
    sim::Validation validation;
    validation.Options = &options;
    validation.Checks = {
        {&infos[0], sim::Warned(box, "menu index 0", "#3 MessageBoxW(null)"), std::nullopt},
        {&infos[1], sim::Failed(box, "menu index 1", "#4 MessageBoxW(null)"), std::nullopt},
        {&infos[2], sim::Warned(box, "menu index 2", "#9 MessageBoxW(null)"), std::nullopt},
        {&infos[3], sim::Warned("another warning", "menu index 0"), std::nullopt},
    };
    sim::GroupFaults(validation);
    EXPECT_FALSE(validation.Checks[1].SameFaultAs) << "a failure is not a warning";
    EXPECT_EQ(validation.Checks[2].SameFaultAs, 0u);
    EXPECT_FALSE(validation.Checks[3].SameFaultAs);
    EXPECT_NE(sim::FormatCheck(validation, 0).find("\n      also in 1 other check: "
                                                   "hostile-odd-answers\n"),
              std::string::npos)
        << sim::FormatCheck(validation, 0);
    EXPECT_EQ(sim::FormatCheck(validation, 2), "");
    const std::string summary = sim::FormatSummary(validation);
    EXPECT_NE(summary.find("0 passed, 3 with a warning (2 warnings), 1 failed"), std::string::npos)
        << summary;
    validation.Checks.erase(validation.Checks.begin() + 1, validation.Checks.end());
    const std::string alone = sim::FormatSummary(validation);
    EXPECT_NE(alone.find("0 passed, 1 with a warning, 0 failed"), std::string::npos) << alone;
}

TEST(Validate, AModulesTextIsShownWithItsControlsVisible) {
    struct Case {
        const char* Text;
        bool KeepLines;
        const char* Shown;
    };
    const Case cases[] = {
        {"\x1b[32mPASS\x1b[0m", false, "\\x1B[32mPASS\\x1B[0m"},
        {"a\tb\nc\r\n", true, "a\tb\nc\n"},
        {"a\nb\rc", false, "a\\x0Ab\\x0Dc"},
        {"\xC2\x9B" "2J \x9B" "2J", false, "\\u009B2J \\x9B2J"},  // C1 and a lone byte
        {"abc\xE2\x80\xAE" "fdp.exe", false, "abc\\u202Efdp.exe"},       // right-to-left override
        {"Caf\xC3\xA9 \xE2\x99\xAA \x7F", false, "Caf\xC3\xA9 \xE2\x99\xAA \\x7F"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sim::VisibleText(c.Text, c.KeepLines), c.Shown) << c.Text;
}

TEST(Validate, OutputKeepsItsFirstAndLastBytesAndCountsTheRest) {
    sim::BoundedOutput output(4);
    output.Append("ab");
    EXPECT_EQ(output.Text(), "ab");
    output.Append("cdef");
    EXPECT_EQ(output.Text(), "abcdef");
    output.Append("ghij");  // the tail's oldest bytes go round
    EXPECT_EQ(output.Text(), "abcd\n[... 2 bytes left out ...]\nghij");
    output.Append("0123456789");
    EXPECT_EQ(output.Text(), "abcd\n[... 12 bytes left out ...]\n6789");
    output.Append("kl");  // in a full tail, in place of the oldest
    EXPECT_EQ(output.Text(), "abcd\n[... 14 bytes left out ...]\n89kl");
    EXPECT_EQ(output.Total(), 22u);
}

TEST(Validate, OnlyMessagesWithTheChecksKeyAreTheChecks) {
    // The check's side without a channel writes its messages where the
    // reader can take them back, under the key "check".
    std::ostringstream written;
    sim::CheckReporter reporter(written);
    sim::CheckResult failure = sim::Failed("frame 1\tkept\nnever \\ released", "menu index 0",
                                           "#2 MX_LoadTGF");
    failure.Repeat = sim::RunRepeat{{"preset", "empty"}, {"--index", "0", "--answer", "yes no"}};
    reporter.Result(failure);
    const std::string line = written.str();
    ASSERT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;

    sim::CheckMessageReader reader("check");
    // A line split anywhere, and lines from elsewhere around it.
    std::vector<sim::CheckMessage> got =
        reader.Feed("melvara-sim-validate-result\tPASS\n" + line.substr(0, 9));
    const std::vector<sim::CheckMessage> rest = reader.Feed(line.substr(9) + "other\tresult\tPASS");
    got.insert(got.end(), rest.begin(), rest.end());
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].What, sim::CheckMessage::Kind::Foreign);
    EXPECT_EQ(got[1].What, sim::CheckMessage::Kind::Result);
    EXPECT_EQ(got[1].Process, sim::ThisProcessId());
    const sim::CheckResult& back = got[1].Result;
    EXPECT_EQ(back.Status, sim::Verdict::Fail);
    EXPECT_EQ(back.Reason, failure.Reason);
    EXPECT_EQ(back.Where, failure.Where);
    EXPECT_EQ(back.Call, failure.Call);
    ASSERT_TRUE(back.Repeat);
    EXPECT_EQ(back.Repeat->Score, failure.Repeat->Score);
    EXPECT_EQ(back.Repeat->Arguments, failure.Repeat->Arguments);
    // The unfinished line from elsewhere ends as one message, however long.
    got = reader.Feed(std::string(3 << 20, 'x') + "\n" + "check\tend\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].What, sim::CheckMessage::Kind::Foreign);
    EXPECT_EQ(got[1].What, sim::CheckMessage::Kind::CallEnded);
    // A whole result line under another key is not the check's.
    got = reader.Feed("kcehc" + line.substr(5));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].What, sim::CheckMessage::Kind::Foreign);
}

TEST(Validate, TheLastHostCallReadsBackFromItsWord) {
    EXPECT_EQ(sim::UnpackedHostCallText(0), "none before it");
    EXPECT_EQ(sim::UnpackedHostCallText(sim::PackHostCall(405, sim::HostFn::LoadTGF, false)),
              "#405 MX_LoadTGF");
    EXPECT_EQ(sim::UnpackedHostCallText(sim::PackHostCall(0, sim::HostFn::MessageBoxW, true)),
              "MessageBoxW, which had not returned");
}

}  // namespace
