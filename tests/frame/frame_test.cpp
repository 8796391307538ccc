// The module's frame linked into this test program, with the rows of test_row_*.cpp: the entry
// point, the application object, attach and detach, the record store and the function table.
#include <gtest/gtest.h>

#include <climits>
#include <dlfcn.h>

#include "frame/external_function.h"
#include "frame/getsumleaf_app.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/frame/platform_state.h"
#include "tests/support/chain_text.h"
#include "tests/frame/test_rows.h"

using minihost::CallResult;
using testing_support::chainText;

namespace {

// This program's own instance handle: where its file is mapped.
HINSTANCE selfInstance() {
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&selfInstance), &info);
    return static_cast<HINSTANCE>(info.dli_fbase);
}

// Runs `body` as the host runs a LISP call under `code`, and returns the result as text.
template <class Body> std::string asCall(int code, Body body) {
    static Body* current;
    current = &body;
    CallResult result = minihost::callHandler(
        [] {
            (*current)();
            return 1;
        },
        code, nullptr);
    std::string text = result.value ? chainText(result.value) : "";
    acutRelRb(result.value);
    return text;
}

class FrameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        minihost::closeAllDocuments();
        DllMain(selfInstance(), DLL_PROCESS_ATTACH, nullptr);
    }
    void TearDown() override {
        DllMain(selfInstance(), DLL_PROCESS_DETACH, nullptr);
        minihost::setExtensionModuleInitFails(false);
        minihost::closeAllDocuments();
    }
};

// Rows of a table built by hand, and what ran.
std::vector<std::string> gRan;
int rowOne() {
    gRan.push_back("one " + std::to_string(acedGetFunCode()));
    return 1;
}
int rowTwo() {
    gRan.push_back("two " + std::to_string(acedGetFunCode()));
    return 1;
}
const ExternalFunctionEntry kOne = {L"one", rowOne, true, kNoNameResource};
const ExternalFunctionEntry kTwo = {L"two", rowTwo, true, kNoNameResource};
const ExternalFunctionEntry kUnnamed = {nullptr, rowTwo, true, 999}; // no such resource

template <std::size_t N>
sumleaf::ExternalFunctionSlots slots(const ExternalFunctionEntry* (&a)[N]) {
    return {a, a + N};
}

// Which handlers run, under which codes, when each code in 0..3 (and -1) is dispatched.
std::vector<std::string> dispatchAll(sumleaf::ExternalFunctionSlots table) {
    gRan.clear();
    for (int code : {-1, 0, 1, 2, 3})
        asCall(code, [table] { sumleaf::dispatchExternalFunction(table); });
    return gRan;
}

TEST_F(FrameTest, MessagesOutsideOneToFiveAnswerZeroAndReachNothing) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    int marker = 0;
    int alphaBefore = alphaCalls();
    // Inside a call under code 0: a message routed to dispatch would run "alpha".
    asCall(0, [&marker] {
        for (int msg : {0, 6, 7, 16, 17, 1000, INT_MAX, -1, -5, INT_MIN})
            EXPECT_EQ(acrxEntryPoint(static_cast<AcRx::AppMsgCode>(msg), &marker), 0) << msg;
    });
    EXPECT_EQ(alphaCalls(), alphaBefore);
    EXPECT_TRUE(minihost::definedFunctions().empty());
    EXPECT_FALSE(minihost::unlockRequested(&marker));
    EXPECT_FALSE(minihost::multiDocumentRequested(&marker));
}

TEST_F(FrameTest, InitialisationTakesTheInstanceAndAsksTheDynamicLinker) {
    int appId = 0;
    EXPECT_EQ(acrxEntryPoint(AcRx::kInitAppMsg, &appId), 0);
    EXPECT_EQ(sumleaf::application().instance(), selfInstance());
    EXPECT_TRUE(minihost::unlockRequested(&appId));
    EXPECT_TRUE(minihost::multiDocumentRequested(&appId));

    // An entry of another class, or none, is not a dynamic linker and gets no call.
    struct NotALinker : AcRxObject {
    } impostor;
    AcRxObject* linker = acrxSysRegistry()->atPut(L"DynamicLinker", &impostor);
    int other = 0;
    EXPECT_EQ(acrxEntryPoint(AcRx::kInitAppMsg, &other), 0);
    acrxSysRegistry()->atPut(L"DynamicLinker", nullptr);
    EXPECT_EQ(acrxEntryPoint(AcRx::kInitAppMsg, &other), 0);
    acrxSysRegistry()->atPut(L"DynamicLinker", linker);
    EXPECT_FALSE(minihost::unlockRequested(&other));
    EXPECT_FALSE(minihost::multiDocumentRequested(&other));
}

