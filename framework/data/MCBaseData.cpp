#include "framework/data/MCBaseData.h"

#include <algorithm>
#include <cstring>

#include "framework/core/MCBlockPool.h"
#include "framework/data/KDataTranslation.h"
#include "framework/host/HostFunctions.h"

__MCBaseData::~__MCBaseData() { ReleaseData(); }

const char* __MCBaseData::ClassName() const { return "__MCBaseData"; }

void __MCBaseData::BufferDiscarded() {}

bool __MCBaseData::NeedsFreshBuffer() { return false; }

uint32_t __MCBaseData::Version() { return kRecordVersion; }

int __MCBaseData::SaveSize() {
    return static_cast<int>(std::clamp<int64_t>(DataSize, 0, INT32_MAX));
}

void __MCBaseData::ReleaseData() {
    if (OwnsData && Data != nullptr) mcpool::Free(Data, static_cast<size_t>(OwnedBytes));
    if (OwnsData) Data = nullptr;
    OwnsData = false;
    OwnedBytes = 0;
}

bool __MCBaseData::LoadCurrent() {
    if (Data != nullptr && NeedsFreshBuffer()) {
        ReleaseData();
        BufferDiscarded();
        Data = nullptr;
        DataSize = 0;
    }
    if (Data == nullptr) Data = DataBuffer();
    const int capacity = std::max(LoadSize(), 0);
    if (Data == nullptr) {
        DataSize = 0;
        OtherSize = false;
        return false;
    }
    return LoadIntoData(Tag(), capacity, Version());
}

bool __MCBaseData::LoadIntoData(uint32_t tag, int capacity, uint32_t version) {
    uint32_t count = static_cast<uint32_t>(capacity);
    const bool found = LoadKData(tag, Keys, Data, &count, version) != 0;
    OtherSize = found && RecordSize != 0 && count != static_cast<uint32_t>(RecordSize);
    if (!found || OtherSize) {
        DataSize = 0;
        return false;
    }
    // A host that reports more than it was offered has not written more:
    // never let a later save hand out bytes beyond the buffer.
    DataSize = std::min<int64_t>(count, capacity);
    LoadedDocument = static_cast<int16_t>(host::MX_GetCurrentKovrinDocument());
    return true;
}

bool __MCBaseData::Save() {
    if (DataSize == 0) return false;
    return SaveData(Tag(), SaveSize(), Version());
}

bool __MCBaseData::SaveData(uint32_t tag, int size, uint32_t version) {
    if (LoadedDocument != 0 && host::MX_GetCurrentKovrinDocument() != LoadedDocument) return false;
    return SaveKData(tag, Keys, Data, static_cast<uint32_t>(size), version) != 0;
}

bool __MCBaseData::Reload() {
    if (DataSize == 0) return false;
    return LoadCurrent();
}

bool __MCBaseData::DeleteData() { return host::MX_DeleteKData(Tag(), Keys, Version()) != 0; }

bool __MCBaseData::DeleteRecord() { return DeleteData(); }

bool __MCBaseData::LoadNext() {
    if (host::MX_NextKData(Tag(), Keys, Version()) == 0) return false;
    return LoadCurrent();
}

void __MCBaseData::CopyDataFrom(const __MCBaseData& other) {
    if (other.DataSize <= 0 || other.Data == nullptr) return;
    // Room for a later load as well: LoadCurrent offers LoadSize bytes of
    // the block the record holds.
    const int64_t bytes = std::max<int64_t>(other.DataSize, LoadSize());
    auto* block = static_cast<uint8_t*>(mcpool::Allocate(static_cast<size_t>(bytes)));
    if (block == nullptr) return;
    std::memcpy(block, other.Data, static_cast<size_t>(other.DataSize));
    ReleaseData();
    Data = block;
    OwnsData = true;
    OwnedBytes = bytes;
    DataSize = other.DataSize;
}
