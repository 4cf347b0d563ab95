#include "base/utf.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string utf8(const char16_t* text) {
    char out[1024];
    utf16_to_utf8(text, out, sizeof out);
    return out;
}

TEST(Utf, ConversionsCutWholeCharacters) {
    char16_t w[4];
    EXPECT_EQ(utf8_to_utf16("ЖЖЖЖ", w, 4), 3u);
    EXPECT_EQ(utf8(w), "ЖЖЖ");
    EXPECT_EQ(utf8_to_utf16("ab\xF0\x9F\x93\xBA", w, 4), 2u);  // the pair does not fit
    EXPECT_EQ(utf8_to_utf16("\xff\xc3", w, 4), 2u);
    EXPECT_EQ(w[0], 0xFFFD);
    char b[5];
    const char16_t zh[] = {0x0416, 0x0416, 0x0416, 0};
    EXPECT_EQ(utf16_to_utf8(zh, b, sizeof b), 4u);
    const char16_t lone[] = {0xD800, u'a', 0};
    EXPECT_EQ(utf16_to_utf8(lone, b, sizeof b), 4u);
    EXPECT_STREQ(b, "\xEF\xBF\xBD" "a");
    EXPECT_EQ(utf8_whole_prefix("ab\xD0\x96\xD0", 5), 4u);
    EXPECT_EQ(utf8_whole_prefix("\xF0\x9F\x93", 3), 0u);
    EXPECT_EQ(utf8_whole_prefix("\xFF" "a", 2), 2u);
}

TEST(Utf, AWholePrefixIsWholeAgain) {
    // A lead byte followed by a byte that does not continue it is malformed,
    // not a character cut by the end; cutting twice gives the same.
    const char text[] = "12.\xcb\xd7";
    size_t once = utf8_whole_prefix(text, 5);
    EXPECT_EQ(once, 3u);
    EXPECT_EQ(utf8_whole_prefix(text, once), once);
    EXPECT_EQ(utf8_whole_prefix("\xE2\x82", 2), 0u);  // a real cut
    EXPECT_EQ(utf8_whole_prefix("\xE2" "a", 2), 2u);  // malformed, kept
}

}  // namespace