TEST_F(FrameTest, EveryDrawingGetsTheLinkedRowsWithConsecutiveCodes) {
    int appId = 0;
    acrxEntryPoint(AcRx::kInitAppMsg, &appId);
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    acrxEntryPoint(AcRx::kLoadDwgMsg, a);
    // "beta" has no name of its own: it comes from the string resource.
    const std::vector<std::wstring> both{L"alpha", L"beta"};
    EXPECT_EQ(minihost::definedFunctions(), both);
    EXPECT_EQ(acrxEntryPoint(AcRx::kUnloadAppMsg, &appId), 0); // removes nothing
    EXPECT_EQ(minihost::definedFunctions(), both);

    AcApDocument* b = minihost::openNewDocument(L"/tmp/b.dwg");
    acrxEntryPoint(AcRx::kLoadDwgMsg, b);
    EXPECT_EQ(minihost::definedFunctions(), both);
    // alpha is registered for direct calls under code 0; the empty slot takes no code, so
    // message 5 under code 1 reaches beta.
    CallResult direct = minihost::invokeExternal(L"alpha", nullptr);
    EXPECT_EQ(chainText(direct.value), "\"alpha\" 0");
    acutRelRb(direct.value);
    EXPECT_EQ(asCall(1, [] { acrxEntryPoint(AcRx::kInvkSubrMsg, nullptr); }), "\"beta\" 1");
    EXPECT_EQ(asCall(0, [] { acrxEntryPoint(AcRx::kInvkSubrMsg, nullptr); }), "\"alpha\" 0");
    int alpha = alphaCalls(), beta = betaCalls();
    EXPECT_EQ(asCall(2, [] { acrxEntryPoint(AcRx::kInvkSubrMsg, nullptr); }), "");
    EXPECT_EQ(asCall(-1, [] { acrxEntryPoint(AcRx::kInvkSubrMsg, nullptr); }), "");
    EXPECT_EQ(alphaCalls() + betaCalls(), alpha + beta);

    acrxEntryPoint(AcRx::kUnloadDwgMsg, b);
    EXPECT_TRUE(minihost::definedFunctions().empty());
    minihost::setCurrentDocument(a);
    EXPECT_EQ(minihost::definedFunctions(), both);
}

TEST_F(FrameTest, EmptySlotsTakeNoCode) {
    const ExternalFunctionEntry* gapBetween[] = {&kOne, nullptr, nullptr, &kTwo};
    EXPECT_EQ(dispatchAll(slots(gapBetween)), (std::vector<std::string>{"one 0", "two 1"}));
    const ExternalFunctionEntry* gapsOutside[] = {nullptr, &kTwo, nullptr};
    EXPECT_EQ(dispatchAll(slots(gapsOutside)), (std::vector<std::string>{"two 0"}));
    const ExternalFunctionEntry* onlyGaps[] = {nullptr, nullptr};
    EXPECT_TRUE(dispatchAll(slots(onlyGaps)).empty());
    EXPECT_TRUE(dispatchAll({nullptr, nullptr}).empty());
}

TEST_F(FrameTest, DefinitionAndRemovalUseTheSameCodesAndNames) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    const ExternalFunctionEntry* table[] = {nullptr, &kOne, nullptr, &kTwo};
    sumleaf::defineExternalFunctions(slots(table), selfInstance());
    EXPECT_EQ(minihost::definedFunctions(), (std::vector<std::wstring>{L"one", L"two"}));
    gRan.clear();
    minihost::invokeExternal(L"two", nullptr);
    EXPECT_EQ(gRan, (std::vector<std::string>{"two 1"}));
    sumleaf::removeExternalFunctions(slots(table), selfInstance());
    EXPECT_TRUE(minihost::definedFunctions().empty());
}

TEST_F(FrameTest, ANameThatCannotBeLoadedLeavesTheOtherRowDefined) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    const ExternalFunctionEntry* table[] = {&kUnnamed, &kOne};
    sumleaf::defineExternalFunctions(slots(table), selfInstance());
    EXPECT_EQ(minihost::definedFunctions(), (std::vector<std::wstring>{L"one"}));
    gRan.clear();
    minihost::invokeExternal(L"one", nullptr); // still code 1: the unnamed row has code 0
    EXPECT_EQ(gRan, (std::vector<std::string>{"one 1"}));
}

