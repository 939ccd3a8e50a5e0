// Level 2 of melvara-sim validate: the module's commands.
//
// Every command the module offers, on scores from empty to large, with no
// selection, the whole score and regions that cut it, its message boxes
// answered by default and declined.
#include "sim/host/HostExports.h"
#include "sim/host/MessageBoxRecord.h"
#include "sim/score/Selection.h"
#include "sim/support/Text.h"
#include "sim/validate/Checks.h"
#include "sim/validate/Invocation.h"
#include "sim/validate/ProcessWatch.h"
#include "sim/validate/Scores.h"

namespace sim::checks {
namespace {

// Answers No to every box that offers it; other boxes get their default
// button.
const std::vector<int> kDeclining(8, kIdNo);

CheckResult RunCommands(CheckContext& context, const std::vector<NamedScore>& scores) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    size_t runs = 0;
    size_t boxes = 0;
    std::string versions = Hex(kValidateHostVersion, 8);
    std::vector<MenuEntry> menu = ReadMenu(context.Module(), kValidateHostVersion);
    // The host of today, then an older one: the version argument of every
    // call stays 0x19000000 whatever the host's version.
    for (const uint32_t version : {kValidateHostVersion, kOlderHostVersion}) {
        if (version != kValidateHostVersion) {
            context.Module().Unload();
            if (auto skip = context.LoadModule())
                return Failed("loaded again, " + skip->Reason);
            indexes = context.MenuIndexes(version);
            menu = ReadMenu(context.Module(), version);
            if (!indexes.empty())
                versions += " and " + Hex(version, 8);
        }
        const std::string at =
            version == kValidateHostVersion ? "" : ", host version " + Hex(version, 8);
        CommandWatch watch;
        size_t runsInLoad = 0;
        for (const NamedScore& score : scores) {
            for (int16_t index : indexes) {
                for (const auto& selection : SelectionsOf(score.Document)) {
                    // Declining again only where a box offered No.
                    bool offeredNo = false;
                    for (const bool declining : {false, true}) {
                        if (declining && !offeredNo)
                            break;
                        Invocation run = CommandOn(score, index, selection);
                        run.HostVersion = version;
                        run.Where += at;
                        if (declining) {
                            run.Where += ", answering No";
                            run.Answers = kDeclining;
                        }
                        const InvocationResult result = Invoke(context, run);
                        if (result.Failure)
                            return *result.Failure;
                        watch.Note();
                        ++runs;
                        ++runsInLoad;
                        boxes += result.Boxes;
                        offeredNo = result.OfferedNo;
                    }
                }
            }
        }
        const std::string load = "the " + std::to_string(runsInLoad) + " commands of one load" + at;
        if (const auto growth = watch.Growth())
            context.NoteWarning(Warned(*growth, load));
        // The host may read the menu again at any time: it is the same.
        context.SetWhere("reading the menu again after " + load);
        if (const auto change = MenuDifference(menu, ReadMenu(context.Module(), version)))
            return Failed("the menu changed within one load: " + *change, load);
    }
    return Passed(std::to_string(runs) + " commands (host versions " + versions + "), " +
                  std::to_string(boxes) + " message boxes; frames balanced, the contract kept");
}

}  // namespace

CheckResult InvokeEmptyScore(CheckContext& context) {
    return RunCommands(context, {EmptyScore()});
}

CheckResult InvokeOneTuplet(CheckContext& context) {
    return RunCommands(context, {OneTupletScore()});
}

CheckResult InvokeSamples(CheckContext& context) {
    return RunCommands(context, Samples());
}

CheckResult InvokeLargeScore(CheckContext& context) {
    return RunCommands(context, {LargeScore()});
}

// One host, whose current document changes between the commands: a record
// read while one document was current must not be written while another is.
CheckResult InvokeTwoDocuments(CheckContext& context) {
    std::vector<int16_t> indexes;
    if (auto skip = context.LoadForCommands(indexes))
        return *skip;
    const NamedScore score = Samples().front();
    Host host(score.Document);
    CurrentHostScope current(host);
    const RegionRecord whole = WholeScore(score.Document).Region;
    constexpr int16_t kDocuments[] = {1, 2, 1, 2};
    size_t runs = 0;
    for (int16_t index : indexes) {
        for (int16_t document : kDocuments) {
            host.SetCurrentDocument(document);
            const std::string where = DescribeRun(index, score.Name, whole, score.Document) +
                                      ", document " + std::to_string(document) +
                                      " current after commands in the other";
            const int answer = InvokeOn(context, host, index, whole, where);
            if (host.Frames().Counts().Held != 0)
                host.ReportFramesStillHeld();
            if (auto failure = Judge(host, where))
                return *failure;
            if (auto failure = InvokeAnswerFailure(answer, where))
                return *failure;
            if (auto warning = Suspect(host, where))
                context.NoteWarning(*warning);
            ++runs;
        }
    }
    return Passed(std::to_string(runs) + " commands, the current document changing between them");
}

}  // namespace sim::checks
