// The escaping of DXF group values: any wide text must survive a line, and the text of older
// drawings must decode as the drawing's code page says.
#include <gtest/gtest.h>

#include "minihost/drawing/dxf/dxf_text.h"

using minihost::dxf::decodeValue;
using minihost::dxf::encodeValue;
using minihost::dxf::Encoding;

namespace {

std::wstring roundTrip(const std::wstring& text) {
    std::string line;
    EXPECT_TRUE(encodeValue(text, line));
    return decodeValue(line.data(), line.size(), Encoding::Utf8);
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
            L"\\U+0041 is not an A",
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

TEST(DxfText, AwkwardTextsSurviveAndMakeOneCleanLine) {
    for (const std::wstring& text : awkwardTexts()) {
        std::string line;
        ASSERT_TRUE(encodeValue(text, line));
        EXPECT_EQ(line.find('\n'), std::string::npos);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        if (!line.empty()) { // readers that trim blanks must find nothing to trim
            EXPECT_NE(line.front(), ' ');
            EXPECT_NE(line.back(), ' ');
        }
        EXPECT_TRUE(roundTrip(text) == text) << line.substr(0, 80);
    }
}

TEST(DxfText, PlainTextIsWrittenAsIs) {
    std::string line;
    ASSERT_TRUE(encodeValue(L"Title with inner  blanks and caf\u00e9", line));
    EXPECT_EQ(line, "Title with inner  blanks and caf\xC3\xA9");
    ASSERT_TRUE(encodeValue(L"\U0001F600", line));
    EXPECT_EQ(line, "\xF0\x9F\x98\x80"); // UTF-8, not an escape, in current drawings
}

TEST(DxfText, TextBeyondUnicodeIsRefused) {
    std::string line;
    EXPECT_FALSE(encodeValue(std::wstring(1, static_cast<wchar_t>(0x110000)), line));
}

TEST(DxfText, EscapesOfOtherWritersDecode) {
    const char line[] = "A\\U+00E9B^JC^ D\\U+d83d\\U+de00\\U+12G^";
    std::wstring text = decodeValue(line, sizeof line - 1, Encoding::Utf8);
    EXPECT_TRUE(text == L"A\u00e9B\nC^D\U0001F600\\U+12G^");
}

TEST(DxfText, CodePage1252AndUnknownCodePages) {
    const char bytes[] = "\x80 \xe9 \x81 \x9f \xff";
    EXPECT_TRUE(decodeValue(bytes, 9, Encoding::Cp1252) == L"\u20ac \u00e9 \u0081 \u0178 \u00ff");
    EXPECT_TRUE(decodeValue(bytes, 9, Encoding::Ascii) == L"\ufffd \ufffd \ufffd \ufffd \ufffd");
    EXPECT_EQ(minihost::dxf::encodingOfCodePage("ansi_1252"), Encoding::Cp1252);
    EXPECT_EQ(minihost::dxf::encodingOfCodePage("ANSI_932"), Encoding::Ascii);
}

TEST(DxfText, BrokenUtf8BecomesReplacementCharacters) {
    const char bytes[] = "a\xC3(\xE2\x82\xF0\x9F\x98\xED\xA0\x80\xC0\xAF";
    std::wstring text = decodeValue(bytes, sizeof bytes - 1, Encoding::Utf8);
    EXPECT_EQ(text.substr(0, 3), L"a\ufffd(");
    for (wchar_t c : text.substr(3))
        EXPECT_EQ(c, L'\ufffd');
}

} // namespace
