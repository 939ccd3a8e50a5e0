#pragma once

#include <cstdint>

#include "framework/core/MCBase.h"

// Base of every object that mirrors one record of the host document: the
// record's key block and a copy of its bytes, loaded, saved, deleted and
// stepped through with the host's record functions. A subclass supplies the
// tag, the sizes and the memory.
class __MCBaseData : public __MCBase {
public:
    static constexpr uint32_t kRecordVersion = 0x19000000;

    __MCBaseData() = default;
    ~__MCBaseData() override;
    int32_t ClassID() const override = 0;
    const char* ClassName() const override;

    // Memory to load into when the record has none.
    virtual uint8_t* DataBuffer() = 0;
    // Called when LoadCurrent has dropped the buffer.
    virtual void BufferDiscarded();
    // True makes LoadCurrent drop an existing buffer before each load.
    virtual bool NeedsFreshBuffer();
    // A new, empty object of the same class, owned by the caller.
    virtual __MCBaseData* CreateObject() = 0;
    virtual uint32_t Tag() = 0;
    // The version argument of each record call.
    virtual uint32_t Version();
    // Capacity in bytes offered to the host on load.
    virtual int LoadSize() = 0;
    // Byte count handed to the host on save: DataSize.
    virtual int SaveSize();
    // Copies the other record's bytes into a block of this record's own.
    virtual void CopyDataFrom(const __MCBaseData& other);
    // Stores DataSize bytes under Keys. False without data, and when the
    // record was loaded from another document than the current one.
    virtual bool Save();
    // Loads the record under Keys again; false without data.
    virtual bool Reload();
    virtual bool DeleteData();
    virtual bool DeleteRecord();
    // Loads the first record of the kind.
    virtual bool LoadFirst() = 0;
    // Steps Keys to the next record of the tag and loads it.
    virtual bool LoadNext();

    // Loads the record under the current Keys; every load of a record goes
    // through here.
    bool LoadCurrent();

    // Whether the last load found a record under Keys but not of the one
    // size the class's records have (RecordSize), and so did not load it. A
    // load that fails otherwise found no record.
    bool FoundOtherSize() const { return OtherSize; }

    int16_t GetLoadedDocument() const { return LoadedDocument; }
    const uint8_t* GetData() const { return Data; }
    bool OwnsDataBlock() const { return OwnsData; }
    int64_t GetDataSize() const { return DataSize; }
    const uint16_t* GetKeys() const { return Keys; }

protected:
    // LoadCurrent once the buffer is chosen (Data), and Save once it has
    // data, with the record's tag, sizes and version given: for a subclass
    // whose own are known without asking (MCTuplet, whose records a walk
    // loads and saves one after another). They behave as LoadCurrent and
    // Save do.
    bool LoadIntoData(uint32_t tag, int capacity, uint32_t version);
    bool SaveData(uint32_t tag, int size, uint32_t version);
    // Frees the data block if this record allocated it.
    void ReleaseData();
    // Makes the subclass's own buffer, holding size valid bytes, the data.
    void UseOwnBuffer(uint8_t* buffer, int64_t size) {
        ReleaseData();
        Data = buffer;
        DataSize = size;
    }

    int32_t Reserved = 0;
    int16_t LoadedDocument = 0;
    uint8_t* Data = nullptr;
    bool OwnsData = false;
    int64_t DataSize = 0;
    uint16_t Keys[4] = {0, 0, 0, 0};
    // The one size every record of the class has, set by a subclass whose
    // records are fixed; 0 when they vary. LoadCurrent counts a record of
    // another size as not loaded: saved back, a shorter one would be padded
    // with the bytes of the record loaded before it and a longer one cut.
    int32_t RecordSize = 0;

private:
    bool OtherSize = false;
    // The bytes of the block this record allocated (OwnsData).
    int64_t OwnedBytes = 0;
};
