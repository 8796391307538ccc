// Code pages: the names older drawings give them, and conversion through iconv.
#include <gtest/gtest.h>

#include "minihost/drawing/code_page.h"

namespace codepage = minihost::codepage;

namespace {

TEST(CodePage, DxfNamesNameWindowsCodePages) {
    const std::pair<const char*, int> names[] = {{"ANSI_1252", 1252},  {"ansi_1251", 1251},
                                                 {" ANSI_932 ", 932},  {"ANSI_1361", 1361},
                                                 {"DOS866", 866},      {"DOS932", 932},
                                                 {"ISO8859-2", 28592}, {"MACINTOSH", 10000},
                                                 {"BIG5", 950},        {"GB2312", 936},
                                                 {"KSC5601", 949},     {"JOHAB", 1361},
                                                 {"ASCII", 20127},     {"", 0},
                                                 {"ANSI_", 0},         {"ANSI_12a", 0},
                                                 {"EBCDIC", 0},        {"ANSI_1234567", 0}};
    for (const auto& name : names)
        EXPECT_EQ(codepage::fromDxfName(name.first), name.second) << name.first;
}

TEST(CodePage, EveryCodePageOfOlderDrawingsConverts) {
    for (int page : {874,  932,  936,  949,   950,   1250,  1251,  1252,
                     1253, 1254, 1255, 1256,  1257,  1258,  1361,  437,
                     850,  852,  855,  857,   860,   861,   863,   864,
                     865,  866,  869,  20127, 28591, 28599, 10000, codepage::kUtf8})
        EXPECT_TRUE(codepage::isAvailable(page)) << page;
    for (int page : {codepage::kUnknown, 1200, 12345})
        EXPECT_FALSE(codepage::isAvailable(page)) << page;
    std::wstring text;
    EXPECT_EQ(codepage::decode(1200, "a", 1, text), codepage::Status::kUnavailable);
}

} // namespace
