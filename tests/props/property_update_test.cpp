// ApplyPropertyPairs against the stand-in host, with its faults.
#include <gtest/gtest.h>

#include "minihost/runtime/fault.h"
#include "props/property_list.h"
#include "props/property_update.h"
#include "tests/support/chain_text.h"

using minihost::HostOp;
using testing_support::chainText;

namespace {

class PropertyUpdateTest : public ::testing::Test {
  protected:
    void SetUp() override {
        minihost::clearFaults();
        // Every built-in field set, and two custom properties.
        ASSERT_EQ(apply({{L"Title", L"T"},
                         {L"Subject", L"S"},
                         {L"Author", L"A"},
                         {L"Keywords", L"K"},
                         {L"Comments", L"C"},
                         {L"HyperlinkBase", L"H"},
                         {L"RevisionNumber", L"R"},
                         {L"LastSavedBy", L"L"},
                         {L"Client", L"ACME"},
                         {L"Phase", L"2"}},
                        true),
                  Acad::eOk);
        minihost::clearFaults();
    }
    void TearDown() override {
        minihost::clearFaults();
        EXPECT_EQ(minihost::liveCounts().nodes, 0);
        EXPECT_EQ(minihost::liveCounts().strings, 0);
    }

    Acad::ErrorStatus apply(std::vector<PropertyPair> pairs, bool clearFirst) {
        return ApplyPropertyPairs(&db, pairs, clearFirst);
    }

    // The stored properties, as the property list shows them.
    std::string stored() {
        resbuf* list = BuildPropertyList(&db);
        std::string text = chainText(list);
        acutRelRb(list);
        return text;
    }

    AcDbDatabase db{true, false};
};

const char* const kFilled = R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
                            R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                            R"(("LastSavedBy" "L") ("Client" "ACME") ("Phase" "2")))";

TEST_F(PropertyUpdateTest, KeysMatchBuiltInLiteralsWithoutRegardToCaseOnly) {
    ASSERT_EQ(apply({{L"title", L"lower"},
                     {L"SUBJECT", L"upper"},
                     {L"lAsTsAvEdBy", L"mixed"},
                     {L" Author", L"blank before"},
                     {L"Key words", L"blank inside"},
                     {L"Comments ", L"blank after"}},
                    false),
              Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "lower") ("Subject" "upper") ("Author" "A") )"
                        R"(("Keywords" "K") ("Comments" "C") ("HyperlinkBase" "H") )"
                        R"(("RevisionNumber" "R") ("LastSavedBy" "mixed") ("Client" "ACME") )"
                        R"(("Phase" "2") (" Author" "blank before") ("Key words" "blank inside") )"
                        R"(("Comments " "blank after")))");
}

TEST_F(PropertyUpdateTest, CustomKeysKeepTheirCaseAndMatchExactly) {
    ASSERT_EQ(apply({{L"client", L"other"}, {L"Client", L"Initech"}}, false), Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "K") )"
                        R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                        R"(("LastSavedBy" "L") ("Client" "Initech") ("Phase" "2") )"
                        R"(("client" "other")))");
}

TEST_F(PropertyUpdateTest, ClearingWithNoPairsEmptiesEverythingAndStoresOnce) {
    ASSERT_EQ(apply({}, true), Acad::eOk);
    EXPECT_EQ(minihost::callCount(HostOp::PutSummaryInfo), 1);
    EXPECT_EQ(stored(), R"((("Title" "") ("Subject" "") ("Author" "") ("Keywords" "") )"
                        R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                        R"(("LastSavedBy" "")))");
}

// A replacement or a merge whose store fails changes nothing: no clearing without the pairs.
TEST_F(PropertyUpdateTest, AFailedStoreLeavesThePropertiesAsTheyWere) {
    for (bool clearFirst : {true, false}) {
        minihost::clearFaults();
        minihost::failNth(HostOp::PutSummaryInfo, 1);
        EXPECT_EQ(apply({{L"Title", L"new"}, {L"Job", L"1"}}, clearFirst), Acad::eNotApplicable);
        EXPECT_EQ(stored(), kFilled) << clearFirst;
    }
}

TEST_F(PropertyUpdateTest, MergingWithNoPairsChangesNothingAndStoresOnce) {
    ASSERT_EQ(apply({}, false), Acad::eOk);
    EXPECT_EQ(minihost::callCount(HostOp::PutSummaryInfo), 1);
    EXPECT_EQ(stored(), kFilled);
}

