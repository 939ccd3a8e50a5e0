// The contract monitor: warnings kept once each, breaches among them, saves held to loads.
#include "sim/host/ContractMonitor.h"

#include "sim/score/Tags.h"

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

ContractMonitor::LoadState& ContractMonitor::Found(const RecordKey& key) {
    const auto [state, added] = LoadStates.try_emplace(key);
    if (added)
        FoundInOrder.push_back(key);
    return state->second;
}

void ContractMonitor::NoteLoad(const RecordKey& key, uint32_t copied, uint32_t size,
                               int16_t document) {
    LoadState& state = Found(key);
    if (!state.Loaded)
        Loaded.push_back(key);
    state = {true, false, copied, document, size, false};
}

void ContractMonitor::NoteSizeAsked(const RecordKey& key, uint32_t size) {
    LoadState& state = Found(key);
    state.Size = size;
    state.SavedSince = false;
}

void ContractMonitor::NoteLoadFailed(const RecordKey& key) {
    Found(key).Failed = true;
}

void ContractMonitor::NoteSaved(const HostCall& call, uint32_t before) {
    const RecordKey key{call.Tag, call.KeysIn};
    if (const auto state = LoadStates.find(key); state != LoadStates.end())
        state->second.SavedSince = true;
    if (call.CountIn >= before)
        return;
    if (ShorterCount++ == 0)
        FirstShorter = ShorterSave{key, before, call.CountIn, call.Number};
}

std::optional<std::string> ContractMonitor::ShorterSaveWarning() const {
    if (!FirstShorter)
        return std::nullopt;
    std::string text =
        "MX_SaveKData left a record shorter than it was, and the bytes past the "
        "count saved are lost: " +
        TagLabel(FirstShorter->Key.Tag) + " " + KeysText(FirstShorter->Key.Words) + ", " +
        std::to_string(FirstShorter->Before) + " bytes saved as " +
        std::to_string(FirstShorter->After);
    if (ShorterCount > 1)
        text += " (and " + std::to_string(ShorterCount - 1) + " more)";
    return text;
}

std::vector<ContractMonitor::RecordUse> ContractMonitor::RecordsFound() const {
    std::vector<RecordUse> records;
    for (const RecordKey& key : FoundInOrder) {
        const LoadState& state = LoadStates.at(key);
        records.push_back({key, state.Size, state.SavedSince});
    }
    return records;
}

void ContractMonitor::CheckSave(const HostCall& call, int16_t document) {
    const auto state = LoadStates.find(RecordKey{call.Tag, call.KeysIn});
    if (state == LoadStates.end())
        return;
    const LoadState& load = state->second;
    if (load.Failed) {
        Warn("MX_SaveKData of a record whose last load failed", true, call.Number);
    } else if (load.Loaded && call.CountIn > load.Bytes) {
        Warn("MX_SaveKData of more bytes than the record's last load copied", true, call.Number);
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
    if (const auto shorter = ShorterSaveWarning())
        warnings.push_back(*shorter);
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
