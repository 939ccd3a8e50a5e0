#include <gtest/gtest.h>

#include <cstring>
#include <new>

#include "framework/core/MCBlockPool.h"
#include "framework/data/MCBaseData.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

constexpr uint32_t kTestTag = sim::MakeTag('T', 'E', 'S', 'T');

// A record of a tag of its own, with a 16-byte buffer.
class TestRecord : public __MCBaseData {
public:
    int32_t ClassID() const override { return 1; }
    uint8_t* DataBuffer() override {
        ++BufferRequests;
        return Buffer;
    }
    void BufferDiscarded() override { ++Discarded; }
    bool NeedsFreshBuffer() override { return Fresh; }
    __MCBaseData* CreateObject() override { return new (std::nothrow) TestRecord; }
    uint32_t Tag() override { return kTestTag; }
    int LoadSize() override { return kCapacity; }
    bool LoadFirst() override { return LoadUnder({1, 0, 0, 0}); }

    bool LoadUnder(sim::Keys keys) {
        std::memcpy(Keys, keys.data(), sizeof Keys);
        return LoadCurrent();
    }

    static constexpr int kCapacity = 16;
    uint8_t Buffer[kCapacity] = {};
    int BufferRequests = 0;
    int Discarded = 0;
    bool Fresh = false;
};

class MCBaseDataTest : public SimHostTest {
protected:
    void Store(uint16_t key, sim::Bytes bytes) { Score().SetRecord(kTestTag, {key, 0, 0, 0}, bytes); }
};

TEST_F(MCBaseDataTest, LoadCopiesTheRecordAndNotesTheDocument) {
    Store(1, {1, 2, 3, 4, 5});
    Host.SetCurrentDocument(9);
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    EXPECT_EQ(record.GetDataSize(), 5);
    EXPECT_EQ(record.GetData(), record.Buffer);
    EXPECT_FALSE(record.OwnsDataBlock());
    EXPECT_EQ(record.GetLoadedDocument(), 9);
    EXPECT_EQ(record.Buffer[4], 5);
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].CountIn, 16u);
    EXPECT_EQ(loads[0].Version, 0x19000000u);
}

TEST_F(MCBaseDataTest, SaveAndReloadRefuseAfterAFailedLoad) {
    TestRecord record;
    EXPECT_FALSE(record.LoadFirst());
    EXPECT_EQ(record.GetDataSize(), 0);
    ForgetCalls();
    EXPECT_FALSE(record.Save());
    EXPECT_FALSE(record.Reload());
    EXPECT_TRUE(Calls().empty());
}

TEST_F(MCBaseDataTest, AFailedLoadKeepsTheDocumentOfTheLastGoodOne) {
    Store(1, {7});
    Host.SetCurrentDocument(4);
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    Host.SetCurrentDocument(5);
    EXPECT_FALSE(record.LoadUnder({2, 0, 0, 0}));
    EXPECT_EQ(record.GetLoadedDocument(), 4);
    EXPECT_EQ(record.GetData(), record.Buffer);
    EXPECT_EQ(record.GetDataSize(), 0);
}

TEST_F(MCBaseDataTest, LoadNextStepsInKeyOrderAndStopsAtTheEnd) {
    Store(3, {3});
    Store(1, {1});
    Store(2, {2, 2});
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    ASSERT_TRUE(record.LoadNext());
    EXPECT_EQ(record.GetKeys()[0], 2);
    EXPECT_EQ(record.GetDataSize(), 2);
    ASSERT_TRUE(record.LoadNext());
    EXPECT_EQ(record.GetKeys()[0], 3);

    Host.SetCurrentDocument(6);
    const uint8_t* data = record.GetData();
    EXPECT_FALSE(record.LoadNext());
    EXPECT_EQ(record.GetDataSize(), 1);
    EXPECT_EQ(record.GetData(), data);
    EXPECT_EQ(record.GetLoadedDocument(), 1);
    // Only the step was asked for; nothing was loaded.
    EXPECT_EQ(Calls().back().Function, HostFn::NextKData);
}

TEST_F(MCBaseDataTest, CopyDataFromARecordWithoutDataChangesNothing) {
    Store(1, {1, 2, 3});
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    TestRecord empty;
    empty.LoadUnder({5, 0, 0, 0});
    record.CopyDataFrom(empty);
    EXPECT_EQ(record.GetDataSize(), 3);
    EXPECT_EQ(record.GetData(), record.Buffer);
    EXPECT_FALSE(record.OwnsDataBlock());
}

