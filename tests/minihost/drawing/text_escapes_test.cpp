// The backslash escapes of 8-bit drawing text: what they read as, what is escaped on writing,
// and that any text comes back through a code page.
#include <gtest/gtest.h>

#include "minihost/drawing/text_escapes.h"

namespace codepage = minihost::codepage;
namespace escapes = minihost::escapes;

namespace {

std::wstring undone(std::wstring text) {
    escapes::undo(text);
    return text;
}

TEST(TextEscapes, EscapesReadAsTheirCharactersAndMalformedOnesAsThemselves) {
    const struct {
        const wchar_t* text;
        std::wstring expected;
    } cases[] = {
        {L"A\\U+4E2DB", L"A\u4E2DB"},
        {L"\\U+00e9\\U+00E9", L"\u00E9\u00E9"},
        {L"\\U+D83D\\U+DE00!", L"\U0001F600!"},                  // a pair: one character
        {L"\\U+D83Dx", std::wstring(1, wchar_t(0xD83D)) + L"x"}, // lone, for the caller
        {L"\\U+005CU+0041", L"\\U+0041"},                        // an escaped backslash
        {L"\\M+1955C\\M+2A440\\M+3B0A1\\M+48861\\M+5D6D0", L"\u8868\u4E00\uAC00\uAC00\u4E2D"},
        {L"\\M+1955c.", L"\u8868."},
        {L"\\M+6955C \\M+0955C", L"\\M+6955C \\M+0955C"},                 // no such code page
        {L"\\M+10041 \\M+1FFFF \\M+5D6", L"\\M+10041 \\M+1FFFF \\M+5D6"}, // no one character
        {L"\\U+12G4 \\u+0041 \\U0041 \\U+004", L"\\U+12G4 \\u+0041 \\U0041 \\U+004"},
        {L"\\\\U+0041\\", L"\\A\\"},
        {L"\\U+", L"\\U+"},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(undone(c.text) == c.expected) << testing::PrintToString(std::wstring(c.text));
}

TEST(TextEscapes, WhatACodePageLacksAndWhatWouldReadAsAnEscapeIsEscaped) {
    const struct {
        int codePage;
        std::wstring text;
        std::string bytes;
    } cases[] = {
        {1252, L"\u4E2D\u03A9\U0001F600\u00E9", "\\U+4E2D\\U+03A9\\U+D83D\\U+DE00\xE9"},
        {1252, L"\\U+0041 \\M+1955C \\u+ \\M \\", "\\U+005CU+0041 \\U+005CM+1955C \\u+ \\M \\"},
        {1252, std::wstring(L"a\0b", 3), "a\\U+0000b"},
        {932, L"\u8868\\\u00A5", "\x95\x5C\\\\U+00A5"}, // 0x5C as a second byte is no backslash
        {codepage::kUtf8, L"\\U+\u00E9", "\\U+005CU+\xC3\xA9"},
        {1258, L"e\u0301 x\u0301", "e\\U+0301 x\xEC"}, // a mark that would join the e on reading
    };
    for (const auto& c : cases) {
        std::string out;
        ASSERT_EQ(escapes::encode(c.codePage, c.text.data(), c.text.size(), out),
                  codepage::Status::kOk);
        EXPECT_EQ(out, c.bytes) << c.codePage;
    }
    std::string out;
    const std::wstring lone(1, wchar_t(0xDC00)), beyond(1, wchar_t(0x110000));
    EXPECT_EQ(escapes::encode(1252, lone.data(), 1, out), codepage::Status::kUnencodable);
    EXPECT_EQ(escapes::encode(1252, beyond.data(), 1, out), codepage::Status::kUnencodable);
    EXPECT_EQ(escapes::encode(1200, L"", 0, out), codepage::Status::kUnavailable);
}

TEST(TextEscapes, AnyTextComesBackThroughEveryCodePage) {
    const std::wstring texts[] = {
        L"\u4E2D\u03A9\U0001F600 mixed caf\u00E9 \u0416",
        L"\\U+D83D\\U+DE00 \\M+1955C \\U+ \\M+ ends in \\", std::wstring(L"\\\0\\U+0000", 9),
        std::wstring(100000, L'\u4E2D') + L"\\U+0041", L"e\u0301 \u4E2E\u0301 ^\u0301\u05D0\u05B9",
        L"C:\\path\\ \u20A9 \uFFE6"}; // Johab reads 0x5C as a backslash, as Windows does
    for (int codePage : {1252, 1251, 932, 936, 949, 1361, 1255, 1258, codepage::kUtf8}) {
        for (const std::wstring& text : texts) {
            std::string bytes;
            ASSERT_EQ(escapes::encode(codePage, text.data(), text.size(), bytes),
                      codepage::Status::kOk);
            std::wstring back;
            ASSERT_EQ(codepage::decode(codePage, bytes.data(), bytes.size(), back),
                      codepage::Status::kOk);
            EXPECT_TRUE(undone(back) == text) << codePage << " " << bytes.substr(0, 60);
        }
    }
}

} // namespace
