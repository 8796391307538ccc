// The stand-in's documents and external LISP calls, without a module: what the loader and the
// module rely on when they define, remove and run functions per document.
#include <gtest/gtest.h>

#include "host/host_api.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "tests/support/chain_text.h"

using minihost::CallResult;
using testing_support::chainText;

namespace {

class HostCallsTest : public ::testing::Test {
  protected:
    void SetUp() override { minihost::closeAllDocuments(); }
    void TearDown() override {
        minihost::clearFaults();
        minihost::closeAllDocuments();
        minihost::LiveCounts live = minihost::liveCounts();
        EXPECT_EQ(live.nodes, 0) << "resbuf nodes left behind";
        EXPECT_EQ(live.databases, 0) << "databases left behind";
        EXPECT_EQ(live.iterators, 0) << "document iterators left behind";
    }
};

// Records what the document manager tells it.
struct RecordingReactor : AcApDocManagerReactor {
    std::vector<std::string> events;
    void documentCreated(AcApDocument* d) override { events.push_back("created " + name(d)); }
    void documentToBeDestroyed(AcApDocument* d) override {
        events.push_back("destroyed " + name(d));
    }
    void documentBecameCurrent(AcApDocument* d) override { events.push_back("current " + name(d)); }
    static std::string name(AcApDocument* d) {
        std::wstring path = d->fileName();
        return testing_support::utf8(path.substr(path.rfind(L'/') + 1));
    }
};

std::vector<std::wstring> iterate() {
    std::vector<std::wstring> names;
    AcApDocumentIterator* it = acDocManagerPtr()->newAcApDocumentIterator();
    for (; !it->done(); it->step())
        names.push_back(it->document()->fileName());
    delete it;
    return names;
}

int gCalls = 0;
int gSeenCode = -1;
std::string gSeenArgs;

int echoHandler() {
    ++gCalls;
    gSeenCode = acedGetFunCode();
    gSeenArgs = chainText(acedGetArgs());
    resbuf* list = acutBuildList(RTSTR, L"echo", RTNONE);
    acedRetList(list);
    acutRelRb(list); // the host keeps its own copy
    return 1;
}

int nilHandler() {
    ++gCalls;
    acedRetNil();
    return 1;
}

// Calls echoHandler from inside its own call: the outer call keeps its arguments and result.
int nestingHandler() {
    resbuf* inner = acutBuildList(RTSTR, L"inner", RTNONE);
    CallResult nested = minihost::callHandler(echoHandler, 7, inner);
    acutRelRb(inner);
    acutRelRb(nested.value);
    gSeenCode = acedGetFunCode();
    gSeenArgs = chainText(acedGetArgs());
    acedRetNil();
    return 1;
}

TEST_F(HostCallsTest, DocumentsFollowOpeningOrderAndTheCurrentOneGivesTheWorkingDatabase) {
    AcDbDatabase* hostDefault = acdbHostApplicationServices()->workingDatabase();
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    AcApDocument* b = minihost::openNewDocument(L"/tmp/sub/../b.dwg");
    ASSERT_TRUE(a && b);
    EXPECT_STREQ(b->fileName(), L"/tmp/b.dwg"); // absolute, as the host keeps it
    EXPECT_EQ(acDocManagerPtr()->curDocument(), b);
    EXPECT_EQ(acdbHostApplicationServices()->workingDatabase(), b->database());
    EXPECT_EQ(iterate(), (std::vector<std::wstring>{L"/tmp/a.dwg", L"/tmp/b.dwg"}));
    EXPECT_EQ(minihost::liveCounts().iterators, 0);

    minihost::setCurrentDocument(a);
    EXPECT_EQ(acdbHostApplicationServices()->workingDatabase(), a->database());
    minihost::closeDocument(b); // not current: the current one stays
    EXPECT_EQ(acDocManagerPtr()->curDocument(), a);
    minihost::closeDocument(a);
    EXPECT_EQ(acDocManagerPtr()->curDocument(), nullptr);
    EXPECT_EQ(acdbHostApplicationServices()->workingDatabase(), hostDefault);
    EXPECT_EQ(acDocManagerPtr()->documentCount(), 0);
}

TEST_F(HostCallsTest, ReactorsHearOpeningClosingAndMayLeaveDuringACallback) {
    RecordingReactor reactor;
    acDocManagerPtr()->addReactor(&reactor);
    acDocManagerPtr()->addReactor(&reactor); // once is enough
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    AcApDocument* b = minihost::openNewDocument(L"/tmp/b.dwg");
    minihost::closeDocument(b); // the previous document becomes current again
    EXPECT_EQ(acDocManagerPtr()->curDocument(), a);
    EXPECT_EQ(reactor.events,
              (std::vector<std::string>{"created a.dwg", "current a.dwg", "created b.dwg",
                                        "current b.dwg", "destroyed b.dwg", "current a.dwg"}));

    struct Leaving : AcApDocManagerReactor {
        int calls = 0;
        void documentToBeDestroyed(AcApDocument*) override {
            ++calls;
            acDocManagerPtr()->removeReactor(this);
        }
    } leaving;
    acDocManagerPtr()->addReactor(&leaving);
    minihost::closeDocument(a);
    minihost::closeDocument(a); // no longer open: nothing happens
    EXPECT_EQ(leaving.calls, 1);
    acDocManagerPtr()->removeReactor(&reactor);
    EXPECT_EQ(minihost::documentReactorCount(), 0);
}

TEST_F(HostCallsTest, AFailedIteratorOrFileLeavesNothingBehind) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    minihost::failNth(minihost::HostOp::NewIterator, 1);
    EXPECT_EQ(acDocManagerPtr()->newAcApDocumentIterator(), nullptr);
    EXPECT_EQ(minihost::liveCounts().iterators, 0);

