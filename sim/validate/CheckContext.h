// The world of one check in its own process: options, module, and what runs now.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sim/module/ModuleLoader.h"
#include "sim/validate/Check.h"

namespace sim {

class ModuleGuard;

// The host version a host of today gives; the checks use it unless they try
// several.
constexpr uint32_t kValidateHostVersion = 0x19000000;
// An older host, at which the commands run again: a module that passes the
// host's version on as the version argument of its calls shows there.
constexpr uint32_t kOlderHostVersion = 0x11000000;

// The world of one check in its own process: the options, the module (each
// check loads it itself), and what the module is doing now, which the report
// of a crash or a hang names.
class CheckContext {
  public:
    CheckContext(const ValidateOptions& options, ModuleGuard& guard)
        : Settings(options), Watch(guard) {}

    const ValidateOptions& Options() const { return Settings; }
    LoadedModule& Module() { return Loaded; }
    ModuleGuard& Guard() { return Watch; }

    // Loads the module: nothing when it loaded, else the check's result (a
    // skip: the exports check reports what is wrong with the file).
    std::optional<CheckResult> LoadModule();
    // Gives the module the host version, initialises it and enumerates its
    // commands: the menu indexes it offers, from either record.
    std::vector<int16_t> MenuIndexes(uint32_t hostVersion = kValidateHostVersion);
    // Both, for the checks that run commands: nothing when the module loaded
    // and offers commands (their indexes in indexes), else the check's skip.
    std::optional<CheckResult> LoadForCommands(std::vector<int16_t>& indexes);

    // What the module is doing now, and how to repeat it with run, when a
    // single run can.
    void SetWhere(std::string where, std::optional<RunRepeat> repeat = std::nullopt) {
        Now = std::move(where);
        NowRepeat = std::move(repeat);
        if (Notice)
            Notice(Now, NowRepeat);
    }
    // Told of each SetWhere: the validator, which keeps the time limits from
    // outside the check's process, names it too.
    using WhereNotice =
        std::function<void(const std::string& where, const std::optional<RunRepeat>& repeat)>;
    void NoticeWhere(WhereNotice notice) { Notice = std::move(notice); }
    const std::string& Where() const { return Now; }
    const std::optional<RunRepeat>& Repeat() const { return NowRepeat; }

    // The first warning of the check's runs; a check that passes passes
    // with it.
    void NoteWarning(const CheckResult& warning) {
        if (!FirstWarning)
            FirstWarning = warning;
    }
    const std::optional<CheckResult>& Warning() const { return FirstWarning; }

  private:
    const ValidateOptions& Settings;
    ModuleGuard& Watch;
    std::string Now;
    std::optional<RunRepeat> NowRepeat;
    std::optional<CheckResult> FirstWarning;
    WhereNotice Notice;
    // Last, so that it unloads first: a fault at unload reports Now.
    LoadedModule Loaded;
};

}  // namespace sim
