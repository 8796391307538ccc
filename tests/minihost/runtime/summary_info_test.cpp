// The stand-in's summary information: the host behaviour the module relies on.
#include <gtest/gtest.h>

#include "host/host_api.h"
#include "minihost/runtime/fault.h"

namespace {

class SummaryInfoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        minihost::clearFaults();
        ASSERT_EQ(acdbGetSummaryInfo(&db, info), Acad::eOk);
        ASSERT_NE(info, nullptr);
    }

    std::wstring valueOf(const wchar_t* key) {
        AcString value;
        return info->getCustomSummaryInfo(key, value) == Acad::eOk ? value.kwszPtr() : L"<none>";
    }
    std::wstring keyAt(int index) {
        AcString key, value;
        return info->getCustomSummaryInfo(index, key, value) == Acad::eOk ? key.kwszPtr()
                                                                          : L"<none>";
    }

    AcDbDatabase db{true, false};
    AcDbDatabaseSummaryInfo* info = nullptr;
};

TEST_F(SummaryInfoTest, AddRefusesEmptyAndDuplicateKeysAndChangesNothing) {
    ASSERT_EQ(info->addCustomSummaryInfo(L"Key", L"1"), Acad::eOk);
    EXPECT_NE(info->addCustomSummaryInfo(L"", L"x"), Acad::eOk);
    EXPECT_NE(info->addCustomSummaryInfo(L"Key", L"2"), Acad::eOk);
    EXPECT_EQ(info->addCustomSummaryInfo(L"key", L"3"), Acad::eOk) << "keys match exactly";
    EXPECT_EQ(info->numCustomInfo(), 2);
    EXPECT_EQ(valueOf(L"Key"), L"1");
    EXPECT_EQ(valueOf(L"key"), L"3");
}

TEST_F(SummaryInfoTest, RemoveShiftsLaterPropertiesDownAndKeepsLookupsRight) {
    for (const wchar_t* key : {L"a", L"b", L"c", L"d"})
        ASSERT_EQ(info->addCustomSummaryInfo(key, key), Acad::eOk);
    EXPECT_EQ(valueOf(L"c"), L"c"); // builds the key index before the removals
    ASSERT_EQ(info->deleteCustomSummaryInfo(1), Acad::eOk);
    EXPECT_EQ(keyAt(1), L"c");
    EXPECT_EQ(valueOf(L"b"), L"<none>");
    ASSERT_EQ(info->setCustomSummaryInfo(L"d", L"changed"), Acad::eOk);
    EXPECT_EQ(keyAt(2), L"d");
    EXPECT_EQ(valueOf(L"d"), L"changed");
    EXPECT_NE(info->deleteCustomSummaryInfo(3), Acad::eOk);
    EXPECT_NE(info->deleteCustomSummaryInfo(-1), Acad::eOk);
    EXPECT_NE(info->setCustomSummaryInfo(L"missing", L"x"), Acad::eOk);
    EXPECT_EQ(info->numCustomInfo(), 3);
}

// Changes reach the database only when stored, and what is stored is what the next
// acdbGetSummaryInfo sees.
TEST_F(SummaryInfoTest, OnlyStoredChangesAreSeenAgain) {
    info->setTitle(L"kept");
    info->addCustomSummaryInfo(L"k", L"v");
    ASSERT_EQ(acdbPutSummaryInfo(info, &db), Acad::eOk);
    info->setTitle(L"not stored");
    info->deleteCustomSummaryInfo(0);
    ASSERT_EQ(acdbGetSummaryInfo(&db, info), Acad::eOk);
    AcString title;
    ASSERT_EQ(info->getTitle(title), Acad::eOk);
    EXPECT_STREQ(title.kwszPtr(), L"kept");
    EXPECT_EQ(valueOf(L"k"), L"v");
    EXPECT_EQ(info->database(), &db);
}

TEST_F(SummaryInfoTest, TextIsKeptExactly) {
    const std::wstring texts[] = {L"", L" lead and trail ", L"line\nbreak\r\n^caret",
                                  L"\U0001F4D0 \u00e4\u00df \u4e2d", std::wstring(1 << 20, L'z')};
    for (const std::wstring& text : texts) {
        info->setComments(text.c_str());
        info->addCustomSummaryInfo((L"k" + std::to_wstring(text.size())).c_str(), text.c_str());
        ASSERT_EQ(acdbPutSummaryInfo(info, &db), Acad::eOk);
        ASSERT_EQ(acdbGetSummaryInfo(&db, info), Acad::eOk);
        AcString comments;
        info->getComments(comments);
        EXPECT_EQ(std::wstring(comments.kwszPtr()), text);
        EXPECT_EQ(valueOf((L"k" + std::to_wstring(text.size())).c_str()), text);
    }
}

} // namespace
