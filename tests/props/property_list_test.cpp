// BuildPropertyList against the stand-in host, with its faults.
#include <gtest/gtest.h>

#include "minihost/runtime/fault.h"
#include "props/property_list.h"
#include "tests/support/chain_text.h"

using minihost::HostOp;
using testing_support::chainLength;
using testing_support::chainText;

namespace {

const char* const kEmptyList =
    R"((("Title" "") ("Subject" "") ("Author" "") ("Keywords" "") ("Comments" "") )"
    R"(("HyperlinkBase" "") ("RevisionNumber" "") ("LastSavedBy" "")))";

class PropertyListTest : public ::testing::Test {
  protected:
    void SetUp() override { minihost::clearFaults(); }
    void TearDown() override {
        minihost::clearFaults();
        minihost::LiveCounts live = minihost::liveCounts();
        EXPECT_EQ(live.nodes, 0) << "resbuf nodes left behind";
        EXPECT_EQ(live.strings, 0) << "string copies left behind";
    }

    // Sets every built-in field to a distinct text and adds `custom` pairs.
    void fill(std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> custom) {
        AcDbDatabaseSummaryInfo* info = nullptr;
        ASSERT_EQ(acdbGetSummaryInfo(&db, info), Acad::eOk);
        info->setTitle(L"T");
        info->setSubject(L"S");
        info->setAuthor(L"A");
        info->setKeywords(L"K");
        info->setComments(L"C");
        info->setLastSavedBy(L"L");
        info->setRevisionNumber(L"R");
        info->setHyperlinkBase(L"H");
        for (auto& [key, value] : custom)
            ASSERT_EQ(info->addCustomSummaryInfo(key, value), Acad::eOk);
        ASSERT_EQ(acdbPutSummaryInfo(info, &db), Acad::eOk);
    }

    std::string listText() {
        resbuf* list = BuildPropertyList(&db);
        std::string text = list ? chainText(list) : "null";
        acutRelRb(list);
        return text;
    }

