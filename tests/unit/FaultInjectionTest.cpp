#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "framework/core/MCBlockPool.h"
#include "framework/data/TupletDefinition.h"
#include "framework/data/TupletRules.h"
#include "plugin/MelvaraExtension.h"
#include "sim/score/ScoreFile.h"
#include "sim/score/Selection.h"
#include "tests/support/SimHostTest.h"

// Every command on every sample, with each of its host calls made to fail
// in turn: the n-th call, for every n from 1 to the number of calls the
// command makes in a clean run. Whatever fails, the command ends, returns
// every frame once, shows only boxes it may show, and leaves each record
// either as it was or as the clean run wrote it: no record partly written,
// none outside the region, none created or deleted.
//
// One exception, which no module can avoid: a failure during Change's
// counting walk (a refused frame, a failed tuplet load) can hide a tuplet,
// so that a region of two looks like a region of one. The defaults may then
// take one of the region's tuplets, whole, as Change copies it.

namespace {

struct Command {
    const char* Name;
    int16_t Index;
    int Answer;  // to "Copy Position?"; 0 for none
};

constexpr Command kCommands[] = {
    {"reset", 0, 0},
    {"compare", 1, 0},
    {"change, yes", 2, sim::kIdYes},
    {"change, no", 2, sim::kIdNo},
};

const std::string kDefaultsAlert =
    "The Default Tuplet Definition could not be loaded. The command was not carried out.";
const std::string kOutOfMemoryAlert =
    "There was not enough memory to finish the command. It was stopped.";

std::filesystem::path SamplesDir() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "samples";
}

std::vector<std::filesystem::path> Samples() {
    std::vector<std::filesystem::path> samples;
    for (const auto& file : std::filesystem::directory_iterator(SamplesDir())) {
        if (file.path().extension() == ".json") samples.push_back(file.path());
    }
    std::sort(samples.begin(), samples.end());
    return samples;
}

struct Outcome {
    sim::Score Result;
    std::vector<sim::BoxRecord> Boxes;
    uint64_t Calls = 0;
    uint64_t Allocations = 0;  // the module's
    // Frames handed out that the module did not hand back exactly once
    // (whether or not the host's MX_FreeTGF then failed), and releases of
    // frames twice or never handed out.
    size_t FramesNotReturnedOnce = 0;
    size_t FrameErrors = 0;
    std::vector<std::string> Warnings;
    int InvokeResult = 0;
    std::vector<sim::RecordKey> Loaded;  // records loaded, each once
};

class FaultInjection : public SimHostTest {
protected:
    // Runs the command on a host of its own holding the score, with call
    // number failCall failing, and the module's allocation number
    // failAllocation (0: none).
    Outcome Run(const sim::Score& score, const sim::Selection& selection, const Command& command,
                uint64_t failCall, uint64_t failAllocation = 0) {
        sim::Host host(score);
        if (failCall != 0) host.Failures().FailCall(failCall);
        if (command.Answer != 0) host.Boxes().ScriptAnswers({command.Answer});
        sim::CurrentHostScope current(host);
        testplatform::Current().MessageBoxHandler = [&host](void* window, const char16_t* text,
                                                            const char16_t* caption, unsigned style) {
            return host.ShowMessageBox(window, text, caption, style);
        };
        RegionRecord region = selection.Region;
        Outcome outcome;
        const uint64_t allocationsBefore = mcpool::Allocations();
        mcpool::FailAllocation(failAllocation);
        outcome.InvokeResult =
            MelvaraExtensionInvoke(host.Window(), command.Index, selection.Present ? &region : nullptr);
        mcpool::FailAllocation(0);
        outcome.Allocations = mcpool::Allocations() - allocationsBefore;
        host.ReportFramesStillHeld();
        outcome.Result = host.GetScore();
        outcome.Boxes = host.Boxes().List();
        outcome.Calls = host.Log().CallCount();
        outcome.Loaded = host.Monitor().LoadedRecords();
        std::map<uint64_t, int> returned;
        for (const sim::HostCall& call : host.Log().Calls()) {
            if (call.Function == sim::HostFn::LoadTGF && call.Frame != 0) returned.emplace(call.Frame, 0);
        }
        for (const sim::HostCall& call : host.Log().Calls()) {
            if (call.Function == sim::HostFn::FreeTGF) ++returned[call.Frame];
        }
        for (const auto& [frame, times] : returned) {
            if (frame == 0 || times != 1) ++outcome.FramesNotReturnedOnce;
        }
        for (const sim::FrameError& error : host.Frames().Errors()) {
            if (error.What != sim::FrameError::Kind::StillHeld) ++outcome.FrameErrors;
        }
        for (const std::string& warning : host.Monitor().Warnings()) {
            // A slot asked for with the region's start scope is the region's doing.
            if (warning.rfind("MX_SlotToInst asked for slot", 0) != 0) outcome.Warnings.push_back(warning);
        }
        return outcome;
    }

