// The failure rules: matching a call against them, and noting which fired.
#include "sim/host/FailureRules.h"

namespace sim {

const FailureRule* FailureRules::Find(const FailureRule& rule) const {
    for (const FailureRule& kept : Rules) {
        if (kept.Function == rule.Function && kept.Tag == rule.Tag && kept.Words == rule.Words &&
            kept.Call == rule.Call) {
            return &kept;
        }
    }
    return nullptr;
}

void FailureRules::Add(const FailureRule& rule) {
    if (Find(rule) == nullptr)
        Rules.push_back(rule);
}

bool FailureRules::CallRuleFires(uint64_t number) {
    bool fails = false;
    for (FailureRule& rule : Rules) {
        if (rule.Call != 0 && rule.Call == number)
            fails = rule.Fired = true;
    }
    return fails;
}

bool FailureRules::RecordRuleFires(HostFn fn, uint32_t tag, const Keys& keys) {
    bool fails = false;
    for (FailureRule& rule : Rules) {
        if (rule.Call == 0 && rule.Function == fn && rule.Tag == tag &&
            (!rule.Words || *rule.Words == keys)) {
            fails = rule.Fired = true;
        }
    }
    return fails;
}

}  // namespace sim
