#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/core/MCBlockPool.h"
#include "framework/host/HostVersion.h"
#include "plugin/MelvaraExtension.h"

namespace {

constexpr const char* kTitles[] = {"QV Tuplets - Reset to Defaults",
                                   "QV Tuplets - Compare with Defaults...",
                                   "QV Tuplets - Change Defaults"};
constexpr const char* kDescriptions[] = {
    "Set the Default Tuplet Definition to all the tuplets in the selected region.",
    "Reports differences between region's tuplets and the Default Tuplet Definition.",
    "Change the Default Tuplet Definition to the tuplet in the selected region."};
constexpr const char* kShortNames[] = {"Reset Tuplets", "Compare Tuplet Defaults",
                                       "Change Tuplet Defaults"};

class MenuExports : public ::testing::Test {
protected:
    void SetUp() override {
        HostVersion = kInitialHostVersion;
        MenuHostVersion = 0;
    }
    void TearDown() override { SetUp(); }
};

// The field as strncpy with a limit of 64 leaves it.
void ExpectStrncpyField(const char* field, const char* text) {
    const size_t length = std::strlen(text);
    for (size_t i = 0; i < 64; ++i) {
        const char expected = i < length ? text[i] : '\0';
        ASSERT_EQ(field[i], expected) << "byte " << i << " of \"" << text << "\"";
    }
}

// At most 63 units of the text, one zero unit, and the host's units after it.
void ExpectWideField(const char16_t* field, const char* text, char16_t hostFill) {
    const size_t length = std::min<size_t>(std::strlen(text), 63);
    for (size_t i = 0; i < 128; ++i) {
        char16_t expected = hostFill;
        if (i < length) expected = static_cast<char16_t>(text[i]);
        if (i == length) expected = 0;
        ASSERT_EQ(field[i], expected) << "unit " << i << " of \"" << text << "\"";
    }
}

TEST_F(MenuExports, NarrowRecordsFollowTheStrncpyRule) {
    MelvaraExtensionVersion(0x11000000);
    for (int16_t index = 0; index < 3; ++index) {
        MenuItemRecord record;
        std::memset(&record, 0xAB, sizeof record);
        ASSERT_EQ(MelvaraExtensionEnumerate(nullptr, index, &record), 1);
        ExpectStrncpyField(record.Title, kTitles[index]);
        ExpectStrncpyField(record.Description, kDescriptions[index]);
        ExpectStrncpyField(record.ShortName, kShortNames[index]);
        uint32_t flag;
        std::memcpy(&flag, reinterpret_cast<const char*>(&record) + 192, 4);
        EXPECT_EQ(flag, 1u);
        // The description never fits: its 64 bytes carry no terminator.
        EXPECT_EQ(std::memchr(record.Description, 0, 64), nullptr);
    }
}

// The texts go into the record unit by unit, without memory of the
// module's: with every allocation failing, the menu is still whole.
TEST_F(MenuExports, WideRecordsWriteAtMost63UnitsAndATerminator) {
    MelvaraExtensionVersion(0x11000000);
    for (int16_t index = 0; index < 3; ++index) {
        MenuItemRecordW record;
        for (char16_t& unit : record.Title) unit = 0x5A5A;
        for (char16_t& unit : record.Description) unit = 0x5A5A;
        for (char16_t& unit : record.ShortName) unit = 0x5A5A;
        record.ItemFlag = 0;
        const uint64_t allocations = mcpool::Allocations();
        mcpool::FailAllocation(1);
        ASSERT_EQ(MelvaraExtensionEnumerate_UTF16(nullptr, index, &record), 1);
        mcpool::FailAllocation(0);
        EXPECT_EQ(mcpool::Allocations(), allocations);
        ExpectWideField(record.Title, kTitles[index], 0x5A5A);
        ExpectWideField(record.Description, kDescriptions[index], 0x5A5A);
        ExpectWideField(record.ShortName, kShortNames[index], 0x5A5A);
        EXPECT_EQ(record.Description[63], 0);
        EXPECT_EQ(record.ItemFlag, 1u);
    }
}

TEST_F(MenuExports, VersionGateOfTheThirdCommand) {
    struct Case {
        bool callVersion;
        uint32_t version;
        int16_t expected;
    };
    const Case cases[] = {
        {false, 0, 0},                // no version given yet
        {true, 0x10FFFFFF, 0},        // one below
        {true, 0x11000000, 1},        // the first version offered
        {true, 0x80000000, 1},        // compared unsigned
        {true, 0xFFFFFFFF, 1},
    };
    for (const Case& c : cases) {
        MenuHostVersion = 0;
        if (c.callVersion) {
            EXPECT_EQ(MelvaraExtensionVersion(c.version), c.version);
        }
        MenuItemRecord narrow;
        std::memset(&narrow, 0xCD, sizeof narrow);
        MenuItemRecordW wide;
        std::memset(&wide, 0xCD, sizeof wide);
        EXPECT_EQ(MelvaraExtensionEnumerate(nullptr, 2, &narrow), c.expected) << std::hex << c.version;
        EXPECT_EQ(MelvaraExtensionEnumerate_UTF16(nullptr, 2, &wide), c.expected) << std::hex << c.version;
        if (c.expected == 0) {
            EXPECT_EQ(static_cast<unsigned char>(narrow.Title[0]), 0xCD);
            EXPECT_EQ(wide.Title[0], 0xCDCD);
        } else {
            EXPECT_STREQ(narrow.Title, kTitles[2]);
        }
    }
}

TEST_F(MenuExports, IndexesWithoutACommand) {
    MelvaraExtensionVersion(0xFFFFFFFF);
    MenuItemRecord narrow;
    std::memset(&narrow, 0xCD, sizeof narrow);
    EXPECT_EQ(MelvaraExtensionEnumerate(nullptr, 3, &narrow), 0);
    EXPECT_EQ(MelvaraExtensionEnumerate(nullptr, INT16_MAX, &narrow), 0);
    EXPECT_EQ(static_cast<unsigned char>(narrow.ShortName[5]), 0xCD);
    EXPECT_EQ(MelvaraExtensionEnumerate(nullptr, 0, nullptr), 0);
    EXPECT_EQ(MelvaraExtensionEnumerate_UTF16(nullptr, 0, nullptr), 0);

    for (int16_t negative : {int16_t{-1}, int16_t{INT16_MIN}}) {
        ASSERT_EQ(MelvaraExtensionEnumerate(nullptr, negative, &narrow), 1);
        EXPECT_STREQ(narrow.Title, kTitles[0]);
    }
}

TEST_F(MenuExports, VersionIsRecordedForBothUses) {
    EXPECT_EQ(MelvaraExtensionVersion(0x12345678), 0x12345678u);
    EXPECT_EQ(HostVersion, 0x12345678u);
    EXPECT_EQ(MenuHostVersion, 0x12345678u);
}

TEST_F(MenuExports, InitSetsBitZeroOnly) {
    uint32_t word = 0x6;
    EXPECT_EQ(MelvaraExtensionInit(nullptr, &word), 1);
    EXPECT_EQ(word, 0x7u);
    word = 0xFFFFFFFF;
    EXPECT_EQ(MelvaraExtensionInit(nullptr, &word), 1);
    EXPECT_EQ(word, 0xFFFFFFFFu);
    EXPECT_EQ(MelvaraExtensionInit(nullptr, nullptr), 1);
}

TEST_F(MenuExports, StatusAndTerminate) {
    EXPECT_EQ(MelvaraExtensionGetMenuStatus(nullptr), 1);
    MelvaraExtensionTerminate();
    EXPECT_EQ(MelvaraExtensionGetMenuStatus(reinterpret_cast<void*>(0x1234)), 1);
}

}  // namespace
