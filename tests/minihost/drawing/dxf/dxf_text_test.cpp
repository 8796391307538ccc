// The escaping of DXF group values: any wide text must survive a line, and the text of older
// drawings must decode as the drawing's code page says.
#include <gtest/gtest.h>

#include "minihost/drawing/dxf/dxf_text.h"

using minihost::codepage::kUtf8;
using minihost::dxf::decodeValue;
using minihost::dxf::encodeValue;

namespace {

std::wstring roundTrip(const std::wstring& text, int codePage) {
    std::string line;
    EXPECT_TRUE(encodeValue(text, line, codePage));
    return decodeValue(line.data(), line.size(), codePage);
}

// Texts that a naive writer would damage.
std::vector<std::wstring> awkwardTexts() {
    std::wstring controls;
    for (wchar_t c = 1; c < 0x20; ++c)
        controls += c;
    return {L"",
            L"plain",
            L"two\nlines\r\nand a CR\r",
            L"^J is not a newline, nor is ^",
            L"^",
            L"a^ b^^",
            L"  leading and trailing  ",
            L" ",
            L"\t tab first and last \t",
            L"\u00a0no-break\u3000ideographic\u2003",
            L"\\U+0041 is not an A, \\M+1955C no kanji",
            L"\\U+D83D\\U+DE00",
            L"ends in \\",
            L"\\U+",
            L"caf\u00e9 \u20ac \u4e2d\u6587 \u0645",
            L"beyond the plane: \U0001F600\U00010348",
            std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone surrogates" +
                static_cast<wchar_t>(0xDC00),
            controls,
            std::wstring(300000, L'x') + L"\n" + std::wstring(1000, L'\u00e9')};
}

// In every code page: characters it lacks are escaped, the others are its own bytes.
TEST(DxfText, AwkwardTextsSurviveAndMakeOneLine) {
    for (int codePage : {kUtf8, 1252, 1251, 932}) {
        for (const std::wstring& text : awkwardTexts()) {
            std::string line;
            ASSERT_TRUE(encodeValue(text, line, codePage));
            EXPECT_EQ(line.find('\n'), std::string::npos);
            EXPECT_EQ(line.find('\r'), std::string::npos);
            EXPECT_TRUE(roundTrip(text, codePage) == text) << codePage << line.substr(0, 80);
        }
    }
}

// As other readers expect: blanks at the ends raw, a caret as the caret escape, UTF-8 in
// current drawings, code-page bytes and escapes for the rest in older ones.
TEST(DxfText, TextIsWrittenAsOtherReadersReadIt) {
    const struct {
        int codePage;
        const wchar_t* text;
        const char* line;
    } cases[] = {
        {kUtf8, L"  Title with inner  blanks and caf\u00e9 ",
         "  Title with inner  blanks and caf\xC3\xA9 "},
        {kUtf8, L"\u00a0\U0001F600\u3000", "\xC2\xA0\xF0\x9F\x98\x80\xE3\x80\x80"},
        {kUtf8, L"a^\tb\n^", "a^ ^Ib^J^ "},
        {1252, L" caf\u00e9 \u20ac\u0416\U0001F600", " caf\xE9 \x80\\U+0416\\U+D83D\\U+DE00"},
        {1251, L"\u0416\u00e9", "\xC6\\U+00E9"},
        {932, L"\u8868\\\u00a5", "\x95\x5C\\\\U+00A5"},
        {874, L"\u0e01\u20ac", "\xA1\x80"}, // the Windows code page, with the euro sign
    };
    for (const auto& c : cases) {
        std::string line;
        ASSERT_TRUE(encodeValue(c.text, line, c.codePage));
        EXPECT_EQ(line, c.line) << c.codePage;
    }
}

TEST(DxfText, TextBeyondUnicodeIsRefused) {
    std::string line;
    EXPECT_FALSE(encodeValue(std::wstring(1, static_cast<wchar_t>(0x110000)), line, kUtf8));
}

TEST(DxfText, EscapesOfOtherWritersDecode) {
    const char line[] = "A\\U+00E9B^JC^ D\\U+d83d\\U+de00\\M+1955C\\U+005EJ\\U+12G^";
    std::wstring text = decodeValue(line, sizeof line - 1, kUtf8);
    EXPECT_TRUE(text == L"A\u00e9B\nC^D\U0001F600\u8868^J\\U+12G^");
}

TEST(DxfText, CodePagesDecodeAndBytesOutsideThemAreReplaced) {
    const char bytes[] = "\x80 \xe9 \x81 \x9f \xff";
    EXPECT_TRUE(decodeValue(bytes, 9, 1252) == L"\u20ac \u00e9 \ufffd \u0178 \u00ff");
    EXPECT_TRUE(decodeValue(bytes, 9, 1251) == L"\u0402 \u0439 \u0403 \u045f \u044f");
    // A double-byte character whose second byte is a backslash is no escape; a lead byte
    // cut short is replaced.
    const char japanese[] = "\x95\x5CU+0041\x82";
    EXPECT_TRUE(decodeValue(japanese, sizeof japanese - 1, 932) == L"\u8868U+0041\ufffd");
    EXPECT_TRUE(decodeValue(bytes, 9, minihost::codepage::kUnknown) ==
                L"\ufffd \ufffd \ufffd \ufffd \ufffd");
}

TEST(DxfText, BrokenUtf8BecomesReplacementCharacters) {
    const char bytes[] = "a\xC3(\xE2\x82\xF0\x9F\x98\xED\xA0\x80\xC0\xAF";
    std::wstring text = decodeValue(bytes, sizeof bytes - 1, kUtf8);
    EXPECT_EQ(text.substr(0, 3), L"a\ufffd(");
    for (wchar_t c : text.substr(3))
        EXPECT_EQ(c, L'\ufffd');
}

} // namespace
