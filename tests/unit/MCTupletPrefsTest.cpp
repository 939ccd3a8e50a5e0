#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "framework/core/ByteOrder.h"
#include "framework/data/FieldMap.h"
#include "framework/data/MCPrefsBase.h"
#include "framework/data/MCTupletPrefs.h"
#include "framework/host/HostVersion.h"
#include "tests/support/SimHostTest.h"

namespace {

using sim::HostFn;
using sim::Keys;

constexpr uint32_t kDefaultsTag = 0x70665450;  // 'pfTP'
constexpr Keys kPartKeys{0xFFFE, 0, 0, 0};

using PartWords = std::array<uint16_t, 6>;

// A part record's six words as the score holds them.
PartWords WordsOf(const sim::Score& score, uint32_t tag, const Keys& keys) {
    const sim::Bytes* bytes = score.FindRecord(tag, keys);
    PartWords words{};
    if (bytes == nullptr || bytes->size() < 12) return words;
    for (size_t i = 0; i < words.size(); ++i) words[i] = ReadLE16(bytes->data() + 2 * i);
    return words;
}

class TupletDefaults : public SimHostTest {
protected:
    static constexpr PartWords kOt14{0x1400, 0x1401, 0x1402, 0x1403, 0x1404, 0x1405};
    static constexpr PartWords kOt69{0x6900, 0x6901, 0x6902, 0x6903, 0x6904, 0x6905};
    static constexpr PartWords kOt23{0x2300, 0x2301, 0x2302, 0x2303, 0x2304, 0x2305};

    TupletDefaults() {
        Score().SetDefaults(SampleTuplet(9));
        Score().SetPartRecord('1', '4', 0, kOt14);
        Score().SetPartRecord('6', '9', 0, kOt69);
        Score().SetPartRecord('2', '3', 0, kOt23);
    }

    static std::vector<uint32_t> TagsOf(const std::vector<sim::HostCall>& calls) {
        std::vector<uint32_t> tags;
        for (const sim::HostCall& call : calls) tags.push_back(call.Tag);
        return tags;
    }
    static sim::TupletDefinition DefinitionOf(const MCTupletPrefs& prefs) {
        return sim::TupletDefinition::FromBytes(prefs.Definition.Bytes);
    }
};

TEST_F(TupletDefaults, LoadReadsTheMainRecordThenEachPartRecordOnce) {
    MCTupletPrefs prefs;
    ASSERT_TRUE(prefs.Load(1));

    const auto& calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[0].Function, HostFn::LoadKData);
    EXPECT_EQ(calls[0].Tag, kDefaultsTag);
    EXPECT_EQ(calls[0].KeysIn, (Keys{1, 0, 0, 0}));
    EXPECT_EQ(calls[0].CountIn, 30u);
    EXPECT_EQ(calls[1].Function, HostFn::GetCurrentKovrinDocument);
    const uint32_t parts[] = {sim::PartTag('1', '4'), sim::PartTag('6', '9'),
                              sim::PartTag('2', '3')};
    for (size_t i = 0; i < 3; ++i) {
        const sim::HostCall& call = calls[2 + i];
        EXPECT_EQ(call.Function, HostFn::LoadKData) << sim::DescribeCall(call);
        EXPECT_EQ(call.Tag, parts[i]) << sim::DescribeCall(call);
        EXPECT_EQ(call.KeysIn, kPartKeys) << sim::DescribeCall(call);
        EXPECT_EQ(call.CountIn, 12u) << sim::DescribeCall(call);
        EXPECT_EQ(call.Version, 0x19000000u) << sim::DescribeCall(call);
    }

    EXPECT_EQ(DefinitionOf(prefs), SampleTuplet(9));
    EXPECT_EQ(prefs.GetDataSize(), 30);
    EXPECT_EQ(prefs.PreferenceNumber(), 1);
    EXPECT_EQ(prefs.SupplementWord(0), kOt14[4]);
    EXPECT_EQ(prefs.SupplementWord(1), kOt14[5]);
    EXPECT_EQ(prefs.SupplementWord(2), kOt69[0]);
    EXPECT_EQ(prefs.SupplementWord(3), kOt23[5]);
}

