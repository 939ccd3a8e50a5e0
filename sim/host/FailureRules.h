// The failures forced on the host's calls, and which of them made a call fail.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "sim/host/HostCall.h"
#include "sim/score/Tags.h"

namespace sim {

// How the host offers one of its functions.
enum class FunctionMode : uint8_t {
    Normal,
    Missing,  // a lookup by name finds nothing; a call anyway fails and is warned about
    Failing,  // found, but every call returns its failure value and does nothing
};

// One forced failure: the n-th call of the thirteen MX_ functions, or the
// calls of MX_LoadKData or MX_SaveKData on one record, or on every record of
// the tag when there are no keys.
struct FailureRule {
    HostFn Function = HostFn::LoadKData;  // of a rule on records
    uint32_t Tag = 0;
    std::optional<Keys> Words;
    uint64_t Call = 0;   // the call's number; 0 for a rule on records
    bool Fired = false;  // it made at least one call fail
};

// The controls that make the host's calls fail, and which of them did.
class FailureRules {
  public:
    void SetFunctionMode(HostFn fn, FunctionMode mode) { Modes[static_cast<size_t>(fn)] = mode; }
    FunctionMode GetFunctionMode(HostFn fn) const { return Modes[static_cast<size_t>(fn)]; }
    // MX_LoadKData (or MX_SaveKData) of this record, or of every record of the
    // tag without keys, fails.
    void FailLoad(uint32_t tag, std::optional<Keys> keys = std::nullopt) {
        Add({HostFn::LoadKData, tag, keys});
    }
    void FailSave(uint32_t tag, std::optional<Keys> keys = std::nullopt) {
        Add({HostFn::SaveKData, tag, keys});
    }
    // The n-th call of the thirteen MX_ functions (counting from 1) fails.
    void FailCall(uint64_t number) { Add({HostFn::LoadKData, 0, std::nullopt, number}); }

    // Whether a rule makes the call of that number, or the call of fn on the
    // record, fail; each rule that does is noted as fired.
    bool CallFails(uint64_t number) { return !Rules.empty() && CallRuleFires(number); }
    bool RecordFails(HostFn fn, uint32_t tag, const Keys& keys) {
        return !Rules.empty() && RecordRuleFires(fn, tag, keys);
    }

    // Whether the rule set for the record (or for every record of the tag,
    // without keys) made at least one call fail.
    bool LoadFailureFired(uint32_t tag, const std::optional<Keys>& keys) const {
        return Fired({HostFn::LoadKData, tag, keys});
    }
    bool SaveFailureFired(uint32_t tag, const std::optional<Keys>& keys) const {
        return Fired({HostFn::SaveKData, tag, keys});
    }

  private:
    bool CallRuleFires(uint64_t number);
    bool RecordRuleFires(HostFn fn, uint32_t tag, const Keys& keys);
    // The rule kept for the same calls, or null.
    const FailureRule* Find(const FailureRule& rule) const;
    // A rule given twice is kept once.
    void Add(const FailureRule& rule);
    bool Fired(const FailureRule& rule) const {
        const FailureRule* kept = Find(rule);
        return kept != nullptr && kept->Fired;
    }

    std::array<FunctionMode, kHostFnCount> Modes{};
    std::vector<FailureRule> Rules;
};

}  // namespace sim
