// LISP values to argument chains and result chains back to values: the type codes an external
// function sees, and the results it can hand back, well formed or not.
#include <gtest/gtest.h>

#include "host/host_api.h"
#include "host/lisp_calls.h"
#include "minihost/runtime/fault.h"
#include "minihost/lisp/lisp_chain.h"
#include "minihost/lisp/lisp_printer.h"
#include "minihost/lisp/lisp_reader.h"
#include "tests/support/chain_text.h"

namespace {

using minihost::CallResult;
using namespace minihost::lisp;

ValuePtr read(const std::wstring& text) {
    return Reader(text).next().form;
}

// The type codes of the chain of `args`, written as the reader would read them.
std::string codes(const std::wstring& argsText) {
    std::vector<ValuePtr> args;
    Reader reader(argsText);
    for (Reader::Result r = reader.next(); r.status == Reader::Status::Form; r = reader.next())
        args.push_back(r.form);
    ArgChain chain(args);
    std::string out;
    for (const resbuf* rb = chain.head(); rb; rb = rb->rbnext)
        out += (out.empty() ? "" : " ") + std::to_string(rb->restype);
    return out;
}

// A chain built by the host's list builder, released when the test ends.
struct Built {
    resbuf* chain;
    ~Built() { acutRelRb(chain); }
};

TEST(LispArgChain, ArgumentsCarryTheHostsTypeCodes) {
    EXPECT_EQ(codes(L""), "");
    EXPECT_EQ(codes(L"\"a\" T nil 1.5"), "5005 5021 5019 5001");
    EXPECT_EQ(codes(L"32767 -32768 32768 -32769"), "5003 5003 5010 5010");
    EXPECT_EQ(codes(L"(\"a\" (1 nil)) ()"), "5016 5005 5016 5003 5019 5017 5017 5019");
    EXPECT_EQ(codes(L"(\"k\" . \"v\") (1 2 . 3)"), "5016 5005 5005 5018 5016 5003 5003 5003 5018");
}

TEST(LispArgChain, ValuesAndTextsArriveIntact) {
    ArgChain chain({string(L"D:\\Dwg\\\u00C4.dwg"), integer(70000), real(-2.5), integer(-3)});
    const resbuf* rb = chain.head();
    EXPECT_EQ(std::wstring(rb->resval.rstring), L"D:\\Dwg\\\u00C4.dwg");
    EXPECT_EQ(rb->rbnext->resval.rlong, 70000);
    EXPECT_EQ(rb->rbnext->rbnext->resval.rreal, -2.5);
    EXPECT_EQ(rb->rbnext->rbnext->rbnext->resval.rint, -3);
    EXPECT_EQ(rb->rbnext->rbnext->rbnext->rbnext, nullptr);
    EXPECT_EQ(testing_support::chainText(chain.head()), "\"D:\\Dwg\\\xC3\x84.dwg\" 70000 -2.5 -3");
}

TEST(LispArgChain, SymbolsCannotBePassed) {
    EXPECT_THROW(ArgChain({read(L"abc")}), LispError);
    EXPECT_THROW(ArgChain({read(L"(1 (b))")}), LispError);
}

TEST(LispResultChain, AChainThatIsOneWholeListIsThatList) {
    Built list{
        acutBuildList(RTLB, RTLB, RTSTR, L"Title", RTSTR, L"Plan \u00E9", RTLE, RTLE, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(list.chain)), "((\"Title\" \"Plan \xC3\xA9\"))");
    Built empty{acutBuildList(RTLB, RTLE, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(empty.chain)), "nil");
}

TEST(LispResultChain, OtherChainsMakeAListOfTheirItems) {
    Built items{
        acutBuildList(RTSTR, L"a", RTSHORT, 2, RTLONG, 100000, RTREAL, 0.5, RTT, RTNIL, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(items.chain)), "(\"a\" 2 100000 0.5 T nil)");
    Built twoLists{acutBuildList(RTLB, RTSTR, L"a", RTLE, RTLB, RTLE, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(twoLists.chain)), "((\"a\") nil)");
    EXPECT_EQ(prin1Text(valueOfChain(nullptr)), "nil");
}

TEST(LispResultChain, DottedPairsEndWithTheirOwnCode) {
    Built pair{acutBuildList(RTLB, RTSTR, L"k", RTSTR, L"v", RTDOTE, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(pair.chain)), "(\"k\" . \"v\")");
    Built nested{
        acutBuildList(RTLB, RTLB, RTSHORT, 1, RTSHORT, 2, RTSHORT, 3, RTDOTE, RTLE, RTNONE)};
    EXPECT_EQ(prin1Text(valueOfChain(nested.chain)), "((1 2 . 3))");
}

TEST(LispResultChain, MalformedChainsAreErrorsNotCrashes) {
    Built unclosed{acutBuildList(RTLB, RTSTR, L"a", RTNONE)};
    EXPECT_THROW(valueOfChain(unclosed.chain), LispError);
    Built stray{acutBuildList(RTSTR, L"a", RTLE, RTNONE)};
    EXPECT_THROW(valueOfChain(stray.chain), LispError);
    Built shortPair{acutBuildList(RTLB, RTSTR, L"a", RTDOTE, RTNONE)};
    EXPECT_THROW(valueOfChain(shortPair.chain), LispError);
    resbuf unknown{};
    unknown.restype = 5002;
    EXPECT_THROW(valueOfChain(&unknown), LispError);
    resbuf nullText{};
    nullText.restype = RTSTR;
    EXPECT_EQ(prin1Text(valueOfChain(&nullText)), "(\"\")");
}

TEST(LispResultChain, DeepNestingIsRefusedNotAStackOverflow) {
    std::vector<resbuf> nodes(20000);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        nodes[i].restype = i < nodes.size() / 2 ? RTLB : RTLE;
        nodes[i].rbnext = i + 1 < nodes.size() ? &nodes[i + 1] : nullptr;
    }
    EXPECT_THROW(valueOfChain(nodes.data()), LispError);
}

