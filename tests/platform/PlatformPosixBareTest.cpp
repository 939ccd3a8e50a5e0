// The Linux stand-in in a program that exports nothing: no host functions,
// no message-box functions.
#include <gtest/gtest.h>

#include "platform/Platform.h"

namespace {

TEST(PlatformPosixBare, MessageBoxWithoutHostExportWritesToStandardError) {
    testing::internal::CaptureStderr();
    const int answer = platform::MessageBoxW(nullptr, u"Caf\u00e9 \U0001D11E", u"Tuplet Compare Info", 0);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(written, "Tuplet Compare Info: Caf\xC3\xA9 \xF0\x9D\x84\x9E\n");
}

TEST(PlatformPosixBare, LoneSurrogatesBecomeReplacementCharacters) {
    const char16_t text[] = {u'a', 0xD800, u'b', 0xDC00, 0};
    testing::internal::CaptureStderr();
    platform::MessageBoxW(nullptr, text, u"", 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), ": a\xEF\xBF\xBD" "b\xEF\xBF\xBD\n");
}

TEST(PlatformPosixBare, NoHostFunctionIsFoundInAProgramThatExportsNone) {
    EXPECT_EQ(platform::GetModuleHandleA("OTHERHOST.EXE"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "MX_GetMaxLayers"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(nullptr, "MX_LoadKData"), nullptr);
}

TEST(PlatformPosixBare, IsWindowWithoutHostExportTellsNonNull) {
    int window = 0;
    EXPECT_TRUE(platform::IsWindow(&window));
    EXPECT_FALSE(platform::IsWindow(nullptr));
}

}  // namespace