    AcDbDatabase db{true, false};
};

TEST_F(PropertyListTest, EmptyDrawingGivesEightEmptyRowsIn34Nodes) {
    resbuf* list = BuildPropertyList(&db);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(chainLength(list), 34);
    EXPECT_EQ(chainText(list), kEmptyList);
    acutRelRb(list);
}

TEST_F(PropertyListTest, BuiltInRowsInListOrderThenCustomInIndexOrder) {
    fill({{L"zeta", L"1"}, {L"Alpha", L"2"}, {L"title", L"not the built-in"}});
    EXPECT_EQ(listText(), R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
                          R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                          R"(("LastSavedBy" "L") ("zeta" "1") ("Alpha" "2") )"
                          R"(("title" "not the built-in")))");
}

TEST_F(PropertyListTest, TextsAreExactIncludingNonAsciiAndBeyondTheBmp) {
    fill({{L"Büro \U0001F4D0", L"  Größe\n\"x\" \U00010348 "}, {L"empty", L""}});
    EXPECT_EQ(listText(),
              R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
              R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
              "(\"LastSavedBy\" \"L\") (\"Büro \U0001F4D0\" \"  Größe\n\"x\" \U00010348 \") "
              "(\"empty\" \"\"))");
}

TEST_F(PropertyListTest, VeryLongValueIsKeptWhole) {
    std::wstring longValue(1 << 20, L'x');
    longValue.back() = L'\U0001F600';
    AcDbDatabaseSummaryInfo* info = nullptr;
    ASSERT_EQ(acdbGetSummaryInfo(&db, info), Acad::eOk);
    info->addCustomSummaryInfo(L"long", longValue.c_str());
    acdbPutSummaryInfo(info, &db);
    resbuf* list = BuildPropertyList(&db);
    ASSERT_EQ(chainLength(list), 38);
    const resbuf* value = list;
    for (int i = 0; i < 35; ++i)
        value = value->rbnext;
    EXPECT_EQ(std::wstring(value->resval.rstring), longValue);
    acutRelRb(list);
}

// Each getter that fails keeps its row, in its place, with ""; the other rows keep their texts.
TEST_F(PropertyListTest, FailingGetterKeepsItsRowEmpty) {
    const std::pair<HostOp, const char*> rows[] = {
        {HostOp::GetTitle, "Title"},
        {HostOp::GetSubject, "Subject"},
        {HostOp::GetAuthor, "Author"},
        {HostOp::GetKeywords, "Keywords"},
        {HostOp::GetComments, "Comments"},
        {HostOp::GetHyperlinkBase, "HyperlinkBase"},
        {HostOp::GetRevisionNumber, "RevisionNumber"},
        {HostOp::GetLastSavedBy, "LastSavedBy"},
    };
    fill({{L"k", L"v"}});
    for (auto& [failing, failingKey] : rows) {
        std::string expected = "(";
        for (auto& [op, key] : rows) {
            std::string value = op == failing ? "" : std::string(1, key[0]);
            if (op == HostOp::GetLastSavedBy && op != failing)
                value = "L";
            expected += std::string("(\"") + key + "\" \"" + value + "\") ";
        }
        expected += "(\"k\" \"v\"))";
        minihost::clearFaults();
        minihost::failNth(failing, 1);
        EXPECT_EQ(listText(), expected) << failingKey;
    }
}

TEST_F(PropertyListTest, MissingCopyGivesEmptyValue) {
    fill({});
    minihost::failNth(HostOp::NewString, 3); // the author's text
    EXPECT_EQ(listText(), R"((("Title" "T") ("Subject" "S") ("Author" "") ("Keywords" "K") )"
                          R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                          R"(("LastSavedBy" "L")))");
}

TEST_F(PropertyListTest, UnreadableCustomIndexIsSkippedAndLaterOnesStay) {
    fill({{L"a", L"1"}, {L"b", L"2"}, {L"c", L"3"}});
    minihost::failNth(HostOp::ReadCustomAt, 2); // index 1
    EXPECT_EQ(listText(), R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
                          R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                          R"(("LastSavedBy" "L") ("a" "1") ("c" "3")))");
}

TEST_F(PropertyListTest, CustomPropertyWhoseCopyFailsIsSkipped) {
    fill({{L"a", L"1"}, {L"b", L"2"}});
    // 8 built-in copies, then key and value of "a", then the key of "b": its value fails.
    minihost::failNth(HostOp::NewString, 12);
    EXPECT_EQ(listText(), R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
                          R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                          R"(("LastSavedBy" "L") ("a" "1")))");
}

TEST_F(PropertyListTest, NoSummaryInfoGivesNullAndLeavesNothing) {
    minihost::failNth(HostOp::GetSummaryInfo, 1);
    EXPECT_EQ(BuildPropertyList(&db), nullptr);
    minihost::failNth(HostOp::GetSummaryInfoNone, 1);
    EXPECT_EQ(BuildPropertyList(&db), nullptr);
}

// acutBuildList failing at each of its calls in turn: the list stays well formed, loses only
// that property, or is null when a bracket of the outer list is missing.
TEST_F(PropertyListTest, BuildListFailingAtEachCallInTurn) {
    fill({{L"a", L"1"}, {L"b", L"2"}});
    const int calls = 1 + 8 + 2 + 1;
    for (int n = 1; n <= calls; ++n) {
        minihost::clearFaults();
        minihost::failNth(HostOp::BuildList, n);
        resbuf* list = BuildPropertyList(&db);
        if (n == 1 || n == calls) {
            EXPECT_EQ(list, nullptr) << "call " << n;
        } else {
            ASSERT_NE(list, nullptr) << "call " << n;
            std::string text = chainText(list);
            EXPECT_EQ(text.find("bad chain"), std::string::npos) << text;
            EXPECT_EQ(chainLength(list), 2 + 4 * 9) << "call " << n << ": " << text;
        }
        acutRelRb(list);
        EXPECT_EQ(minihost::liveCounts().nodes, 0) << "call " << n;
        EXPECT_EQ(minihost::liveCounts().strings, 0) << "call " << n;
    }
}

} // namespace
