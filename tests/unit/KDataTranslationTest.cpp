#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/data/FieldMap.h"
#include "framework/data/KDataTranslation.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;

constexpr uint32_t kPlayback = sim::MakeTag('p', 'f', 'P', 'L');

class KDataTranslation : public SimHostTest {
protected:
    void Part(char a, char b, uint16_t index, std::array<uint16_t, 6> words) {
        Score().SetPartRecord(a, b, index, words);
    }
    std::array<uint16_t, 6> PartWords(char a, char b, uint16_t index, uint16_t owner = 0xFFFE) {
        const sim::Bytes* bytes = Score().FindRecord(sim::PartTag(a, b), {owner, index, 0, 0});
        std::array<uint16_t, 6> words{};
        if (bytes == nullptr) return words;
        for (size_t i = 0; i < 6; ++i) words[i] = ReadLE16(bytes->data() + 2 * i);
        return words;
    }
    static int16_t Load(uint32_t tag, uint16_t key, void* buffer, uint32_t* count,
                        uint32_t version = 0x19000000) {
        uint16_t keys[4] = {key, 0, 0, 0};
        return LoadKData(tag, keys, buffer, count, version);
    }
    static int16_t Save(uint32_t tag, uint16_t key, void* buffer, uint32_t count,
                        uint32_t version = 0x19000000) {
        uint16_t keys[4] = {key, 0, 0, 0};
        return SaveKData(tag, keys, buffer, count, version);
    }
};

TEST_F(KDataTranslation, RangeKeyConditions) {
    for (uint16_t i = 0; i < 128; i += 127) Part('4', '0', i, {uint16_t(i + 1), 0, 0, 0, 0, 0});
    struct Case {
        uint16_t key;
        int16_t result;
        int partIndex;  // -1: no host call
    };
    const Case cases[] = {{0, 0, -1}, {129, 0, -1}, {1, 1, 0}, {128, 1, 127}};
    for (const Case& c : cases) {
        ForgetCalls();
        uint8_t buffer[12] = {};
        uint32_t count = sizeof buffer;
        EXPECT_EQ(Load(sim::MakeTag('p', 'f', 'S', 'N'), c.key, buffer, &count), c.result)
            << "key " << c.key;
        if (c.partIndex < 0) {
            EXPECT_TRUE(Calls().empty()) << "key " << c.key;
            continue;
        }
        const auto loads = CallsOf(HostFn::LoadKData);
        ASSERT_EQ(loads.size(), 1u) << "key " << c.key;
        EXPECT_EQ(loads[0].Tag, sim::PartTag('4', '0'));
        EXPECT_EQ(loads[0].KeysIn, (sim::Keys{0xFFFE, uint16_t(c.partIndex), 0, 0}));
        EXPECT_EQ(ReadLE16(buffer), c.partIndex + 1);
        EXPECT_EQ(count, 12u);
    }
}