TEST_F(FrameTest, StringResourcesAreCutToTheBuffer) {
    wchar_t buffer[8];
    EXPECT_EQ(LoadStringW(selfInstance(), kBetaNameId, buffer, 8), 4);
    EXPECT_STREQ(buffer, L"beta");
    EXPECT_EQ(LoadStringW(selfInstance(), kBetaNameId, buffer, 3), 2);
    EXPECT_STREQ(buffer, L"be");
    EXPECT_EQ(LoadStringW(selfInstance(), 12345, buffer, 8), 0);
    EXPECT_STREQ(buffer, L"");
    EXPECT_EQ(LoadStringW(nullptr, kBetaNameId, buffer, 8), 0);
    const wchar_t* inPlace = nullptr;
    EXPECT_EQ(LoadStringW(selfInstance(), kBetaNameId, reinterpret_cast<LPWSTR>(&inPlace), 0), 4);
    EXPECT_EQ(std::wstring(inPlace, 4), L"beta");
}

TEST_F(FrameTest, AttachKeepsTheExtensionModuleAndDetachReleasesIt) {
    const ExtensionModuleRecord& ext = sumleaf::extensionModule();
    EXPECT_EQ(sumleaf::moduleInstance(), selfInstance());
    EXPECT_TRUE(ext.attached);
    EXPECT_EQ(ext.moduleResource, selfInstance());
    EXPECT_EQ(ext.module.hResource, selfInstance());
    EXPECT_EQ(ext.defaultResource, AfxGetResourceHandle());
    EXPECT_EQ(minihost::extensionLibraryCount(), 1);

    int uiBefore = minihost::userInterfaceInitCount();
    EXPECT_EQ(DllMain(selfInstance(), DLL_PROCESS_ATTACH, nullptr), TRUE); // already attached
    EXPECT_EQ(minihost::extensionLibraryCount(), 1);
    EXPECT_EQ(minihost::userInterfaceInitCount(), uiBefore + 1);
    EXPECT_EQ(DllMain(selfInstance(), DLL_THREAD_ATTACH, nullptr), TRUE);
    EXPECT_EQ(DllMain(selfInstance(), DLL_THREAD_DETACH, nullptr), TRUE);
    EXPECT_TRUE(ext.attached);

    EXPECT_EQ(DllMain(selfInstance(), DLL_PROCESS_DETACH, nullptr), TRUE);
    EXPECT_FALSE(ext.attached);
    EXPECT_EQ(ext.moduleResource, nullptr);
    EXPECT_EQ(ext.defaultResource, nullptr);
    EXPECT_EQ(minihost::extensionLibraryCount(), 0);
    EXPECT_EQ(sumleaf::moduleInstance(), selfInstance());                  // the handle stays
    EXPECT_EQ(DllMain(selfInstance(), DLL_PROCESS_DETACH, nullptr), TRUE); // twice is harmless
}

TEST_F(FrameTest, AFailedExtensionModuleStillInitialisesTheUserInterface) {
    DllMain(selfInstance(), DLL_PROCESS_DETACH, nullptr);
    minihost::setExtensionModuleInitFails(true);
    int uiBefore = minihost::userInterfaceInitCount();
    EXPECT_EQ(DllMain(selfInstance(), DLL_PROCESS_ATTACH, nullptr), TRUE);
    EXPECT_FALSE(sumleaf::extensionModule().attached);
    EXPECT_EQ(sumleaf::extensionModule().moduleResource, nullptr);
    EXPECT_EQ(minihost::extensionLibraryCount(), 0);
    EXPECT_EQ(minihost::userInterfaceInitCount(), uiBefore + 1);
}

TEST_F(FrameTest, TheRecordStoreForgetsOnlyTheDestroyedDocument) {
    AcApDataManager<CDocData>& records = sumleaf::documentRecords();
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    minihost::closeDocument(a); // while the store is empty
    EXPECT_EQ(records.size(), 0u);

    a = minihost::openNewDocument(L"/tmp/a.dwg");
    AcApDocument* b = minihost::openNewDocument(L"/tmp/b.dwg");
    records.docData(a);
    records.docData(b);
    minihost::closeDocument(a);
    EXPECT_FALSE(records.hasDocData(a));
    EXPECT_TRUE(records.hasDocData(b));
    minihost::closeDocument(b);
    EXPECT_EQ(records.size(), 0u);
}

TEST_F(FrameTest, AStoreOutlivingTheDocumentManagerLeavesQuietly) {
    int before = minihost::documentReactorCount();
    auto* store = new AcApDataManager<int>;
    EXPECT_EQ(minihost::documentReactorCount(), before + 1);
    store->docData(minihost::openNewDocument(L"/tmp/a.dwg")) = 1;
    minihost::destroyDocumentManager();
    delete store; // no manager to leave; the map is still released
    minihost::recreateDocumentManager();
    auto* again = new AcApDataManager<int>;
    EXPECT_EQ(minihost::documentReactorCount(), 1);
    delete again;
    EXPECT_EQ(minihost::documentReactorCount(), 0);
    // The module's own store stayed with the old manager; register it with the new one.
    acDocManagerPtr()->addReactor(&sumleaf::documentRecords());
}

} // namespace
