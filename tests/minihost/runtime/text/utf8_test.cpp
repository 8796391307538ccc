// UTF-8 and wide text of either width: what Windows' 16-bit wchar_t needs is tried here with
// char16_t, through the same templates the stand-in runs with its own wchar_t.
#include <gtest/gtest.h>

#include <string>

#include "minihost/runtime/text/utf8.h"

namespace {

using minihost::decodeUtf8As;
using minihost::encodeUtf8;

std::u16string decode16(const std::string& bytes) {
    return decodeUtf8As<char16_t>(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size());
}
std::u32string decode32(const std::string& bytes) {
    return decodeUtf8As<char32_t>(reinterpret_cast<const unsigned char*>(bytes.data()),
                                  bytes.size());
}

struct Text {
    const char* utf8;
    std::u16string utf16;
    std::u32string utf32;
};

TEST(Utf8, CodePointsBeyondTheBasicPlaneArePairsInSixteenBitText) {
    const Text cases[] = {
        {"A", u"A", U"A"},
        {"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC", U"caf\u00E9 \u20AC"},
        {"\xF0\x9F\x98\x80", {0xD83D, 0xDE00}, {0x1F600}},
        {"\xF0\x90\x80\x80", {0xD800, 0xDC00}, {0x10000}},  // the first pair
        {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}, {0x10FFFF}}, // the last one
        {"\xEF\xBF\xBF|\xF0\x9F\x98\x80|",
         {0xFFFF, '|', 0xD83D, 0xDE00, '|'},
         {0xFFFF, '|', 0x1F600, '|'}},
    };
    for (const Text& t : cases) {
        EXPECT_EQ(decode16(t.utf8), t.utf16) << t.utf8;
        EXPECT_EQ(decode32(t.utf8), t.utf32) << t.utf8;
        EXPECT_EQ(encodeUtf8(t.utf16), t.utf8);
        EXPECT_EQ(encodeUtf8(t.utf32), t.utf8);
    }
}

TEST(Utf8, SurrogatesThatMakeNoPairBecomeReplacementCharacters) {
    const std::string kReplacement = "\xEF\xBF\xBD";
    const std::u16string lone16[] = {{0xD83D}, {0xDE00}, {0xDE00, 0xD83D}, {0xD83D, 'x'}};
    const std::string expected[] = {kReplacement, kReplacement, kReplacement + kReplacement,
                                    kReplacement + "x"};
    for (std::size_t i = 0; i < std::size(lone16); ++i)
        EXPECT_EQ(encodeUtf8(lone16[i]), expected[i]) << i;
    // In 32-bit text surrogates are never paired, and nothing beyond U+10FFFF passes.
    EXPECT_EQ(encodeUtf8(std::u32string{0xD83D, 0xDE00, 0x110000}),
              kReplacement + kReplacement + kReplacement);
    // Encoded surrogates and sequences cut short decode to U+FFFD per byte, in both widths.
    EXPECT_EQ(decode16("\xED\xA0\xBD"
                       "a\xF0\x9F\x98"),
              u"\uFFFD\uFFFD\uFFFDa\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(decode32("\xED\xA0\xBD"), U"\uFFFD\uFFFD\uFFFD");
}

TEST(Utf8, NextCodePointStepsOverAWholePair) {
    const std::u16string text = {'a', 0xD83D, 0xDE00, 0xD83D};
    std::size_t i = 0;
    EXPECT_EQ(minihost::nextCodePoint(text.data(), text.size(), i), U'a');
    EXPECT_EQ(minihost::nextCodePoint(text.data(), text.size(), i), U'\U0001F600');
    EXPECT_EQ(i, 3u);
    EXPECT_EQ(minihost::nextCodePoint(text.data(), text.size(), i), 0xD83Du); // lone at the end
    EXPECT_EQ(i, 4u);
}

} // namespace
