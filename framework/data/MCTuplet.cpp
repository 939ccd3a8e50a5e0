#include "framework/data/MCTuplet.h"

#include <cstring>
#include <new>

#include "framework/host/HostFunctions.h"
#include "framework/music/MCNoteEntry.h"

namespace {

uint32_t EntryNumberOf(const MCNoteEntry* entry) { return entry != nullptr ? entry->EntryNumber() : 0; }

// An entry cannot hold more records of one tag than its 16-bit index counts.
constexpr int kMaxIndexSteps = 0x10000;

}  // namespace

bool __MCEntryDetail::Reload() {
    if (DataSize == 0) return false;
    return Load(KeyEntryNumber(), KeyIndex());
}

bool __MCEntryDetail::LoadFirst() {
    if (NoteEntry == nullptr) return false;
    return Load(EntryNumberOf(NoteEntry), 0);
}

bool __MCEntryDetail::LoadNext() {
    return LoadNextWith([this] { return LoadCurrent(); });
}

bool __MCEntryDetail::Load(uint32_t entryNumber, uint16_t index) {
    return LoadWith(entryNumber, index, [this] { return LoadCurrent(); });
}

void __MCEntryDetail::SetNoteEntry(MCNoteEntry* entry) {
    NoteEntry = entry;
    SetKeyEntryNumber(EntryNumberOf(entry));
}

void __MCEntryDetail::SetEntryFlag(MCNoteEntry* entry, bool on) {
    if (entry == nullptr || entry->EntryData == nullptr) return;
    const uint32_t flags = entry->EntryFlags();
    entry->SetEntryFlags(on ? flags | kHasTuplets : flags & ~kHasTuplets);
}

bool __MCEntryDetail::SaveNew() {
    if (NoteEntry == nullptr) return false;
    uint16_t keys[4] = {Keys[0], Keys[1], kNoIndex, 0};
    if (host::MX_CreateKData(Tag(), keys, Data, static_cast<uint32_t>(SaveSize()), Version()) == 0) {
        return false;
    }
    if (keys[2] == kNoIndex) {
        keys[2] = LastIndex();
        if (keys[2] == kNoIndex) return false;
    }
    std::memcpy(Keys, keys, sizeof Keys);
    DataSize = SaveSize();
    if (NoteEntry != nullptr) SetEntryFlag(NoteEntry, true);
    return true;
}

uint16_t __MCEntryDetail::LastIndex() {
    if (NoteEntry == nullptr) return kNoIndex;
    auto* probe = static_cast<__MCEntryDetail*>(CreateObject());
    if (probe == nullptr) return kNoIndex;
    // The probe looks for records, whatever their size: a record of another
    // size is still one the new record comes after.
    probe->RecordSize = 0;
    std::memcpy(probe->Keys, Keys, sizeof Keys);
    probe->Reserved = Reserved;
    probe->LoadedDocument = LoadedDocument;
    probe->CopyDataFrom(*this);
    probe->SetNoteEntry(NoteEntry);
    const uint32_t entryNumber = EntryNumberOf(NoteEntry);
    uint16_t last = kNoIndex;
    if (probe->Load(entryNumber, 0)) {
        for (int step = 0; step < kMaxIndexSteps; ++step) {
            last = probe->KeyIndex();
            if (host::MX_NextKData(probe->Tag(), probe->Keys, probe->Version()) == 0) break;
            if (!probe->LoadCurrent()) break;
            if (probe->KeyEntryNumber() != entryNumber) break;
        }
    }
    delete probe;
    return last;
}

MCTuplet::MCTuplet() : Definition{} {
    Data = Definition.Bytes;
    DataSize = TupletDefinition::kSize;
    RecordSize = TupletDefinition::kSize;
}

int32_t MCTuplet::ClassID() const { return 113; }

const char* MCTuplet::ClassName() const { return "MCTuplet"; }

uint8_t* MCTuplet::DataBuffer() { return Definition.Bytes; }

__MCBaseData* MCTuplet::CreateObject() { return new (std::nothrow) MCTuplet; }

uint32_t MCTuplet::Tag() { return kTag; }

int MCTuplet::LoadSize() { return TupletDefinition::kSize; }

int MCTuplet::SaveSize() { return TupletDefinition::kSize; }

bool MCTuplet::Save() {
    if (DataSize == 0) return false;
    return SaveData(kTag, TupletDefinition::kSize, kRecordVersion);
}

bool MCTuplet::LoadNext() {
    return LoadNextWith([this] { return LoadTuplet(); });
}

bool MCTuplet::Load(uint32_t entryNumber, uint16_t index) {
    return LoadWith(entryNumber, index, [this] { return LoadTuplet(); });
}

bool MCTuplet::LoadTuplet() {
    if (Data == nullptr) Data = Definition.Bytes;
    return LoadIntoData(kTag, TupletDefinition::kSize, kRecordVersion);
}

void MCTuplet::CopyDataFrom(const __MCBaseData& other) {
    if (other.ClassName() != ClassName()) return;
    Definition = static_cast<const MCTuplet&>(other).Definition;
    UseOwnBuffer(Definition.Bytes, TupletDefinition::kSize);
}
