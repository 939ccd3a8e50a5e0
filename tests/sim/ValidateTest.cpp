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

#include "sim/module/ModuleLoader.h"
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
        // The same fault, other numbers: reported once, under the first.
        {&fourth,
         sim::Failed("frame 14 \"kept\" <never released>\n", "document 2",
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

}  // namespace