    static bool BoxAllowed(const Command& command, const sim::BoxRecord& box) {
        const std::string caption = box.CaptionUtf8();
        if (caption == "Error") return box.TextUtf8() == kDefaultsAlert;
        switch (command.Index) {
            case 0:
                return false;
            case 2:
                return caption == "Too Few/Many Tuplets" || caption == "Copy Position?";
            default:
                return caption == "Tuplet Compare Info";
        }
    }

    // The defaults as Change writes them from each tuplet of the region.
    static std::vector<sim::Bytes> DefaultsFromEachTuplet(const sim::Score& score,
                                                          const std::vector<sim::RecordKey>& tuplets,
                                                          bool withPosition) {
        std::vector<sim::Bytes> copies;
        const sim::Bytes* defaults = score.FindRecord(sim::kTupletDefaultsTag, sim::kTupletDefaultsKeys);
        if (defaults == nullptr || defaults->size() != TupletDefinition::kSize) return copies;
        for (const sim::RecordKey& key : tuplets) {
            const sim::Bytes* tuplet = score.FindRecord(key.Tag, key.Words);
            if (key.Tag != sim::kTupletTag || tuplet == nullptr || tuplet->size() != TupletDefinition::kSize) {
                continue;
            }
            TupletDefinition source;
            TupletDefinition target;
            std::copy(tuplet->begin(), tuplet->end(), source.Bytes);
            std::copy(defaults->begin(), defaults->end(), target.Bytes);
            CopyTupletDefinition(source, target, withPosition);
            copies.emplace_back(target.Bytes, target.Bytes + TupletDefinition::kSize);
        }
        return copies;
    }

    static void ExpectEachRecordOldOrClean(const sim::Score& original, const sim::Score& clean,
                                           const sim::Score& result,
                                           const std::vector<sim::Bytes>& defaultsAlsoAllowed = {}) {
        EXPECT_TRUE(result.Cells == original.Cells) << "entries changed";
        ASSERT_EQ(result.Records.size(), original.Records.size()) << "a record was created or deleted";
        for (const auto& [key, bytes] : original.Records) {
            auto found = result.Records.find(key);
            ASSERT_NE(found, result.Records.end()) << sim::TagText(key.Tag) << " " << sim::KeysText(key.Words);
            const sim::Bytes* written = clean.FindRecord(key.Tag, key.Words);
            const bool allowedDefaults =
                key.Tag == sim::kTupletDefaultsTag &&
                std::find(defaultsAlsoAllowed.begin(), defaultsAlsoAllowed.end(), found->second) !=
                    defaultsAlsoAllowed.end();
            EXPECT_TRUE(found->second == bytes || (written != nullptr && found->second == *written) ||
                        allowedDefaults)
                << sim::TagText(key.Tag) << " " << sim::KeysText(key.Words)
                << " is neither as it was nor as the command writes it";
        }
    }

    // The whole score, then each measure alone.
    static std::vector<std::pair<std::string, sim::Selection>> Selections(const sim::Score& score) {
        std::vector<std::pair<std::string, sim::Selection>> selections = {{"all", sim::WholeScore(score)}};
        for (int16_t measure = 1; measure <= score.Measures; ++measure) {
            const std::string text = "measure " + std::to_string(measure);
            std::string error;
            auto selection = sim::ParseSelection(text, score, error);
            if (selection) selections.emplace_back(text, *selection);
        }
        return selections;
    }
};