// Each composed tag of the range map reads its own part records: for every
// row (the composed tag, its part tag, the number of parts, the first key
// words it accepts and the index of its first part), a key inside the
// condition reads each part once, in order, under {0xFFFE, first index + i}
// and reports 12 bytes a part; a key outside fails with no host call.
TEST_F(KDataTranslation, EveryRangeRowReadsItsOwnPartsUnderItsKeys) {
    constexpr int kFromKey = -1;  // first index: the key word less 1
    struct Row {
        const char* tag;
        const char* part;
        uint32_t parts;
        int firstIndex;  // or kFromKey
        std::vector<uint16_t> inside;
        std::vector<uint16_t> outside;
    };
    const Row rows[] = {
        {"pfGD", "ot79", 1, 0, {0, 0xFFFF}, {}},
        {"pfGG", "ot88", 11, 0, {0, 0xFFFF}, {}},
        {"pfGb", "ot98", 1, kFromKey, {1, 4}, {0, 5}},
        {"pfGd", "ot80", 1, 0, {0, 0xFFFF}, {}},
        {"pfGs", "ot91", 1, 0, {1}, {0, 2}},
        {"pfMM", "ot25", 2, 0, {0, 0xFFFF}, {}},
        {"pfND", "ot04", 1, 0, {0, 0xFFFF}, {}},
        {"pfNd", "ot66", 1, 0, {0, 0xFFFF}, {}},
        {"pfPF", "ot77", 4, 0, {1}, {2}},  // 0 takes the field map
        {"pfSC", "ot52", 2, 0, {0, 0xFFFF}, {}},
        {"pfSN", "ot40", 1, kFromKey, {1, 128}, {0, 129}},
        {"pfSP", "ot94", 3, 0, {0, 0xFFFF}, {}},
        {"pfSl", "ot26", 1, kFromKey, {1, 15}, {0, 16}},
        {"pfTC", "ot86", 5, 0, {0, 0xFFFF}, {}},
        {"pfTI", "ot84", 4, 0, {0, 0xFFFF}, {}},
        {"pfTX", "ot78", 9, 0, {0, 0xFFFF}, {}},
        {"pfTp", "ot85", 4, 0, {0, 0xFFFF}, {}},
        {"pfTs", "ot90", 1, kFromKey, {1, 9}, {0, 10}},
    };
    for (const Row& row : rows) {
        const uint32_t tag = *sim::ParseTag(row.tag);
        const uint32_t part = *sim::ParseTag(row.part);
        for (uint16_t key : row.inside) {
            SCOPED_TRACE(std::string(row.tag) + " key " + std::to_string(key));
            ForgetCalls();
            std::vector<uint8_t> buffer(12 * row.parts);
            uint32_t count = static_cast<uint32_t>(buffer.size());
            EXPECT_EQ(Load(tag, key, buffer.data(), &count), 1);
            EXPECT_EQ(count, 12 * row.parts);
            const auto loads = CallsOf(HostFn::LoadKData);
            ASSERT_EQ(loads.size(), row.parts);
            const int first = row.firstIndex == kFromKey ? key - 1 : row.firstIndex;
            for (uint32_t i = 0; i < row.parts; ++i) {
                EXPECT_EQ(loads[i].Tag, part) << "part " << i;
                const sim::Keys keys{0xFFFE, uint16_t(first + i), 0, 0};
                EXPECT_EQ(loads[i].KeysIn, keys) << "part " << i;
            }
        }
        for (uint16_t key : row.outside) {
            ForgetCalls();
            uint8_t buffer[12 * 11];
            uint32_t count = sizeof buffer;
            EXPECT_EQ(Load(tag, key, buffer, &count), 0) << row.tag << " key " << key;
            EXPECT_TRUE(Calls().empty()) << row.tag << " key " << key;
        }
    }
}

