// The table of checks by level, and their results.
#include "sim/validate/Check.h"

#include "sim/validate/Checks.h"

namespace sim {

CheckResult Passed(std::string what) {
    CheckResult result;
    result.Status = Verdict::Pass;
    result.Reason = std::move(what);
    return result;
}

CheckResult Skipped(std::string why) {
    CheckResult result;
    result.Status = Verdict::Skip;
    result.Reason = std::move(why);
    return result;
}

CheckResult Failed(std::string reason, std::string where, std::string call) {
    CheckResult result;
    result.Status = Verdict::Fail;
    result.Reason = std::move(reason);
    result.Where = std::move(where);
    result.Call = std::move(call);
    return result;
}

CheckResult Warned(std::string reason, std::string where, std::string call) {
    CheckResult result = Failed(std::move(reason), std::move(where), std::move(call));
    result.Status = Verdict::Warn;
    return result;
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "PASS";
        case Verdict::Warn:
            return "WARN";
        case Verdict::Fail:
            return "FAIL";
        case Verdict::Skip:
            return "SKIP";
    }
    return "?";
}

const std::vector<CheckInfo>& AllChecks() {
    static const std::vector<CheckInfo> all = [] {
        std::vector<CheckInfo> list = {
            {"exports", 1, "exactly the seven exports", checks::Exports},
            {"imports", 1, "the host functions found by name, none linked to", checks::Imports},
            {"version", 1, "MelvaraExtensionVersion answers the host version", checks::Version},
            {"init", 1, "what MelvaraExtensionInit does to the word", checks::Init},
            {"enumerate", 1, "both menu records at several host versions", checks::Enumerate},
            {"menu-status", 1, "MelvaraExtensionGetMenuStatus", checks::MenuStatus},
            {"terminate", 1, "MelvaraExtensionTerminate, then loading again", checks::Terminate},
            {"invoke-empty-score", 2, "every command on an empty score", checks::InvokeEmptyScore},
            {"invoke-one-tuplet", 2, "every command on one tuplet", checks::InvokeOneTuplet},
            {"invoke-samples", 2, "every command on the sample scores", checks::InvokeSamples},
            {"invoke-large-score", 2, "every command on a large score", checks::InvokeLargeScore},
            {"invoke-two-documents", 2, "commands while the current document changes",
             checks::InvokeTwoDocuments},
            {"hostile-failing-calls", 3, "each host call of each command failing in turn",
             checks::FailingCalls},
            {"hostile-odd-answers", 3, "odd answers a real host can give", checks::OddAnswers},
        };
        for (size_t fn = 0; fn < kHostFnCount; ++fn) {
            if (!IsRecordedHostFunction(static_cast<HostFn>(fn)))
                continue;
            const char* name = HostFnName(static_cast<HostFn>(fn));
            list.push_back({checks::MissingCheckName(static_cast<HostFn>(fn)), 3,
                            std::string("every command without ") + name, checks::MissingFunction});
        }
        list.push_back({"stress-reload", 4, "loaded and unloaded many times", checks::Reload});
        list.push_back(
            {"stress-many-commands", 4, "many commands in one load", checks::ManyCommands});
        list.push_back({"stress-million-tuplets", 4, "every command on a million tuplets",
                        checks::MillionTuplets});
        list.push_back({"random-hostile", 5, "seeded hostile runs for the time budget",
                        checks::RandomHostile});
        return list;
    }();
    return all;
}

const CheckInfo* FindCheck(const std::string& name) {
    for (const CheckInfo& check : AllChecks()) {
        if (check.Name == name)
            return &check;
    }
    return nullptr;
}

}  // namespace sim
