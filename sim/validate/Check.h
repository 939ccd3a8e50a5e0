// What melvara-sim validate is asked to do, its checks and what each one found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// What melvara-sim validate is asked to do.
struct ValidateOptions {
    std::string ModulePath;
    int Level = 3;               // 1 to 5; a level runs the lower ones too
    uint64_t Seed = 0;           // of the randomised checks (level 5)
    double TimeoutSeconds = 30;  // longest one call into the module may take
    double BudgetSeconds = 30;   // time of the randomised checks
    int Jobs = 2;                // checks run at once
    uint64_t MemoryLimitMegabytes = 0;  // of each check's process; 0 for none
    bool Strict = false;         // a warning fails its check
    bool Sanitize = false;       // each check's process under AddressSanitizer
    std::string JsonPath;        // where to write the results as JSON, if anywhere ("-": out)
    std::string JunitPath;       // ... as JUnit XML
    std::string KeepScores;      // the folder for the scores the failures ran on
    std::string OnlyCheck;       // the one check to run, whatever its level
    std::string Check;           // in a check's own process: the check it runs
};

// A check passes with a warning when the module did something that is
// surely a mistake but breaks no rule of the contract.
enum class Verdict : uint8_t { Pass, Warn, Fail, Skip };

// How to repeat by hand the run of the module that showed a fault: the
// score (a preset or generator options, see Scores.h; the file name is
// chosen there) and run's arguments besides --module and --score.
struct RunRepeat {
    std::vector<std::string> Score;  // ScoreSource::Fields()
    std::vector<std::string> Arguments;
};

// How one check went. For a failure: what was wrong, in which run of the
// module (the command, score and controls), and the host call that showed
// it, and how to repeat that run; for a pass, what was done; for a skip,
// why.
struct CheckResult {
    Verdict Status = Verdict::Pass;
    std::string Reason;
    std::string Where;
    std::string Call;
    std::optional<RunRepeat> Repeat;
    double Seconds = 0;
    std::string Output;  // what the check's process printed besides its result
};

CheckResult Passed(std::string what);
CheckResult Skipped(std::string why);
CheckResult Failed(std::string reason, std::string where = {}, std::string call = {});
CheckResult Warned(std::string reason, std::string where = {}, std::string call = {});

class CheckContext;
using CheckFunction = CheckResult (*)(CheckContext& context);

// One check: its name, its level, what it looks at, and how it runs.
struct CheckInfo {
    std::string Name;
    int Level = 1;
    std::string About;
    CheckFunction Run = nullptr;
};

// Every check, level by level.
const std::vector<CheckInfo>& AllChecks();
const CheckInfo* FindCheck(const std::string& name);

// "PASS", "WARN", "FAIL", "SKIP".
const char* VerdictName(Verdict verdict);

}  // namespace sim