TEST_F(KDataTranslation, PlaybackFlagsKeyZeroIsTheFieldMapKeyOneTheRangeOfFourParts) {
    for (uint16_t i = 0; i < 4; ++i) Part('7', '7', i, {uint16_t(10 + i), 1, 2, 3, 4, 5});
    const uint32_t tag = sim::MakeTag('p', 'f', 'P', 'F');

    uint32_t count = 0;
    EXPECT_EQ(Load(tag, 0, nullptr, &count), 1);
    EXPECT_EQ(count, 48u);
    EXPECT_EQ(Load(tag, 1, nullptr, &count), 1);
    EXPECT_EQ(count, 48u);
    EXPECT_TRUE(Calls().empty());

    uint8_t buffer[48] = {};
    count = sizeof buffer;
    EXPECT_EQ(Load(tag, 1, buffer, &count), 1);
    EXPECT_EQ(CountOf(HostFn::LoadKData), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ReadLE16(buffer + 12 * i), 10 + i) << "slot " << i;

    ForgetCalls();
    EXPECT_EQ(Load(tag, 2, buffer, &count), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(KDataTranslation, SizeQueriesAnswerWithoutAHostCall) {
    struct Case {
        const char* tag;
        uint32_t size;
    };
    const Case cases[] = {{"pfGG", 132}, {"pfSS", 96}, {"pfPL", 14}, {"pfTX", 108}, {"pf05", 22}};
    for (const Case& c : cases) {
        uint32_t count = 0;
        const uint32_t tag = *sim::ParseTag(c.tag);
        EXPECT_EQ(Load(tag, 1, nullptr, &count), 1) << c.tag;
        EXPECT_EQ(count, c.size) << c.tag;
        EXPECT_EQ(Load(tag, 1, nullptr, nullptr), 0) << c.tag;
    }
    EXPECT_TRUE(Calls().empty());
}

class PlaybackRecord : public KDataTranslation {
protected:
    void SetUp() override {
        Part('1', '3', 0, {0, 0x1301, 0, 0, 0, 0});
        Part('3', '9', 0, {0, 0, 0, 0x3903, 0, 0});
        Part('3', '6', 0, {0x3600, 0, 0, 0, 0, 0x3605});
        Part('3', '7', 0, {0x3700, 0x3701, 0x3702, 0, 0, 0});
    }
};

TEST_F(PlaybackRecord, LoadsEachPartOnceIntoItsFields) {
    uint8_t buffer[14] = {};
    uint32_t count = sizeof buffer;
    ASSERT_EQ(Load(kPlayback, 1, buffer, &count), 1);
    EXPECT_EQ(count, 14u);
    const uint16_t expected[7] = {0x1301, 0x3903, 0x3600, 0x3605, 0x3700, 0x3701, 0x3702};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(ReadLE16(buffer + 2 * i), expected[i]) << "field " << i;
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 4u);
    const uint32_t order[4] = {sim::PartTag('1', '3'), sim::PartTag('3', '9'), sim::PartTag('3', '6'),
                               sim::PartTag('3', '7')};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(loads[i].Tag, order[i]);
        EXPECT_EQ(loads[i].KeysIn, (sim::Keys{0xFFFE, 0, 0, 0}));
        EXPECT_EQ(loads[i].CountIn, 12u);
    }
}

TEST_F(PlaybackRecord, SavingBackUnchangedSavesNothing) {
    uint8_t buffer[14] = {};
    uint32_t count = sizeof buffer;
    ASSERT_EQ(Load(kPlayback, 1, buffer, &count), 1);
    ForgetCalls();
    EXPECT_EQ(Save(kPlayback, 1, buffer, 14), 1);
    EXPECT_EQ(CountOf(HostFn::LoadKData), 4u);
    EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
}

TEST_F(PlaybackRecord, SavingAChangedFieldSavesOnlyItsPart) {
    uint8_t buffer[14] = {};
    uint32_t count = sizeof buffer;
    ASSERT_EQ(Load(kPlayback, 1, buffer, &count), 1);
    WriteLE16(buffer + 10, 0xAAAA);  // 'ot37' word 1
    ForgetCalls();
    EXPECT_EQ(Save(kPlayback, 1, buffer, 14), 1);
    const auto saves = CallsOf(HostFn::SaveKData);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].Tag, sim::PartTag('3', '7'));
    EXPECT_EQ(PartWords('3', '7', 0), (std::array<uint16_t, 6>{0x3700, 0xAAAA, 0x3702, 0, 0, 0}));
}

