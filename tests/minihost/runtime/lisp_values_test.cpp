// The stand-in's list functions: acutBuildList, acutRelRb, acutNewString.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/host_api.h"
#include "minihost/runtime/fault.h"
#include "tests/support/chain_text.h"

namespace {

TEST(LispValues, BuildListCopiesTextsAndKeepsEveryCode) {
    std::wstring text = L"caf\u00e9 \U0001F600";
    resbuf* chain = acutBuildList(RTLB, RTSTR, text.c_str(), RTSHORT, -7, RTLONG, 70000, RTREAL,
                                  2.5, RTT, RTNIL, RTLB, RTSTR, L"a", RTDOTE, RTLE, RTLE, RTNONE);
    ASSERT_NE(chain, nullptr);
    text[0] = L'C'; // the chain holds its own copy
    EXPECT_EQ(testing_support::chainText(chain),
              "(\"caf\u00e9 \U0001F600\" -7 70000 2.5 T nil (\"a\" .))");
    EXPECT_EQ(minihost::liveCounts().nodes, 12);
    acutRelRb(chain);
    EXPECT_EQ(minihost::liveCounts().nodes, 0);
}

TEST(LispValues, BuildListFailsWholeAndLeavesNothing) {
    EXPECT_EQ(acutBuildList(RTLB, 4242, RTLE, RTNONE), nullptr) << "an unknown code";
    minihost::failNth(minihost::HostOp::BuildList, 1);
    EXPECT_EQ(acutBuildList(RTLB, RTLE, RTNONE), nullptr);
    minihost::clearFaults();
    EXPECT_EQ(minihost::liveCounts().nodes, 0);
}

TEST(LispValues, NewStringCopiesAreCountedUntilFreed) {
    ACHAR* copy = nullptr;
    ASSERT_EQ(acutNewString(L"text", copy), Acad::eOk);
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy, L"text");
    EXPECT_EQ(minihost::liveCounts().strings, 1);
    std::free(copy); // this test links --wrap=free, as the module does
    EXPECT_EQ(minihost::liveCounts().strings, 0);

    ACHAR* none = nullptr;
    minihost::failNth(minihost::HostOp::NewString, 1);
    EXPECT_NE(acutNewString(L"text", none), Acad::eOk);
    EXPECT_EQ(none, nullptr) << "no copy, and the output is left as it was";
    minihost::clearFaults();
}

} // namespace
