#pragma once

#include <cstdint>

#include "contract/MelvaraFrame.h"
#include "contract/MelvaraRecords.h"
#include "framework/data/MCBaseData.h"
#include "framework/data/TupletDefinition.h"

class MCNoteEntry;

// Base of records attached to a note entry: keyed by the entry's number
// (Keys words 1-2, low word first) and an index among the entry's records of
// the same tag (word 3).
class __MCEntryDetail : public __MCBaseData {
public:
    static constexpr uint16_t kNoIndex = 0xFFFF;
    static constexpr uint32_t kHasTuplets = MELVARA_ENTRY_HAS_TUPLETS;

    bool Reload() override;
    // False without a note entry, with no host call.
    bool LoadFirst() override;
    // The next index of the same entry; the index stays when none loads.
    bool LoadNext() override;

    virtual bool Load(uint32_t entryNumber, uint16_t index);
    // Attaches the record to the entry and puts its number into Keys.
    virtual void SetNoteEntry(MCNoteEntry* entry);
    // Creates a new record of the entry from this object's data.
    virtual bool SaveNew();
    // Sets or clears the entry's mark that it has records of this kind.
    virtual void SetEntryFlag(MCNoteEntry* entry, bool on);

    // Index of the entry's last record of the tag, or kNoIndex.
    uint16_t LastIndex();

    MCNoteEntry* GetNoteEntry() const { return NoteEntry; }
    uint32_t KeyEntryNumber() const { return Keys[0] | (static_cast<uint32_t>(Keys[1]) << 16); }
    uint16_t KeyIndex() const { return Keys[2]; }

protected:
    // Load and LoadNext around the load itself (load: LoadCurrent, or a
    // subclass's own): the keys set, or the index stepped and set back when
    // the next one does not load.
    template <typename LoadStep>
    bool LoadWith(uint32_t entryNumber, uint16_t index, LoadStep load) {
        SetKeyEntryNumber(entryNumber);
        Keys[2] = index;
        return load();
    }
    template <typename LoadStep>
    bool LoadNextWith(LoadStep load) {
        ++Keys[2];
        if (load()) return true;
        --Keys[2];
        return false;
    }

    void SetKeyEntryNumber(uint32_t entryNumber) {
        Keys[0] = static_cast<uint16_t>(entryNumber);
        Keys[1] = static_cast<uint16_t>(entryNumber >> 16);
    }

    MCNoteEntry* NoteEntry = nullptr;
};

// A tuplet attached to a note entry: the host's 30-byte tuplet record.
class MCTuplet final : public __MCEntryDetail {
public:
    static constexpr uint32_t kTag = MELVARA_TUPLET_TAG;

    MCTuplet();
    int32_t ClassID() const override;
    const char* ClassName() const override;
    uint8_t* DataBuffer() override;
    __MCBaseData* CreateObject() override;
    uint32_t Tag() override;
    int LoadSize() override;
    int SaveSize() override;
    // Copies another tuplet's definition into this one's; Keys and the
    // note entry stay.
    void CopyDataFrom(const __MCBaseData& other) override;
    // As the bases' (LoadCurrent, Save), without asking this record for its
    // tag, sizes and buffer: a walk loads, and Reset saves, every tuplet.
    bool Save() override;
    bool LoadNext() override;
    bool Load(uint32_t entryNumber, uint16_t index) override;

    int SelectorA() const { return Definition.SelectorA(); }

    TupletDefinition Definition;

private:
    // LoadCurrent of a tuplet: Definition is its buffer, never dropped.
    bool LoadTuplet();
};