// Versions below 0x08000000 save straight to the host; from it on, saves
// are translated into the part records (here the changed 'ot13').
TEST_F(PlaybackRecord, AnOldVersionSavesStraightToTheHost) {
    struct Case {
        uint32_t version;
        uint32_t savedTag;
        uint32_t savedVersion;
        size_t partLoads;
    };
    const Case cases[] = {{0x07FFFFFF, kPlayback, 0x07FFFFFF, 0},
                          {0x08000000, sim::PartTag('1', '3'), 0x19000000, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version));
        Score().SetRecord(kPlayback, {1, 0, 0, 0}, sim::Bytes(14, 0));
        uint8_t buffer[14] = {};
        uint32_t count = sizeof buffer;
        ASSERT_EQ(Load(kPlayback, 1, buffer, &count), 1);
        buffer[0] ^= 1;  // 'ot13' word 1
        ForgetCalls();
        EXPECT_EQ(Save(kPlayback, 1, buffer, 14, c.version), 1);
        const auto saves = CallsOf(HostFn::SaveKData);
        ASSERT_EQ(saves.size(), 1u);
        EXPECT_EQ(saves[0].Tag, c.savedTag);
        EXPECT_EQ(saves[0].Version, c.savedVersion);
        EXPECT_EQ(CountOf(HostFn::LoadKData), c.partLoads);
    }
}

