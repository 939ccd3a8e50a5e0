// The Linux stand-in for the Windows calls, in a program that exports the
// functions a host program would.
#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"

namespace {
struct BoxCall {
    void* window = nullptr;
    std::u16string text, caption;
    unsigned style = 0;
    int calls = 0;
} lastBox;
void* lastIsWindow = nullptr;
}  // namespace

extern "C" __attribute__((visibility("default"))) int MessageBoxW(void* window, const char16_t* text,
                                                                 const char16_t* caption,
                                                                 unsigned style) {
    lastBox.window = window;
    lastBox.text = text;
    lastBox.caption = caption;
    lastBox.style = style;
    ++lastBox.calls;
    return 7;
}

extern "C" __attribute__((visibility("default"))) int IsWindow(void* window) {
    lastIsWindow = window;
    return 0;
}

extern "C" __attribute__((visibility("default"))) int16_t MX_GetMaxLayers(uint32_t) { return 9; }

namespace {

TEST(PlatformPosix, OnlyTheHostProgramNameFindsAModule) {
    EXPECT_NE(platform::GetModuleHandleA("MELVARA.EXE"), nullptr);
    EXPECT_EQ(platform::GetModuleHandleA("MELDEMO.EXE"), nullptr);
    EXPECT_EQ(platform::GetModuleHandleA("melvara.exe"), nullptr);
    EXPECT_EQ(platform::GetModuleHandleA(""), nullptr);
    EXPECT_EQ(platform::GetModuleHandleA(nullptr), nullptr);
}

TEST(PlatformPosix, GetProcAddressFindsTheProgramsExports) {
    void* program = platform::GetModuleHandleA("MELVARA.EXE");
    ASSERT_NE(program, nullptr);
    void* address = platform::GetProcAddress(program, "MX_GetMaxLayers");
    ASSERT_NE(address, nullptr);
    auto fn = reinterpret_cast<int16_t (*)(uint32_t)>(address);
    EXPECT_EQ(fn(0x19000000), 9);
    EXPECT_EQ(platform::GetProcAddress(program, "MX_NotExported"), nullptr);
}

// A host program of another file name: no module by name, but the empty
// module finds its exports, as the main program's on Windows.
TEST(PlatformPosix, AnEmptyModuleFindsTheProgramsExportsToo) {
    void* address = platform::GetProcAddress(nullptr, "MX_GetMaxLayers");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(reinterpret_cast<int16_t (*)(uint32_t)>(address)(0x19000000), 9);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "MX_NotExported"), nullptr);
}

TEST(PlatformPosix, MessageBoxGoesToTheProgramsExport) {
    int owner = 0;
    EXPECT_EQ(platform::MessageBoxW(&owner, u"Text", u"Caption", 0x14), 7);
    EXPECT_EQ(lastBox.calls, 1);
    EXPECT_EQ(lastBox.window, &owner);
    EXPECT_EQ(lastBox.text, u"Text");
    EXPECT_EQ(lastBox.caption, u"Caption");
    EXPECT_EQ(lastBox.style, 0x14u);
}

TEST(PlatformPosix, IsWindowGoesToTheProgramsExport) {
    int owner = 0;
    EXPECT_FALSE(platform::IsWindow(&owner));
    EXPECT_EQ(lastIsWindow, &owner);
}

}  // namespace