// A result taken as the handler sets it: the last one set counts, a malformed chain is an
// error only when nothing replaced it, and the handler's chain stays the handler's.
TEST(LispResultChain, TheLastResultTheHandlerSetCounts) {
    struct Case {
        int (*handler)();
        CallResult::Kind kind;
        const char* printed; // nullptr: the value is a LispError
    };
    static resbuf* sMalformed;
    static resbuf* sGood;
    Built malformed{acutBuildList(RTLB, RTSTR, L"a", RTNONE)};
    Built good{acutBuildList(RTLB, RTSTR, L"k", RTSHORT, 1, RTLE, RTNONE)};
    sMalformed = malformed.chain;
    sGood = good.chain;
    const Case cases[] = {
        {[] { return acedRetList(sGood); }, CallResult::Value, "(\"k\" 1)"},
        {[] { return acedRetList(sMalformed); }, CallResult::Value, nullptr},
        {[] { return acedRetList(sMalformed), acedRetList(sGood); }, CallResult::Value,
         "(\"k\" 1)"},
        {[] { return acedRetList(sGood), acedRetList(sMalformed); }, CallResult::Value, nullptr},
        {[] { return acedRetList(sMalformed), acedRetNil(); }, CallResult::Nil, ""},
        {[] { return acedRetList(sGood), acedRetList(nullptr); }, CallResult::Nil, ""},
    };
    for (const Case& c : cases) {
        ResultValue made;
        CallResult result = minihost::callHandler(c.handler, 0, nullptr, &made);
        EXPECT_EQ(result.kind, c.kind);
        EXPECT_EQ(result.value, nullptr); // no copy of the chain is made
        if (c.kind != CallResult::Value)
            continue;
        if (c.printed)
            EXPECT_EQ(prin1Text(made.value()), c.printed);
        else
            EXPECT_THROW(made.value(), LispError);
    }
    EXPECT_EQ(testing_support::chainText(sGood), "(\"k\" 1)");
}

} // namespace