TEST_F(PlaybackRecord, ABufferShorterThanTheLayoutIsRefusedUntouched) {
    uint8_t buffer[14];
    std::memset(buffer, 0x5A, sizeof buffer);
    uint32_t count = 13;
    EXPECT_EQ(Load(kPlayback, 1, buffer, &count), 0);
    EXPECT_EQ(count, 13u);
    for (uint8_t byte : buffer) EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(Save(kPlayback, 1, buffer, 13), 0);
    EXPECT_EQ(Save(kPlayback, 1, nullptr, 14), 0);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(KDataTranslation, RangeSaveNeedsTheWholeRange) {
    const uint32_t tag = sim::MakeTag('p', 'f', 'M', 'M');  // two 'ot25' parts
    Part('2', '5', 0, {});
    Part('2', '5', 1, {});
    uint8_t buffer[24];
    for (int i = 0; i < 12; ++i) WriteLE16(buffer + 2 * i, uint16_t(i + 1));
    EXPECT_EQ(Save(tag, 1, buffer, 23), 0);
    EXPECT_EQ(Save(tag, 1, nullptr, 24), 0);
    EXPECT_TRUE(Calls().empty());

    EXPECT_EQ(Save(tag, 1, buffer, 24), 1);
    EXPECT_EQ(CountOf(HostFn::SaveKData), 2u);
    EXPECT_EQ(PartWords('2', '5', 1), (std::array<uint16_t, 6>{7, 8, 9, 10, 11, 12}));

    uint32_t count = 23;
    EXPECT_EQ(Load(tag, 1, buffer, &count), 0);
}

TEST_F(KDataTranslation, OtherTagsGoStraightToTheHost) {
    Score().SetRecord(0x12345678, {4, 5, 6, 7}, {9, 8, 7});
    uint16_t keys[4] = {4, 5, 6, 7};
    uint8_t buffer[8] = {};
    uint32_t count = sizeof buffer;
    EXPECT_EQ(LoadKData(0x12345678, keys, buffer, &count, 0x19000000), 1);
    EXPECT_EQ(count, 3u);
    buffer[0] = 1;
    EXPECT_EQ(SaveKData(0x12345678, keys, buffer, 3, 0x19000000), 1);
    EXPECT_EQ(*Score().FindRecord(0x12345678, {4, 5, 6, 7}), (sim::Bytes{1, 8, 7}));
    EXPECT_EQ(Calls().size(), 2u);
}

// MX_LoadKData stand-ins for the zero-and-compare tag.
int16_t FailLeavingAByte(uint32_t, uint16_t*, void* buffer, uint32_t*, uint32_t) {
    static_cast<uint8_t*>(buffer)[107] = 1;
    return 0;
}
int16_t FailLeavingZeros(uint32_t, uint16_t*, void*, uint32_t*, uint32_t) { return 0; }
int calls = 0;
int16_t SucceedCounting(uint32_t, uint16_t*, void*, uint32_t*, uint32_t) { return ++calls == 2 ? 5 : 1; }

TEST_F(KDataTranslation, ZeroAndCompareTag) {
    struct Case {
        const char* name;
        void* function;  // in the host's place; null: the host lacks MX_LoadKData
        int16_t expected;
    };
    const Case cases[] = {
        {"failed, data left behind", reinterpret_cast<void*>(&FailLeavingAByte), 1},
        {"failed, nothing left", reinterpret_cast<void*>(&FailLeavingZeros), 0},
        {"missing", nullptr, 0},
        {"loaded: asked twice, second answer", reinterpret_cast<void*>(&SucceedCounting), 5},
    };
    for (const Case& c : cases) {
        calls = 0;
        ReplaceFunction("MX_LoadKData", c.function);
        uint8_t buffer[120];
        std::memset(buffer, 0xEE, sizeof buffer);
        uint32_t count = sizeof buffer;
        EXPECT_EQ(Load(kZeroCompareTag, 1, buffer, &count), c.expected) << c.name;
        // The first 108 bytes were zeroed first; the rest is the caller's.
        EXPECT_EQ(buffer[0], 0) << c.name;
        EXPECT_EQ(buffer[108], 0xEE) << c.name;
    }
    EXPECT_EQ(calls, 2);
}

// Maps built here, over parts 'ot' 'A' 'B' and 'ot' 'C' 'D'.
class FieldTransfer : public KDataTranslation {
protected:
    void SetUp() override {
        Part('A', 'B', 0, {0x1234, 0x5678, 0x0000, 0x0005, 0x1280, 0x9ABC});
        Score().SetRecord(sim::PartTag('C', 'D'), {11, 2, 0, 0}, sim::Bytes(12, 0));
    }
};

TEST_F(FieldTransfer, ConversionsLoad) {
    const FieldMapRow rows[] = {
        {{'A', 'B'}, 0, 0, 0, 0, 4, kConvertHighFirst, 0},
        {{'A', 'B'}, 0, 0, 4, 0, 4, kConvertLowFirst, 0},
        {{'A', 'B'}, 0, 0, 8, 2, 2, kConvertInverted, 0},
        {{'A', 'B'}, 0, 0, 10, 3, 2, kConvertInverted, 0},
        {{'A', 'B'}, 0, 0, 12, 4, 2, kConvertLowByte, 0},
        {{'A', 'B'}, 0, 0, 14, 5, 2, kConvertWord, 0},
        {{'A', 'B'}, 0, 0, 16, 0, 4, 7, 0},
    };
    const FieldMap map{rows, static_cast<int32_t>(std::size(rows))};
    uint8_t buffer[20];
    std::memset(buffer, 0xFF, sizeof buffer);
    ASSERT_TRUE(LoadFields(map, buffer, 0x19000000));
    EXPECT_EQ(ReadLE32(buffer + 0), 0x12345678u);
    EXPECT_EQ(ReadLE32(buffer + 4), 0x56781234u);
    EXPECT_EQ(ReadLE16(buffer + 8), 1);       // word 0 loads as 1
    EXPECT_EQ(ReadLE16(buffer + 10), 0);      // word 5 loads as 0
    EXPECT_EQ(ReadLE16(buffer + 12), 0x80);   // low byte of 0x1280
    EXPECT_EQ(ReadLE16(buffer + 14), 0x9ABC);
    EXPECT_EQ(ReadLE32(buffer + 16), 0u);     // no conversion for 4 bytes
    // Seven fields from one part record: one load.
    EXPECT_EQ(CountOf(HostFn::LoadKData), 1u);
    EXPECT_EQ(ReportedSize(map), 20u);
}

TEST_F(FieldTransfer, ConversionsSave) {
    struct Case {
        const char* name;
        FieldMapRow row;
        uint32_t value;
        bool saves;
        std::array<uint16_t, 6> words;  // the part afterwards
    };
    const std::array<uint16_t, 6> stored{0x1234, 0x5678, 0x0000, 0x0005, 0x1280, 0x9ABC};
    const Case cases[] = {
        {"high first, changed", {{'A', 'B'}, 0, 0, 0, 0, 4, kConvertHighFirst, 0}, 0xAAAABBBB, true,
         {0xAAAA, 0xBBBB, 0, 5, 0x1280, 0x9ABC}},
        {"high first, same", {{'A', 'B'}, 0, 0, 0, 0, 4, kConvertHighFirst, 0}, 0x12345678, false, stored},
        {"low first, changed", {{'A', 'B'}, 0, 0, 0, 1, 4, kConvertLowFirst, 0}, 0x00010002, true,
         {0x1234, 0x0002, 0x0001, 5, 0x1280, 0x9ABC}},
        {"inverted: 0 writes 1", {{'A', 'B'}, 0, 0, 0, 3, 2, kConvertInverted, 0}, 0, true,
         {0x1234, 0x5678, 0, 1, 0x1280, 0x9ABC}},
        {"inverted: 7 writes 0", {{'A', 'B'}, 0, 0, 0, 3, 2, kConvertInverted, 0}, 7, true,
         {0x1234, 0x5678, 0, 0, 0x1280, 0x9ABC}},
        {"inverted: 0 over 0 writes 1", {{'A', 'B'}, 0, 0, 0, 2, 2, kConvertInverted, 0}, 0, true,
         {0x1234, 0x5678, 1, 5, 0x1280, 0x9ABC}},
        {"low byte sign-extended", {{'A', 'B'}, 0, 0, 0, 4, 2, kConvertLowByte, 0}, 0x0080, true,
         {0x1234, 0x5678, 0, 5, 0xFF80, 0x9ABC}},
        {"word", {{'A', 'B'}, 0, 0, 0, 5, 2, kConvertWord, 0}, 0x9ABC, false, stored},
        {"4 bytes unconverted, zero", {{'A', 'B'}, 0, 0, 0, 0, 4, 9, 0}, 0, false, stored},
        {"4 bytes unconverted, non-zero counts", {{'A', 'B'}, 0, 0, 0, 0, 4, 9, 0}, 1, true, stored},
    };
    for (const Case& c : cases) {
        Part('A', 'B', 0, stored);
        ForgetCalls();
        uint8_t buffer[4];
        if (c.row.Size == 4) {
            WriteLE32(buffer, c.value);
        } else {
            WriteLE16(buffer, static_cast<uint16_t>(c.value));
        }
        const FieldMap map{&c.row, 1};
        ASSERT_TRUE(SaveFields(map, buffer, 0x19000000)) << c.name;
        EXPECT_EQ(CountOf(HostFn::SaveKData), c.saves ? 1u : 0u) << c.name;
        EXPECT_EQ(PartWords('A', 'B', 0), c.words) << c.name;
    }
}

TEST_F(FieldTransfer, OffsetsOutOfRowOrderAndPartKeys) {
    const FieldMapRow rows[] = {
        {{'C', 'D'}, 11, 2, 6, 1, 2, kConvertWord, 0},
        {{'A', 'B'}, 0, 0, 2, 0, 2, kConvertWord, 0},
        {{'C', 'D'}, 11, 2, 0, 4, 2, kConvertWord, 0},
        {{'A', 'B'}, 0, 0, 4, 1, 2, kConvertWord, 0},
    };
    const FieldMap map{rows, static_cast<int32_t>(std::size(rows))};
    EXPECT_EQ(LayoutSpan(map), 8u);
    uint8_t buffer[8] = {};
    ASSERT_TRUE(LoadFields(map, buffer, 0x19000000));
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[0].KeysIn, (sim::Keys{11, 2, 0, 0}));
    EXPECT_EQ(loads[1].KeysIn, (sim::Keys{0xFFFE, 0, 0, 0}));
    EXPECT_EQ(ReadLE16(buffer + 2), 0x1234);
    EXPECT_EQ(ReadLE16(buffer + 4), 0x5678);

    WriteLE16(buffer + 6, 0x0606);
    WriteLE16(buffer + 0, 0x0404);
    ForgetCalls();
    ASSERT_TRUE(SaveFields(map, buffer, 0x19000000));
    const auto saves = CallsOf(HostFn::SaveKData);
    ASSERT_EQ(saves.size(), 1u);
    const sim::Bytes& cd = *Score().FindRecord(sim::PartTag('C', 'D'), {11, 2, 0, 0});
    EXPECT_EQ(ReadLE16(cd.data() + 2), 0x0606);
    EXPECT_EQ(ReadLE16(cd.data() + 8), 0x0404);
}