TEST_F(PropertyUpdateTest, MergeKeepsWhatNoPairNamesAndReplacesInPlace) {
    ASSERT_EQ(apply({{L"Author", L"B"}, {L"Client", L"Initech"}, {L"New", L""}}, false), Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "T") ("Subject" "S") ("Author" "B") ("Keywords" "K") )"
                        R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                        R"(("LastSavedBy" "L") ("Client" "Initech") ("Phase" "2") ("New" "")))");
}

TEST_F(PropertyUpdateTest, TheLaterOfTwoPairsForAKeyWins) {
    ASSERT_EQ(
        apply({{L"Title", L"first"}, {L"TITLE", L"second"}, {L"Job", L"1"}, {L"Job", L"2"}}, true),
        Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "second") ("Subject" "") ("Author" "") ("Keywords" "") )"
                        R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                        R"(("LastSavedBy" "") ("Job" "2")))");
}

TEST_F(PropertyUpdateTest, EmptyValueEmptiesABuiltInProperty) {
    ASSERT_EQ(apply({{L"Keywords", L""}}, false), Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "T") ("Subject" "S") ("Author" "A") ("Keywords" "") )"
                        R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                        R"(("LastSavedBy" "L") ("Client" "ACME") ("Phase" "2")))");
}

// Clearing removes at index 0 exactly as many times as there were custom properties, whatever
// a removal reports: a failed removal leaves one property behind instead of looping on.
TEST_F(PropertyUpdateTest, ClearingRemovesCountTimesEvenWhenARemovalFails) {
    minihost::failNth(HostOp::RemoveCustom, 1);
    ASSERT_EQ(apply({}, true), Acad::eOk);
    EXPECT_EQ(minihost::callCount(HostOp::RemoveCustom), 2);
    EXPECT_EQ(stored(), R"((("Title" "") ("Subject" "") ("Author" "") ("Keywords" "") )"
                        R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                        R"(("LastSavedBy" "") ("Phase" "2")))");
}

TEST_F(PropertyUpdateTest, FailingSettersAndAddsAreIgnoredAndTheRestStillRuns) {
    minihost::failNth(HostOp::SetBuiltIn, 1);
    minihost::failNth(HostOp::AddCustom, 1);
    ASSERT_EQ(
        apply({{L"Title", L"lost"}, {L"Lost", L"x"}, {L"Kept", L"y"}, {L"Author", L"B"}}, false),
        Acad::eOk);
    EXPECT_EQ(stored(), R"((("Title" "T") ("Subject" "S") ("Author" "B") ("Keywords" "K") )"
                        R"(("Comments" "C") ("HyperlinkBase" "H") ("RevisionNumber" "R") )"
                        R"(("LastSavedBy" "L") ("Client" "ACME") ("Phase" "2") ("Kept" "y")))");
}

TEST_F(PropertyUpdateTest, NoSummaryInfoTouchesNothing) {
    minihost::failNth(HostOp::GetSummaryInfo, 1);
    EXPECT_NE(apply({{L"Title", L"x"}}, true), Acad::eOk);
    minihost::failNth(HostOp::GetSummaryInfoNone, 1);
    EXPECT_EQ(apply({{L"Title", L"x"}}, true), Acad::eOk);
    EXPECT_EQ(minihost::callCount(HostOp::PutSummaryInfo), 0);
    EXPECT_EQ(stored(), kFilled);
}

TEST_F(PropertyUpdateTest, ManyCustomPropertiesKeepTheirOrder) {
    std::vector<PropertyPair> pairs;
    for (int i = 0; i < 500; ++i)
        pairs.push_back({L"k" + std::to_wstring(i), std::to_wstring(i)});
    ASSERT_EQ(apply(pairs, true), Acad::eOk);
    ASSERT_EQ(apply({{L"k250", L"again"}}, false), Acad::eOk); // a replace after many adds
    std::string expected = R"((("Title" "") ("Subject" "") ("Author" "") ("Keywords" "") )"
                           R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                           R"(("LastSavedBy" ""))";
    for (int i = 0; i < 500; ++i)
        expected += " (\"k" + std::to_string(i) + "\" \"" +
                    (i == 250 ? "again" : std::to_string(i)) + "\")";
    EXPECT_EQ(stored(), expected + ")");
}

} // namespace
