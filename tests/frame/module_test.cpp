// Modules loaded by the stand-in's loader: the test module (the frame with the rows of
// test_row_*.cpp), modules that must be turned away, and the built GetSumleaf2021x64.arx.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "host/host_api.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "minihost/frame/loader.h"
#include "minihost/frame/platform_state.h"
#include "tests/support/chain_text.h"

using minihost::CallResult;
using testing_support::chainText;

namespace {

const std::string kTestModule = SUMLEAF_TEST_MODULE;
const std::string kRealModule = std::string(SUMLEAF_BINARY_DIR) + "/GetSumleaf2021x64.arx";

bool libraryIsMapped(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        dlclose(handle);
    return handle != nullptr;
}

std::string call(const wchar_t* name) {
    CallResult result = minihost::invokeExternal(name, nullptr);
    std::string text = result.kind == CallResult::NotDefined ? "undefined"
                       : result.value                        ? chainText(result.value)
                                                             : "no list";
    acutRelRb(result.value);
    return text;
}

std::vector<std::wstring> definedIn(AcApDocument* document) {
    AcApDocument* user = acDocManagerPtr()->curDocument();
    minihost::setCurrentDocument(document);
    std::vector<std::wstring> names = minihost::definedFunctions();
    minihost::setCurrentDocument(user);
    return names;
}

// Notes what is defined in a document as it is about to be destroyed: after message 4.
struct DefinitionsAtClose : AcApDocManagerReactor {
    std::vector<std::wstring> seen{L"(not told)"};
    void documentToBeDestroyed(AcApDocument*) override { seen = minihost::definedFunctions(); }
};

class ModuleTest : public ::testing::Test {
  protected:
    void SetUp() override {
        minihost::closeAllDocuments();
        mReactorsBefore = minihost::documentReactorCount();
    }
    void TearDown() override {
        for (void* module : minihost::loadedModules())
            minihost::unloadModule(module);
        minihost::closeAllDocuments();
        EXPECT_EQ(minihost::documentReactorCount(), mReactorsBefore) << "a reactor stayed";
        EXPECT_EQ(minihost::extensionLibraryCount(), 0);
        EXPECT_EQ(minihost::liveCounts().nodes, 0);
    }
    int mReactorsBefore = 0;
};

TEST_F(ModuleTest, LoadingShowsTheVersionAndTheLinkerRequests) {
    std::string error;
    minihost::ModuleInfo info;
    void* module = minihost::loadModule(kTestModule, error, &info);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_EQ(info.version, "1.0.0.1");
    EXPECT_EQ(info.productVersion, "1.0.0.1");
    EXPECT_TRUE(info.unlockable);
    EXPECT_TRUE(info.multiDocument);
    EXPECT_EQ(minihost::loadedModules(), std::vector<void*>{module});
    // Static initialisation registered the record store.
    EXPECT_EQ(minihost::documentReactorCount(), mReactorsBefore + 1);
    EXPECT_EQ(minihost::extensionLibraryCount(), 1);

    minihost::unloadModule(module);
    EXPECT_TRUE(minihost::loadedModules().empty());
    EXPECT_FALSE(minihost::unlockRequested(module));
    EXPECT_FALSE(libraryIsMapped(kTestModule));
}

TEST_F(ModuleTest, FunctionsAreDefinedPerDocumentAndRemovedWhenOneCloses) {
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    AcApDocument* b = minihost::openNewDocument(L"/tmp/b.dwg");
    std::string error;
    void* module = minihost::loadModule(kTestModule, error);
    ASSERT_NE(module, nullptr) << error;
    const std::vector<std::wstring> both{L"alpha", L"beta"};
    EXPECT_EQ(definedIn(a), both);
    EXPECT_EQ(definedIn(b), both);
    EXPECT_EQ(acDocManagerPtr()->curDocument(), b); // loading left the user's document current
    AcApDocument* c = minihost::openNewDocument(L"/tmp/c.dwg");
    EXPECT_EQ(definedIn(c), both);

    DefinitionsAtClose watcher;
    acDocManagerPtr()->addReactor(&watcher);
    minihost::closeDocument(b);
    acDocManagerPtr()->removeReactor(&watcher);
    EXPECT_TRUE(watcher.seen.empty()); // message 4 removed them before destruction
    EXPECT_EQ(definedIn(a), both);
    EXPECT_EQ(definedIn(c), both);

    minihost::unloadModule(module);
    EXPECT_TRUE(definedIn(a).empty());
    EXPECT_TRUE(definedIn(c).empty());
    EXPECT_EQ(call(L"alpha"), "undefined");
}

TEST_F(ModuleTest, CallsRunTheHandlerDirectlyOrThroughMessageFive) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    std::string error;
    ASSERT_NE(minihost::loadModule(kTestModule, error), nullptr) << error;
    EXPECT_EQ(call(L"alpha"), "\"alpha\" 0"); // registered: called directly
    EXPECT_EQ(call(L"BETA"), "\"beta\" 1");   // not registered: message 5 with code 1