    std::string error;
    EXPECT_EQ(minihost::openDocument(L"/no/such/folder/x.dxf", error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(acDocManagerPtr()->documentCount(), 1);
}

TEST_F(HostCallsTest, DefinitionsBelongToTheCurrentDocument) {
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    EXPECT_EQ(acedDefun(L"first", 0), RTNORM);
    EXPECT_EQ(acedDefun(L"second", 1), RTNORM);
    EXPECT_EQ(acedDefun(L"", 2), RTERROR);
    EXPECT_EQ(acedDefun(nullptr, 2), RTERROR);
    minihost::openNewDocument(L"/tmp/b.dwg");
    EXPECT_TRUE(minihost::definedFunctions().empty());
    EXPECT_EQ(minihost::invokeExternal(L"first", nullptr).kind, CallResult::NotDefined);

    minihost::setCurrentDocument(a);
    EXPECT_EQ(minihost::definedFunctions(), (std::vector<std::wstring>{L"first", L"second"}));
    EXPECT_EQ(acedUndef(L"FIRST", 1), RTERROR); // the code must match too
    EXPECT_EQ(acedUndef(L"FIRST", 0), RTNORM);  // LISP names ignore case
    EXPECT_EQ(minihost::definedFunctions(), (std::vector<std::wstring>{L"second"}));
}

TEST_F(HostCallsTest, ARegisteredHandlerRunsDirectlyWithItsCodeAndArguments) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    acedDefun(L"echo", 4);
    acedRegFunc(echoHandler, 4);
    gCalls = 0;
    resbuf* args = acutBuildList(RTSTR, L"x", RTSHORT, 3, RTNONE);
    CallResult result = minihost::invokeExternal(L"Echo", args);
    acutRelRb(args);
    EXPECT_EQ(gCalls, 1);
    EXPECT_EQ(gSeenCode, 4);
    EXPECT_EQ(gSeenArgs, "\"x\" 3");
    EXPECT_EQ(result.kind, CallResult::Value);
    EXPECT_EQ(result.handlerReturned, 1);
    EXPECT_EQ(chainText(result.value), "\"echo\"");
    acutRelRb(result.value);

    acedRegFunc(nullptr, 4); // withdrawn: defined, but nothing runs it now
    EXPECT_EQ(minihost::invokeExternal(L"echo", nullptr).kind, CallResult::NoResult);
    EXPECT_EQ(gCalls, 1);
}

TEST_F(HostCallsTest, ResultsBelongToTheCallInProgress) {
    EXPECT_EQ(acedRetNil(), RTERROR); // no call in progress
    EXPECT_EQ(acedGetArgs(), nullptr);
    EXPECT_EQ(minihost::callHandler(nilHandler, 0, nullptr).kind, CallResult::Nil);

    resbuf* outer = acutBuildList(RTSTR, L"outer", RTNONE);
    CallResult result = minihost::callHandler(nestingHandler, 3, outer);
    acutRelRb(outer);
    EXPECT_EQ(gSeenCode, 3);
    EXPECT_EQ(gSeenArgs, "\"outer\"");
    EXPECT_EQ(result.kind, CallResult::Nil);
    EXPECT_EQ(result.value, nullptr);
}

TEST_F(HostCallsTest, LaterResultsReplaceEarlierOnesWithoutLeaking) {
    auto twice = [] {
        resbuf* list = acutBuildList(RTLB, RTSTR, L"a", RTLE, RTNONE);
        acedRetList(list);
        acedRetList(list);
        acutRelRb(list);
        return 1;
    };
    CallResult result = minihost::callHandler(twice, 0, nullptr);
    EXPECT_EQ(chainText(result.value), "(\"a\")");
    acutRelRb(result.value);
    EXPECT_EQ(minihost::liveCounts().nodes, 0);
}

} // namespace
