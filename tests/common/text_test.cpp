#include "common/text/text_conversion.h"

#include <gtest/gtest.h>

namespace {

TEST(TextConversion, Utf8AndWideRoundTripAndRefuseWhatTheyCannotRead) {
    const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC";  // "café €"
    const std::wstring wide = text::ToWide(utf8, CP_UTF8);
    EXPECT_EQ(wide, std::wstring(L"caf\u00E9 \u20AC"));
    EXPECT_EQ(text::ToNarrow(wide.c_str(), -1, CP_UTF8), utf8);
    // An explicit length converts just that much, with no terminating zero to drop.
    EXPECT_EQ(text::ToNarrow(wide.c_str(), 3, CP_UTF8), "caf");
    EXPECT_EQ(text::ToWide("abc", 2, CP_UTF8), L"ab");
    EXPECT_TRUE(text::ToWide("", CP_UTF8).empty());
    // Invalid UTF-8 is replaced, or refused as a whole when asked.
    const std::string broken = "a\xFF" "b";
    EXPECT_EQ(text::ToWide(broken, CP_UTF8).size(), 3u);
    EXPECT_TRUE(text::ToWide(broken, CP_UTF8, MB_ERR_INVALID_CHARS).empty());
    EXPECT_TRUE(text::ToNarrow(nullptr, 4, CP_UTF8).empty());
}

}  // namespace
