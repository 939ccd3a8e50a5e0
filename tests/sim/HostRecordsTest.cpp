// The keyed record functions: load, save, create, delete and the walk in key
// order.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "sim/host/Host.h"
#include "tests/sim/SimTestHelpers.h"

namespace {

using simtest::V;
constexpr uint32_t kTag = sim::MakeTag('t', 'e', 's', 't');

class HostRecords : public ::testing::Test {
  protected:
    HostRecords() {
        sim::Score score;
        score.SetRecord(kTag, {1, 0, 0, 0}, {1, 2, 3, 4, 5, 6});
        score.SetRecord(kTag, {1, 0, 2, 0}, {7});
        score.SetRecord(kTag, {0, 1, 0, 0}, {8});
        score.SetRecord(kTag, {1, 0, 0, 5}, {9});
        score.SetRecord(kTag - 1, {9, 9, 9, 9}, {10});
        score.SetRecord(kTag + 1, {0, 0, 0, 0}, {11});
        host = std::make_unique<sim::Host>(score);
    }

    std::unique_ptr<sim::Host> host;
};

TEST_F(HostRecords, LoadCopiesAtMostTheCapacityAndReportsTheSize) {
    std::array<uint8_t, 8> buffer{};
    buffer.fill(0xEE);
    uint16_t keys[4] = {1, 0, 0, 0};
    uint32_t count = 4;
    EXPECT_EQ(host->LoadKData(kTag, keys, buffer.data(), &count, V), 1);
    EXPECT_EQ(count, 6u) << "the record's size, not the bytes copied";
    EXPECT_EQ(buffer, (std::array<uint8_t, 8>{1, 2, 3, 4, 0xEE, 0xEE, 0xEE, 0xEE}));

    count = 8;
    EXPECT_EQ(host->LoadKData(kTag, keys, buffer.data(), &count, V), 1);
    EXPECT_EQ(buffer[5], 6);
    EXPECT_EQ(buffer[6], 0xEE) << "nothing written past the record";
}

TEST_F(HostRecords, LoadWithoutBufferOnlyAsksTheSize) {
    uint16_t keys[4] = {1, 0, 0, 0};
    uint32_t count = 0;
    EXPECT_EQ(host->LoadKData(kTag, keys, nullptr, &count, V), 1);
    EXPECT_EQ(count, 6u);
    EXPECT_TRUE(host->Monitor().LoadedRecords().empty()) << "a size query loads nothing";
}

TEST_F(HostRecords, LoadOfAMissingRecordFailsAndLeavesTheCount) {
    uint16_t keys[4] = {1, 0, 1, 0};
    uint8_t buffer[4] = {};
    uint32_t count = 4;
    EXPECT_EQ(host->LoadKData(kTag, keys, buffer, &count, V), 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(host->LoadKData(kTag, keys, buffer, nullptr, V), 0) << "no count: no load";
}

TEST_F(HostRecords, SaveReplacesAnExistingRecordOnly) {
    uint16_t keys[4] = {1, 0, 2, 0};
    const uint8_t bytes[3] = {4, 5, 6};
    EXPECT_EQ(host->SaveKData(kTag, keys, bytes, 3, V), 1);
    EXPECT_EQ(*host->GetScore().FindRecord(kTag, {1, 0, 2, 0}), (sim::Bytes{4, 5, 6}))
        << "the record takes the new size";

    uint16_t missing[4] = {1, 0, 1, 0};
    EXPECT_EQ(host->SaveKData(kTag, missing, bytes, 3, V), 0);
    EXPECT_EQ(host->GetScore().FindRecord(kTag, {1, 0, 1, 0}), nullptr) << "save creates nothing";
    EXPECT_EQ(host->Log().SavedCount(kTag), 1u);
}

TEST_F(HostRecords, CreateTakesTheIndexAfterTheHighestOfItsFirstTwoKeyWords) {
    uint16_t keys[4] = {1, 0, 0xFFFF, 0};
    const uint8_t bytes[2] = {0x42, 0x43};
    EXPECT_EQ(host->CreateKData(kTag, keys, bytes, 2, V), 1);
    EXPECT_EQ(keys[2], 3) << "indices 0 and 2 are taken under {1,0}";
    EXPECT_EQ(*host->GetScore().FindRecord(kTag, {1, 0, 3, 0}), (sim::Bytes{0x42, 0x43}));

    uint16_t fresh[4] = {4, 4, 0xFFFF, 0};
    EXPECT_EQ(host->CreateKData(kTag, fresh, bytes, 2, V), 1);
    EXPECT_EQ(fresh[2], 0) << "the first record under {4,4}";
    EXPECT_EQ(host->Log().CreatedCount(), 2u);
}

TEST_F(HostRecords, CreateCanLeaveTheIndexUnsetForTheCallerToSearch) {
    host->SetCreateLeavesIndexUnset(true);
    uint16_t keys[4] = {1, 0, 0xFFFF, 0};
    const uint8_t bytes[1] = {1};
    EXPECT_EQ(host->CreateKData(kTag, keys, bytes, 1, V), 1);
    EXPECT_EQ(keys[2], 0xFFFF);
    EXPECT_NE(host->GetScore().FindRecord(kTag, {1, 0, 3, 0}), nullptr) << "created all the same";
}

TEST_F(HostRecords, CreateUnderGivenKeysRefusesTakenOnes) {
    const uint8_t bytes[1] = {1};
    uint16_t taken[4] = {1, 0, 2, 0};
    EXPECT_EQ(host->CreateKData(kTag, taken, bytes, 1, V), 0);
    uint16_t free[4] = {1, 0, 1, 0};
    EXPECT_EQ(host->CreateKData(kTag, free, bytes, 1, V), 1);
    EXPECT_EQ(free[2], 1);
}

TEST_F(HostRecords, DeleteRemovesTheRecord) {
    uint16_t keys[4] = {1, 0, 2, 0};
    EXPECT_EQ(host->DeleteKData(kTag, keys, V), 1);
    EXPECT_EQ(host->DeleteKData(kTag, keys, V), 0);
    EXPECT_EQ(host->GetScore().FindRecord(kTag, {1, 0, 2, 0}), nullptr);
    EXPECT_EQ(host->Log().DeletedCount(), 1u);
}

TEST_F(HostRecords, NextStepsThroughTheTagInAscendingKeyOrder) {
    // Word 1 first: {0,1,0,0} comes before {1,0,0,0} although its entry
    // number (low word first) is larger.
    std::vector<std::array<uint16_t, 4>> seen;
    uint16_t keys[4] = {0, 0, 0, 0};
    while (host->NextKData(kTag, keys, nullptr, nullptr, V) != 0) {
        seen.push_back({keys[0], keys[1], keys[2], keys[3]});
    }
    const std::vector<std::array<uint16_t, 4>> expected = {
        {0, 1, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 5}, {1, 0, 2, 0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(keys[0], 1) << "the key block is left at the last record";
    EXPECT_EQ(keys[2], 2);
}

TEST_F(HostRecords, NextStartsAfterKeysThatNameNoRecord) {
    uint16_t keys[4] = {1, 0, 1, 0};
    EXPECT_EQ(host->NextKData(kTag, keys, nullptr, nullptr, V), 1);
    EXPECT_EQ((std::array<uint16_t, 4>{keys[0], keys[1], keys[2], keys[3]}),
              (std::array<uint16_t, 4>{1, 0, 2, 0}));
    const sim::HostCall& call = host->Log().Calls().back();
    EXPECT_EQ(call.KeysIn, (sim::Keys{1, 0, 1, 0}));
    EXPECT_EQ(call.KeysOut, (sim::Keys{1, 0, 2, 0}));
    EXPECT_EQ(sim::DescribeCall(call),
              "#1 MX_NextKData('test', {1,0,1,0} -> {1,0,2,0}, no buffer, no count, "
              "0x19000000) = 1");
}

TEST_F(HostRecords, NextWithABufferOrCountIsWarnedAbout) {
    uint16_t keys[4] = {0, 0, 0, 0};
    uint32_t count = 0;
    EXPECT_EQ(host->NextKData(kTag, keys, nullptr, &count, V), 1);
    ASSERT_EQ(host->Monitor().Warnings().size(), 1u);
    EXPECT_NE(host->Monitor().Warnings()[0].find("MX_NextKData called with a buffer or a count"),
              std::string::npos);
}

TEST_F(HostRecords, EveryCallIsLoggedWithTagKeysCountsAndResult) {
    uint16_t keys[4] = {1, 0, 0, 0};
    uint8_t buffer[6];
    uint32_t count = 6;
    host->LoadKData(kTag, keys, buffer, &count, 0x18000000);
    const sim::HostCall& call = host->Log().Calls().back();
    EXPECT_EQ(call.Number, 1u);
    EXPECT_EQ(call.Function, sim::HostFn::LoadKData);
    EXPECT_EQ(call.Tag, kTag);
    EXPECT_EQ(call.KeysIn, (sim::Keys{1, 0, 0, 0}));
    EXPECT_TRUE(call.HasBuffer);
    EXPECT_EQ(call.CountIn, 6u);
    EXPECT_EQ(call.CountOut, 6u);
    EXPECT_EQ(call.Version, 0x18000000u);
    EXPECT_EQ(call.Result, 1);
    ASSERT_EQ(host->Monitor().Warnings().size(), 1u);
    EXPECT_EQ(host->Monitor().Warnings()[0],
              "MX_LoadKData called with version argument 0x18000000 instead of 0x19000000");
}

TEST(HostRecordsInScore, TupletIndicesAndDefaultsAreFoundByTheirKeys) {
    sim::Score score;
    score.AddStaff(1);
    const sim::TupletDefinition a{.Position2 = 5};
    const sim::TupletDefinition b{.Flags = 0x8000};
    const uint32_t entry = score.AddEntry(1, 1, 0, 0, {a, b});
    score.SetTuplet(entry, 4, a);
    score.SetRecord(sim::kTupletTag, sim::Keys{1, 0, 7, 1}, sim::Bytes(30));
    score.SetDefaults(b);

    EXPECT_EQ(score.TupletIndices(entry), (std::vector<uint16_t>{0, 1, 4}))
        << "records with a non-zero fourth key word are not the entry's tuplets";
    EXPECT_EQ(score.Tuplet(entry, 1), b);
    EXPECT_EQ(score.Defaults(), b);
    EXPECT_EQ(score.EntriesOf(sim::CellKey{1, 1, 0}).at(0).Flags, sim::kEntryHasTuplets);
}

}  // namespace