TEST_F(FieldTransfer, APartThatFailsToLoadIsNeverSaved) {
    const FieldMapRow row{{'A', 'B'}, 0, 0, 0, 1, 2, kConvertWord, 0};
    const FieldMap map{&row, 1};
    Host.Failures().FailLoad(sim::PartTag('A', 'B'));
    uint8_t buffer[2];
    WriteLE16(buffer, 0x7777);
    ASSERT_TRUE(SaveFields(map, buffer, 0x19000000));
    EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
    EXPECT_EQ(PartWords('A', 'B', 0)[0], 0x1234);

    bool allLoaded = true;
    ASSERT_TRUE(LoadFields(map, buffer, 0x19000000, &allLoaded));
    EXPECT_FALSE(allLoaded);
    EXPECT_EQ(ReadLE16(buffer), 0);
}

TEST_F(FieldTransfer, ImpossibleRowsAreRefused) {
    const FieldMapRow rows[] = {
        {{'A', 'B'}, 0, 0, 0, 5, 4, kConvertHighFirst, 0},  // w[6] is past the part
        {{'A', 'B'}, 0, 0, -2, 0, 2, kConvertWord, 0},
        {{'A', 'B'}, 0, 0, 0, 0, 3, kConvertWord, 0},
    };
    for (const FieldMapRow& row : rows) {
        const FieldMap map{&row, 1};
        uint8_t buffer[8] = {};
        EXPECT_FALSE(LoadFields(map, buffer, 0x19000000));
        EXPECT_FALSE(SaveFields(map, buffer, 0x19000000));
    }
    EXPECT_TRUE(Calls().empty());
}

}  // namespace

