// The checks, by level.
#pragma once

#include <string>
#include <vector>

#include "sim/host/HostCall.h"
#include "sim/validate/Check.h"
#include "sim/validate/CheckContext.h"

// The checks, by level; Check.cpp lists them.
namespace sim::checks {

// Level 1: loading and menu (MenuChecks.cpp).
CheckResult Exports(CheckContext& context);
CheckResult Imports(CheckContext& context);
// Why a module that links to host functions directly fails: the same for
// the imports check and each hostile-missing check it breaks.
std::string DirectLinkReason(const std::vector<std::string>& functions);
CheckResult Version(CheckContext& context);
CheckResult Init(CheckContext& context);
CheckResult Enumerate(CheckContext& context);
CheckResult MenuStatus(CheckContext& context);
CheckResult Terminate(CheckContext& context);

// Level 2: commands (CommandChecks.cpp).
CheckResult InvokeEmptyScore(CheckContext& context);
CheckResult InvokeOneTuplet(CheckContext& context);
CheckResult InvokeSamples(CheckContext& context);
CheckResult InvokeLargeScore(CheckContext& context);
CheckResult InvokeTwoDocuments(CheckContext& context);

// Level 3: a hostile host (HostileChecks.cpp).
CheckResult FailingCalls(CheckContext& context);
CheckResult OddAnswers(CheckContext& context);
// The check's name ends in the host function it takes away.
CheckResult MissingFunction(CheckContext& context);
std::string MissingCheckName(HostFn fn);

// Level 4: stress (StressChecks.cpp).
CheckResult Reload(CheckContext& context);
CheckResult ManyCommands(CheckContext& context);
CheckResult MillionTuplets(CheckContext& context);

// Level 5: randomised (RandomCheck.cpp).
CheckResult RandomHostile(CheckContext& context);

}  // namespace sim::checks