TEST_F(TupletDefaults, SavingUnchangedDefaultsWritesOnlyTheMainRecord) {
    MCTupletPrefs prefs;
    ASSERT_TRUE(prefs.Load(1));
    const sim::Score before = Score();
    ForgetCalls();

    EXPECT_TRUE(prefs.Save());
    const auto saves = CallsOf(HostFn::SaveKData);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].Tag, kDefaultsTag);
    EXPECT_EQ(saves[0].KeysIn, (Keys{1, 0, 0, 0}));
    EXPECT_EQ(saves[0].CountIn, 30u);
    EXPECT_EQ(TagsOf(CallsOf(HostFn::LoadKData)),
              (std::vector<uint32_t>{sim::PartTag('1', '4'), sim::PartTag('6', '9'),
                                     sim::PartTag('2', '3')}));
    EXPECT_EQ(Score(), before);
}

TEST_F(TupletDefaults, AChangedSupplementWordSavesOnlyItsPartRecord) {
    struct Case {
        int word;
        char a, b;
        int partWord;
    };
    const Case cases[] = {{0, '1', '4', 4}, {1, '1', '4', 5}, {2, '6', '9', 0}, {3, '2', '3', 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE("supplement word " + std::to_string(c.word));
        Score().SetPartRecord('1', '4', 0, kOt14);
        Score().SetPartRecord('6', '9', 0, kOt69);
        Score().SetPartRecord('2', '3', 0, kOt23);
        const sim::Score before = Score();
        MCTupletPrefs prefs;
        ASSERT_TRUE(prefs.Load(1));
        prefs.Supplement[c.word] = 0xBEEF;
        ForgetCalls();

        EXPECT_TRUE(prefs.Save());
        EXPECT_EQ(TagsOf(CallsOf(HostFn::SaveKData)),
                  (std::vector<uint32_t>{kDefaultsTag, sim::PartTag(c.a, c.b)}));
        for (const auto& [key, bytes] : Score().Records) {
            if (key.Tag == sim::PartTag(c.a, c.b)) continue;
            EXPECT_EQ(bytes, *before.FindRecord(key.Tag, key.Words)) << sim::TagText(key.Tag);
        }
        PartWords expected = WordsOf(before, sim::PartTag(c.a, c.b), kPartKeys);
        expected[static_cast<size_t>(c.partWord)] = 0xBEEF;
        EXPECT_EQ(WordsOf(Score(), sim::PartTag(c.a, c.b), kPartKeys), expected);
    }
}

TEST_F(TupletDefaults, BothWordsOfOnePartRecordAreSavedTogether) {
    MCTupletPrefs prefs;
    ASSERT_TRUE(prefs.Load(1));
    prefs.Supplement[0] = 1;
    prefs.Supplement[1] = 2;
    ForgetCalls();
    EXPECT_TRUE(prefs.Save());
    EXPECT_EQ(TagsOf(CallsOf(HostFn::SaveKData)),
              (std::vector<uint32_t>{kDefaultsTag, sim::PartTag('1', '4')}));
    PartWords expected = kOt14;
    expected[4] = 1;
    expected[5] = 2;
    EXPECT_EQ(WordsOf(Score(), sim::PartTag('1', '4'), kPartKeys), expected);
}

TEST_F(TupletDefaults, AFailedMainLoadLoadsNoPartAndForbidsTheSave) {
    Host.Failures().FailLoad(kDefaultsTag);
    MCTupletPrefs prefs;
    prefs.Supplement[2] = 0x1234;
    EXPECT_FALSE(prefs.Load(1));
    EXPECT_EQ(TagsOf(CallsOf(HostFn::LoadKData)), (std::vector<uint32_t>{kDefaultsTag}));
    EXPECT_EQ(prefs.GetDataSize(), 0);
    EXPECT_EQ(prefs.SupplementWord(2), 0x1234) << "the supplement is untouched";

    ForgetCalls();
    EXPECT_FALSE(prefs.Save());
    EXPECT_FALSE(prefs.Reload());
    EXPECT_TRUE(Calls().empty());
}

TEST_F(TupletDefaults, ReloadLoadsNumberOneAgainWithItsSupplement) {
    MCTupletPrefs prefs;
    EXPECT_FALSE(prefs.Reload()) << "nothing loaded yet";
    EXPECT_TRUE(Calls().empty());

    ASSERT_TRUE(prefs.Load(1));
    Score().SetDefaults(SampleTuplet(20));
    Score().SetPartRecord('6', '9', 0, {7, 7, 7, 7, 7, 7});
    ForgetCalls();
    EXPECT_TRUE(prefs.Reload());
    const auto loads = CallsOf(HostFn::LoadKData);
    ASSERT_EQ(loads.size(), 4u);
    EXPECT_EQ(loads[0].Tag, kDefaultsTag);
    EXPECT_EQ(loads[0].KeysIn, (Keys{1, 0, 0, 0}));
    EXPECT_EQ(DefinitionOf(prefs), SampleTuplet(20));
    EXPECT_EQ(prefs.SupplementWord(2), 7);
}

TEST_F(TupletDefaults, APartRecordThatFailsToLoadKeepsTheWholeSupplementFromBeingSaved) {
    Host.Failures().FailLoad(sim::PartTag('6', '9'));
    MCTupletPrefs prefs;
    ASSERT_TRUE(prefs.Load(1));
    EXPECT_EQ(prefs.SupplementWord(0), kOt14[4]);
    EXPECT_EQ(prefs.SupplementWord(1), kOt14[5]);
    EXPECT_EQ(prefs.SupplementWord(3), kOt23[5]);

    const sim::Score before = Score();
    for (int i = 0; i < 4; ++i) prefs.Supplement[i] = static_cast<uint16_t>(0xA0 + i);
    prefs.Definition.SetWord(TupletDefinition::kValue1, 0x4242);
    ForgetCalls();
    EXPECT_TRUE(prefs.Save());
    EXPECT_EQ(TagsOf(CallsOf(HostFn::SaveKData)), (std::vector<uint32_t>{kDefaultsTag}));
    for (const char* part : {"14", "69", "23"}) {
        const uint32_t tag = sim::PartTag(part[0], part[1]);
        EXPECT_EQ(WordsOf(Score(), tag, kPartKeys), WordsOf(before, tag, kPartKeys)) << part;
    }
    EXPECT_EQ(Score().Defaults()->Value1, 0x4242);
}

TEST_F(TupletDefaults, ASaveIntoAnotherDocumentIsRefused) {
    MCTupletPrefs prefs;
    ASSERT_TRUE(prefs.Load(1));
    prefs.Definition.SetWord(TupletDefinition::kValue2, 0x5151);
    prefs.Supplement[3] = 0x5252;
    Host.SetCurrentDocument(static_cast<int16_t>(Score().Document + 1));
    const sim::Score before = Score();
    ForgetCalls();

    EXPECT_FALSE(prefs.Save());
    EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
    EXPECT_EQ(Score(), before);
}

// Versioned transfers over maps of the test's own.
class VersionedFields : public SimHostTest {
protected:
    static constexpr uint16_t kUntouched = 0xAAAA;

    VersionedFields() {
        Score().SetPartRecord('2', '2', 0, {0x2200, 0x2201, 0x2202, 0x2203, 0x2204, 0x2205});
        Score().SetPartRecord('3', '6', 0, {0x3600, 0x3601, 0x3602, 0x3603, 0x3604, 0x3605});
        Score().SetPartRecord('4', '4', 0, {0x4400, 0x4401, 0x4402, 0x4403, 0x4404, 0x4405});
        sim::Bytes fi(12);
        for (int i = 0; i < 6; ++i) WriteLE16(fi.data() + 2 * i, static_cast<uint16_t>(0xF100 + i));
        Score().SetRecord(sim::PartTag('F', 'I'), Keys{10, 0, 0, 0}, fi);
    }

    static std::vector<uint16_t> Words(const uint8_t* bytes, int count) {
        std::vector<uint16_t> words;
        for (int i = 0; i < count; ++i) words.push_back(ReadLE16(bytes + 2 * i));
        return words;
    }
};

// Row 1 needs 0x12050000, row 3 0x12000000, row 2 any host.
constexpr FieldMapRow kGatedRows[] = {
    {{'2', '2'}, 0, 0, 0, 4, 2, kConvertWord, 0x12050000},
    {{'3', '6'}, 0, 0, 2, 1, 2, kConvertWord, 0},
    {{'F', 'I'}, 10, 0, 4, 5, 2, kConvertWord, 0x12000000},
};
constexpr FieldMap kGatedMap{kGatedRows, static_cast<int32_t>(std::size(kGatedRows))};

TEST_F(VersionedFields, ARowTakesPartOnlyFromItsMinimumHostVersionOn) {
    constexpr uint16_t u = kUntouched;
    struct Case {
        uint32_t hostVersion;
        std::vector<uint16_t> target;
        std::vector<uint32_t> partsLoaded;
    };
    const Case cases[] = {
        {0x11FFFFFF, {u, 0x3601, u}, {sim::PartTag('3', '6')}},
        {0x12000000, {u, 0x3601, 0xF105}, {sim::PartTag('3', '6'), sim::PartTag('F', 'I')}},
        {0x12050000,
         {0x2204, 0x3601, 0xF105},
         {sim::PartTag('2', '2'), sim::PartTag('3', '6'), sim::PartTag('F', 'I')}},
        {0xFFFFFFFF,
         {0x2204, 0x3601, 0xF105},
         {sim::PartTag('2', '2'), sim::PartTag('3', '6'), sim::PartTag('F', 'I')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.hostVersion));
        HostVersion = c.hostVersion;
        ForgetCalls();
        uint8_t target[6];
        for (int i = 0; i < 3; ++i) WriteLE16(target + 2 * i, kUntouched);
        uint32_t count = 2;  // not compared with the map
        EXPECT_TRUE(__MCPrefsBase::LoadVersionedFields(kGatedMap, target, &count));
        EXPECT_EQ(count, 6u) << "every row counts, taking part or not";
        EXPECT_EQ(Words(target, 3), c.target);
        std::vector<uint32_t> loaded;
        for (const sim::HostCall& call : CallsOf(HostFn::LoadKData)) {
            loaded.push_back(call.Tag);
            const bool ownKey = call.Tag == sim::PartTag('F', 'I');
            EXPECT_EQ(call.KeysIn, (Keys{ownKey ? uint16_t{10} : uint16_t{0xFFFE}, 0, 0, 0}));
        }
        EXPECT_EQ(loaded, c.partsLoaded);
    }
}

// A preference record of the directory: 'pfpS', whose one field is word 0
// of part record 'otPG'.
class PageSetup : public __MCPrefsBase {
public:
    int32_t ClassID() const override { return 1; }
    uint8_t* DataBuffer() override { return Bytes; }
    __MCBaseData* CreateObject() override { return nullptr; }
    uint32_t Tag() override { return sim::MakeTag('p', 'f', 'p', 'S'); }
    int LoadSize() override { return sizeof Bytes; }
    bool LoadFirst() override { return Load(1); }

    uint8_t Bytes[2] = {};
};

TEST_F(VersionedFields, ARecordOfTheDirectoryIsAssembledFromItsPartRecords) {
    Score().SetPartRecord('P', 'G', 0, {0x5150, 1, 2, 3, 4, 5});
    PageSetup page;
    ASSERT_TRUE(page.Load(1));
    EXPECT_EQ(page.GetDataSize(), 2) << "the map's reported size";
    EXPECT_EQ(ReadLE16(page.Bytes), 0x5150);
    WriteLE16(page.Bytes, 0x5151);
    ASSERT_TRUE(page.Save());
    EXPECT_EQ(WordsOf(Score(), sim::PartTag('P', 'G'), kPartKeys), (PartWords{0x5151, 1, 2, 3, 4, 5}));
    EXPECT_EQ(CountOf(HostFn::SaveKData), 1u) << "the part record, not 'pfpS'";
}

TEST_F(VersionedFields, ASizeQueryOrAnEmptyMapMakesNoHostCall) {
    uint32_t count = 0;
    EXPECT_TRUE(__MCPrefsBase::LoadVersionedFields(kGatedMap, nullptr, &count));
    EXPECT_EQ(count, 6u);
    const FieldMap empty{kGatedRows, 0};
    uint8_t target[2] = {1, 2};
    count = 99;
    EXPECT_TRUE(__MCPrefsBase::LoadVersionedFields(empty, target, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(target[0], 1);
    EXPECT_TRUE(Calls().empty());
}

// Three fields from one part record; the middle one needs 0x12050000.
constexpr FieldMapRow kGroupedRows[] = {
    {{'4', '4'}, 0, 0, 0, 0, 2, kConvertWord, 0},
    {{'4', '4'}, 0, 0, 2, 1, 2, kConvertWord, 0x12050000},
    {{'4', '4'}, 0, 0, 4, 2, 2, kConvertWord, 0},
};
constexpr FieldMap kGroupedMap{kGroupedRows, static_cast<int32_t>(std::size(kGroupedRows))};

TEST_F(VersionedFields, RowsServedByAnEarlierRowsPartRecordAreTestedOneByOne) {
    HostVersion = 0x12000000;
    uint8_t target[6];
    for (int i = 0; i < 3; ++i) WriteLE16(target + 2 * i, kUntouched);
    uint32_t count = 6;
    EXPECT_TRUE(__MCPrefsBase::LoadVersionedFields(kGroupedMap, target, &count));
    EXPECT_EQ(Words(target, 3), (std::vector<uint16_t>{0x4400, kUntouched, 0x4402}));
    EXPECT_EQ(CountOf(HostFn::LoadKData), 1u);

    ForgetCalls();
    const uint8_t source[6] = {0x01, 0x00, 0x02, 0x00, 0x03, 0x00};
    EXPECT_TRUE(__MCPrefsBase::SaveVersionedFields(kGroupedMap, source, 6));
    EXPECT_EQ(CountOf(HostFn::LoadKData), 1u);
    EXPECT_EQ(CountOf(HostFn::SaveKData), 1u);
    EXPECT_EQ(WordsOf(Score(), sim::PartTag('4', '4'), kPartKeys),
              (PartWords{0x0001, 0x4401, 0x0003, 0x4403, 0x4404, 0x4405}))
        << "the gated row's word stays as stored";
}

TEST_F(VersionedFields, ASaveNeedsTwoBytesPerRow) {
    uint8_t source[6] = {};
    EXPECT_FALSE(__MCPrefsBase::SaveVersionedFields(kGroupedMap, source, 5));
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(__MCPrefsBase::SaveVersionedFields(kGroupedMap, source, 6));
    EXPECT_EQ(CountOf(HostFn::LoadKData), 1u);
    EXPECT_EQ(CountOf(HostFn::SaveKData), 1u);
}

TEST_F(VersionedFields, AnUnchangedSaveWritesNothing) {
    HostVersion = 0x12050000;
    uint8_t buffer[6];
    uint32_t count = 6;
    ASSERT_TRUE(__MCPrefsBase::LoadVersionedFields(kGatedMap, buffer, &count));
    const sim::Score before = Score();
    ForgetCalls();
    EXPECT_TRUE(__MCPrefsBase::SaveVersionedFields(kGatedMap, buffer, 6));
    EXPECT_EQ(CountOf(HostFn::LoadKData), 3u);
    EXPECT_EQ(CountOf(HostFn::SaveKData), 0u);
    EXPECT_EQ(Score(), before);
}

}  // namespace

namespace {

// By any way of loading it: by number, as the next record, again.
TEST_F(TupletDefaults, AMainBlockOfAnotherSizeThanThirtyBytesDoesNotLoad) {
    for (size_t size : {size_t{0}, size_t{10}, size_t{29}, size_t{31}, size_t{60}}) {
        SCOPED_TRACE("main block of " + std::to_string(size) + " bytes");
        sim::Bytes main = SampleTuplet(9).ToBytes();
        main.resize(size, 0x33);
        Score().SetRecord(kDefaultsTag, {1, 0, 0, 0}, SampleTuplet(8).ToBytes());
        Score().SetRecord(kDefaultsTag, {2, 0, 0, 0}, main);
        MCTupletPrefs prefs;
        EXPECT_FALSE(prefs.Load(2));
        EXPECT_EQ(prefs.GetDataSize(), 0);
        ASSERT_TRUE(prefs.Load(1));
        EXPECT_FALSE(prefs.LoadNext());
        EXPECT_EQ(prefs.GetDataSize(), 0);
        ASSERT_TRUE(prefs.Load(1));
        Score().SetRecord(kDefaultsTag, {1, 0, 0, 0}, main);
        EXPECT_FALSE(prefs.Reload());
        EXPECT_EQ(prefs.GetDataSize(), 0);
        ForgetCalls();
        EXPECT_FALSE(prefs.Save());
        EXPECT_TRUE(Calls().empty());
    }
}

}  // namespace