namespace {

// A part record of another size than 12 bytes feeds its fields with the
// words it has, but is never saved: a shorter one would grow words the host
// never gave, a longer one would be cut.
TEST_F(PlaybackRecord, APartRecordOfAnotherSizeThanTwelveBytesIsNeverSaved) {
    for (size_t size : {size_t{4}, size_t{11}, size_t{13}, size_t{16}}) {
        SCOPED_TRACE("'ot37' of " + std::to_string(size) + " bytes");
        sim::Bytes part = {0x00, 0x37, 0x01, 0x37, 0x02, 0x37};
        part.resize(size, 0x99);
        Score().SetRecord(sim::PartTag('3', '7'), {0xFFFE, 0, 0, 0}, part);
        uint8_t buffer[14] = {};
        uint32_t count = sizeof buffer;
        ASSERT_EQ(Load(kPlayback, 1, buffer, &count), 1);
        EXPECT_EQ(ReadLE16(buffer + 8), 0x3700);
        WriteLE16(buffer + 10, 0xAAAA);  // 'ot37' word 1
        WriteLE16(buffer + 0, static_cast<uint16_t>(0xBB00 + size));  // 'ot13' word 1
        ForgetCalls();
        EXPECT_EQ(Save(kPlayback, 1, buffer, 14), 1);
        const auto saves = CallsOf(HostFn::SaveKData);
        ASSERT_EQ(saves.size(), 1u);
        EXPECT_EQ(saves[0].Tag, sim::PartTag('1', '3'));
        EXPECT_EQ(*Score().FindRecord(sim::PartTag('3', '7'), {0xFFFE, 0, 0, 0}), part);
    }
}

}  // namespace