    // Message 5 reaches a registered row as well.
    void* library = dlopen(kTestModule.c_str(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(library, nullptr);
    static AcRx::AppRetCode (*entry)(AcRx::AppMsgCode, void*);
    entry = reinterpret_cast<decltype(entry)>(dlsym(library, "acrxEntryPoint"));
    dlclose(library);
    CallResult viaMessage = minihost::callHandler(
        [] { return static_cast<int>(entry(AcRx::kInvkSubrMsg, nullptr)); }, 0, nullptr);
    EXPECT_EQ(chainText(viaMessage.value), "\"alpha\" 0");
    acutRelRb(viaMessage.value);
}

TEST_F(ModuleTest, AModuleWithoutRowsLinksLoadsAndDefinesNothing) {
    AcApDocument* document = minihost::openNewDocument(L"/tmp/a.dwg");
    std::string error;
    void* module = minihost::loadModule(SUMLEAF_NO_ROWS_MODULE, error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_TRUE(definedIn(document).empty());
    minihost::unloadModule(module);
}

TEST_F(ModuleTest, UnloadingAfterTheDocumentManagerIsGoneSkipsTheReactor) {
    std::string error;
    void* module = minihost::loadModule(kTestModule, error);
    ASSERT_NE(module, nullptr) << error;
    minihost::destroyDocumentManager();
    minihost::unloadModule(module);
    EXPECT_FALSE(libraryIsMapped(kTestModule));
    minihost::recreateDocumentManager();
    mReactorsBefore = minihost::documentReactorCount();
}

TEST_F(ModuleTest, ModulesThatCannotRunAreTurnedAwayAndUnloaded) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    std::string error;
    EXPECT_EQ(minihost::loadModule("/no/such/module.arx", error), nullptr);
    EXPECT_NE(error.find("module.arx"), std::string::npos) << error;

    error.clear();
    EXPECT_EQ(minihost::loadModule(SUMLEAF_NO_ENTRY_MODULE, error), nullptr);
    EXPECT_NE(error.find("acrxEntryPoint"), std::string::npos) << error;
    EXPECT_FALSE(libraryIsMapped(SUMLEAF_NO_ENTRY_MODULE));

    error.clear();
    EXPECT_EQ(minihost::loadModule(SUMLEAF_FAILING_MODULE, error), nullptr);
    EXPECT_NE(error.find("message 1"), std::string::npos) << error;
    EXPECT_FALSE(libraryIsMapped(SUMLEAF_FAILING_MODULE));
    EXPECT_TRUE(minihost::definedFunctions().empty());
    EXPECT_TRUE(minihost::loadedModules().empty());
}

TEST_F(ModuleTest, AModuleIsLoadedOnlyOnce) {
    std::string error;
    void* module = minihost::loadModule(kTestModule, error);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_EQ(minihost::loadModule(kTestModule, error), nullptr);
    EXPECT_NE(error.find("already loaded"), std::string::npos) << error;
    minihost::openNewDocument(L"/tmp/a.dwg"); // the first load still works
    EXPECT_EQ(call(L"alpha"), "\"alpha\" 0");
}

TEST_F(ModuleTest, TheBuiltModuleDefinesItsFunctionsInEveryDocument) {
    AcApDocument* a = minihost::openNewDocument(L"/tmp/a.dwg");
    std::string error;
    minihost::ModuleInfo info;
    void* module = minihost::loadModule(kRealModule, error, &info);
    ASSERT_NE(module, nullptr) << error;
    EXPECT_EQ(info.version, "1.0.0.1");
    EXPECT_EQ(info.productVersion, "1.0.0.1");
    EXPECT_TRUE(info.unlockable && info.multiDocument);
    const std::vector<std::wstring> both{L"setsumleaf", L"getsumleaf"};
    AcApDocument* b = minihost::openNewDocument(L"/tmp/b.dwg");
    EXPECT_EQ(definedIn(a), both);
    EXPECT_EQ(definedIn(b), both);
    minihost::closeDocument(b);
    minihost::unloadModule(module);
    EXPECT_TRUE(definedIn(a).empty());
    EXPECT_FALSE(libraryIsMapped(kRealModule));
}

// The host calls a function by the code it was defined with: message 5, acedGetFunCode() set.
// Code 0 must replace the working drawing's properties and code 1 must read them back.
TEST_F(ModuleTest, MessageFiveRunsSetsumleafForCodeZeroAndGetsumleafForCodeOne) {
    minihost::openNewDocument(L"/tmp/a.dwg");
    std::string error;
    void* module = minihost::loadModule(kRealModule, error);
    ASSERT_NE(module, nullptr) << error;
    // No path (nil): the working drawing.
    resbuf* args = acutBuildList(RTNIL, RTSTR, L"Title", RTSTR, L"by code", RTNONE);
    CallResult set = minihost::invokeByCode(module, 0, args);
    acutRelRb(args);
    EXPECT_EQ(set.kind, CallResult::Value);
    const std::string expected = "((\"Title\" \"by code\") (\"Subject\" \"\") (\"Author\" \"\") "
                                 "(\"Keywords\" \"\") (\"Comments\" \"\") (\"HyperlinkBase\" \"\") "
                                 "(\"RevisionNumber\" \"\") (\"LastSavedBy\" \"\"))";
    EXPECT_EQ(set.value ? chainText(set.value) : "nil", expected);
    acutRelRb(set.value);
    CallResult get = minihost::invokeByCode(module, 1, nullptr);
    EXPECT_EQ(get.kind, CallResult::Value);
    EXPECT_EQ(get.value ? chainText(get.value) : "nil", expected);
    acutRelRb(get.value);
    EXPECT_EQ(minihost::invokeByCode(module, 2, nullptr).kind, CallResult::NoResult);
    minihost::unloadModule(module);
    EXPECT_EQ(minihost::invokeByCode(module, 1, nullptr).kind, CallResult::NotDefined);
}

} // namespace