TEST_F(MCBaseDataTest, CopyDataFromTakesABlockOfItsOwn) {
    Store(1, {1, 2, 3});
    TestRecord source;
    ASSERT_TRUE(source.LoadFirst());
    TestRecord copy;
    copy.LoadUnder({8, 0, 0, 0});
    copy.CopyDataFrom(source);
    EXPECT_TRUE(copy.OwnsDataBlock());
    EXPECT_NE(copy.GetData(), source.GetData());
    EXPECT_EQ(copy.GetDataSize(), 3);
    EXPECT_EQ(std::memcmp(copy.GetData(), source.GetData(), 3), 0);
    EXPECT_EQ(copy.GetKeys()[0], 8);
    // A second copy replaces the owned block (ASan reports a leak otherwise).
    copy.CopyDataFrom(source);
    EXPECT_TRUE(copy.OwnsDataBlock());
    // The block is the pool's, and has room for a load of the whole capacity.
    Store(2, sim::Bytes(TestRecord::kCapacity, 0x42));
    ASSERT_TRUE(copy.LoadUnder({2, 0, 0, 0}));
    EXPECT_EQ(copy.GetData()[TestRecord::kCapacity - 1], 0x42);
    const uint8_t* block = copy.GetData();
    mcpool::FailAllocation(1);
    copy.CopyDataFrom(source);
    mcpool::FailAllocation(0);
    EXPECT_EQ(copy.GetData(), block) << "no block, no copy";
    EXPECT_EQ(copy.GetDataSize(), TestRecord::kCapacity);
}

TEST_F(MCBaseDataTest, AFreshBufferReplacesAnOwnedOneBeforeEachLoad) {
    Store(1, {1, 2, 3});
    TestRecord source;
    ASSERT_TRUE(source.LoadFirst());
    TestRecord record;
    record.CopyDataFrom(source);
    ASSERT_TRUE(record.OwnsDataBlock());
    record.Fresh = true;
    ASSERT_TRUE(record.LoadFirst());
    EXPECT_EQ(record.Discarded, 1);
    EXPECT_FALSE(record.OwnsDataBlock());
    EXPECT_EQ(record.GetData(), record.Buffer);
    EXPECT_EQ(record.BufferRequests, 1);
}

TEST_F(MCBaseDataTest, DataSizeNeverExceedsTheCapacityOffered) {
    Store(1, sim::Bytes(40, 0xAB));  // the host reports 40 bytes for 16 offered
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    EXPECT_EQ(record.GetDataSize(), TestRecord::kCapacity);
    ASSERT_TRUE(record.Save());
    const auto saves = CallsOf(HostFn::SaveKData);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].CountIn, 16u);
}

TEST_F(MCBaseDataTest, SaveRefusesARecordFromAnotherDocument) {
    Store(1, {1, 2});
    Host.SetCurrentDocument(3);
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    record.Buffer[0] = 99;
    Host.SetCurrentDocument(4);
    EXPECT_FALSE(record.Save());
    EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
    EXPECT_EQ((*Score().FindRecord(kTestTag, {1, 0, 0, 0}))[0], 1);

    Host.SetCurrentDocument(3);
    EXPECT_TRUE(record.Save());
    EXPECT_EQ((*Score().FindRecord(kTestTag, {1, 0, 0, 0}))[0], 99);
}

TEST_F(MCBaseDataTest, DeleteRemovesTheRecordAndKeepsTheObject) {
    Store(1, {1, 2});
    TestRecord record;
    ASSERT_TRUE(record.LoadFirst());
    EXPECT_TRUE(record.DeleteRecord());
    EXPECT_EQ(Score().FindRecord(kTestTag, {1, 0, 0, 0}), nullptr);
    EXPECT_EQ(record.GetDataSize(), 2);
    EXPECT_EQ(record.GetKeys()[0], 1);
    EXPECT_FALSE(record.DeleteData());
}

TEST_F(MCBaseDataTest, WithoutTheHostsRecordFunctionsEverythingIsFalse) {
    Store(1, {1, 2});
    MakeMissing(HostFn::LoadKData);
    MakeMissing(HostFn::NextKData);
    MakeMissing(HostFn::DeleteKData);
    TestRecord record;
    EXPECT_FALSE(record.LoadFirst());
    EXPECT_FALSE(record.LoadNext());
    EXPECT_FALSE(record.DeleteData());
    EXPECT_TRUE(CallsOf(HostFn::LoadKData).empty());
}

}  // namespace