TEST_F(FaultInjection, EveryFailedHostCallLeavesEachRecordAsItWasOrAsTheCommandWritesIt) {
    const std::vector<std::filesystem::path> samples = Samples();
    ASSERT_FALSE(samples.empty()) << "no samples in " << SamplesDir();

    uint64_t totalRuns = 0;
    for (const auto& path : samples) {
        std::string error;
        const std::optional<sim::Score> score = sim::ReadScoreFile(path, error);
        ASSERT_TRUE(score) << error;
        for (const auto& [selectionText, selection] : Selections(*score)) {
            for (const Command& command : kCommands) {
                const std::string scenario = path.filename().string() + ", " + selectionText + ", " + command.Name;
                SCOPED_TRACE(scenario);
                const Outcome clean = Run(*score, selection, command, 0);
                ASSERT_EQ(clean.FrameErrors, 0u);
                ASSERT_EQ(clean.FramesNotReturnedOnce, 0u);
                ASSERT_TRUE(clean.Warnings.empty()) << clean.Warnings.front();
                ASSERT_GT(clean.Calls, 0u);
                if (command.Index == 1) {
                    ASSERT_TRUE(clean.Result == *score) << "Compare changed the score";
                }
                std::vector<sim::Bytes> hiddenTupletDefaults;
                if (command.Index == 2) {
                    const Outcome compared = Run(*score, selection, kCommands[1], 0);
                    hiddenTupletDefaults =
                        DefaultsFromEachTuplet(*score, compared.Loaded, command.Answer == sim::kIdYes);
                }

                for (uint64_t n = 1; n <= clean.Calls; ++n) {
                    SCOPED_TRACE("call " + std::to_string(n) + " of " + std::to_string(clean.Calls) + " fails");
                    const Outcome failed = Run(*score, selection, command, n);
                    EXPECT_EQ(failed.InvokeResult, 1);
                    EXPECT_EQ(failed.FrameErrors, 0u);
                    EXPECT_EQ(failed.FramesNotReturnedOnce, 0u);
                    EXPECT_TRUE(failed.Warnings.empty()) << failed.Warnings.front();
                    EXPECT_LE(failed.Boxes.size(), 1u);
                    if (command.Index == 1) {
                        EXPECT_EQ(failed.Boxes.size(), 1u);
                    }
                    for (const sim::BoxRecord& box : failed.Boxes) {
                        EXPECT_TRUE(BoxAllowed(command, box)) << box.CaptionUtf8() << ": " << box.TextUtf8();
                    }
                    if (command.Index == 1) {
                        EXPECT_TRUE(failed.Result == *score) << "Compare changed the score";
                    } else {
                        ExpectEachRecordOldOrClean(*score, clean.Result, failed.Result, hiddenTupletDefaults);
                    }
                    if (HasFailure()) return;  // one scenario's report is enough
                    ++totalRuns;
                }
                std::cout << "[ faults   ] " << scenario << ": " << clean.Calls << " runs\n";
            }
        }
    }
    std::cout << "[ faults   ] " << totalRuns << " runs with one failed host call\n";
}

// The same commands, with each allocation of the module made to fail in
// turn (the walks' objects, the boxes' texts): the command stops there and
// its last box is the out-of-memory alert, after the question of Change at
// most. Records are left as they were, or as the clean run wrote them for
// Reset. Only Change can end without the alert: when memory ran out after it
// had saved the defaults, as the clean run does, and it then has nothing
// left to do.
TEST_F(FaultInjection, EveryFailedAllocationEndsTheCommandWithTheOutOfMemoryAlert) {
    uint64_t totalRuns = 0;
    for (const auto& path : Samples()) {
        std::string error;
        const std::optional<sim::Score> score = sim::ReadScoreFile(path, error);
        ASSERT_TRUE(score) << error;
        for (const auto& [selectionText, selection] : Selections(*score)) {
            for (const Command& command : kCommands) {
                SCOPED_TRACE(path.filename().string() + ", " + selectionText + ", " + command.Name);
                const Outcome clean = Run(*score, selection, command, 0);
                ASSERT_GT(clean.Allocations, 0u);
                for (uint64_t n = 1; n <= clean.Allocations; ++n) {
                    SCOPED_TRACE("allocation " + std::to_string(n) + " of " +
                                 std::to_string(clean.Allocations) + " fails");
                    const Outcome failed = Run(*score, selection, command, 0, n);
                    EXPECT_EQ(failed.InvokeResult, 1);
                    EXPECT_EQ(failed.FrameErrors, 0u);
                    EXPECT_EQ(failed.FramesNotReturnedOnce, 0u);
                    EXPECT_TRUE(failed.Warnings.empty()) << failed.Warnings.front();
                    std::vector<std::string> boxes;
                    for (const sim::BoxRecord& box : failed.Boxes) {
                        boxes.push_back(box.CaptionUtf8() + ": " + box.TextUtf8() + " (" +
                                        std::to_string(box.Style) + ")");
                    }
                    if (!boxes.empty() && boxes.back() == "Error: " + kOutOfMemoryAlert + " (16)") {
                        EXPECT_LE(boxes.size(), command.Index == 2 ? 2u : 1u);
                        if (boxes.size() == 2) {
                            EXPECT_EQ(failed.Boxes[0].CaptionUtf8(), "Copy Position?");
                        }
                        if (command.Index == 0) {
                            ExpectEachRecordOldOrClean(*score, clean.Result, failed.Result);
                        } else {
                            EXPECT_TRUE(failed.Result == *score) << "changed, then stopped";
                        }
                    } else {
                        EXPECT_EQ(command.Index, 2) << "no alert: " << ::testing::PrintToString(boxes);
                        EXPECT_EQ(failed.Boxes.size(), clean.Boxes.size());
                        EXPECT_TRUE(failed.Result == clean.Result) << "stopped, but not as saved";
                    }
                    if (HasFailure()) return;
                    ++totalRuns;
                }
            }
        }
    }
    std::cout << "[ faults   ] " << totalRuns << " runs with one failed allocation\n";
}

}  // namespace
