// The contract monitor: warnings kept once each, breaches among them, saves held to loads.
#include "sim/host/ContractMonitor.h"

namespace sim {

void ContractMonitor::Warn(const std::string& warning, bool breach, uint64_t call) {
    for (Warning& known : WarningList) {
        if (known.Text == warning) {
            ++known.Times;
            return;
        }
    }
    if (WarningList.size() < kWarningLimit) {
        WarningList.push_back({warning, 1, breach, call});
    } else {
        ++WarningsBeyondList;
        if (breach && !FirstBreachBeyondList)
            FirstBreachBeyondList = ContractBreach{warning, call};
    }
}

void ContractMonitor::NoteLoad(const RecordKey& key, uint32_t bytes, int16_t document) {
    LoadState& state = LoadStates[key];
    if (!state.Loaded)
        Loaded.push_back(key);
    state = {true, false, bytes, document};
}

void ContractMonitor::NoteLoadFailed(const RecordKey& key) {
    LoadStates[key].Failed = true;
}

void ContractMonitor::CheckSave(const HostCall& call, int16_t document) {
    const auto state = LoadStates.find(RecordKey{call.Tag, call.KeysIn});
    if (state == LoadStates.end())
        return;
    const LoadState& load = state->second;
    if (load.Failed) {
        Warn("MX_SaveKData of a record whose last load failed", true, call.Number);
    } else if (load.Loaded && call.CountIn > load.Bytes) {
        Warn("MX_SaveKData of more bytes than the record's last load gave", true, call.Number);
    } else if (load.Loaded && load.Document != document) {
        Warn("MX_SaveKData of a record loaded while another document was current", true,
             call.Number);
    }
}

std::vector<std::string> ContractMonitor::Warnings() const {
    std::vector<std::string> warnings;
    for (const Warning& warning : WarningList) {
        warnings.push_back(warning.Times == 1
                               ? warning.Text
                               : warning.Text + " (" + std::to_string(warning.Times) + " times)");
    }
    if (WarningsBeyondList != 0) {
        warnings.push_back("and " + std::to_string(WarningsBeyondList) +
                           " more warnings, not listed (only the first " +
                           std::to_string(kWarningLimit) + " kinds are)");
    }
    for (const std::string& frame : Frames.Overwritten()) {
        warnings.push_back("the module wrote into " + frame);
    }
    return warnings;
}

std::vector<ContractBreach> ContractMonitor::Breaches() const {
    std::vector<ContractBreach> breaches;
    for (const Warning& warning : WarningList) {
        if (warning.Breach)
            breaches.push_back({warning.Text, warning.Call});
    }
    if (FirstBreachBeyondList)
        breaches.push_back(*FirstBreachBeyondList);
    for (const std::string& frame : Frames.Overwritten())
        breaches.push_back({"the module wrote into " + frame, 0});
    return breaches;
}

}  // namespace sim
