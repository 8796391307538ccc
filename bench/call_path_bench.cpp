// The fixed cost of a call of getsumleaf and setsumleaf through the host's call path: the
// module is loaded from its file as the host loads it, a document is open, and each function
// is invoked by name with its arguments, the result handed over and released, as the host's
// LISP does for every call in a script.
//
// A call that finds nothing to do (an undefined name) gives the floor of the call machinery.
// Nothing here asserts a timing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/host_api.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/frame/loader.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "call_path_bench: %s\n", what.c_str());
    std::exit(1);
}

// The module loaded once for the whole run, with one unnamed document open (as the minihost
// program has when no drawing is opened), and a folder for drawing files.
struct Host {
    void* module = nullptr;
    fs::path folder;

    Host() {
        std::string pattern = (fs::temp_directory_path() / "sumleaf-callpath-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fail("cannot make a temporary folder");
        folder = pattern;
        if (!minihost::openNewDocument(L""))
            fail("cannot open a document");
        std::string error;
        module = minihost::loadModule(SUMLEAF_MODULE_PATH, error);
        if (!module)
            fail("cannot load " + std::string(SUMLEAF_MODULE_PATH) + ": " + error);
    }
    ~Host() {
        minihost::unloadModule(module);
        minihost::closeAllDocuments();
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
};

Host* gHost = nullptr; // made by the first benchmark that runs, destroyed before exit

Host& host() {
    if (!gHost)
        gHost = new Host;
    return *gHost;
}

AcDbDatabase* working() {
    return acdbHostApplicationServices()->workingDatabase();
}

// Gives `db` exactly `count` custom properties, and a title.
void setCustomCount(AcDbDatabase* db, long count) {
    AcDbDatabaseSummaryInfo* info = nullptr;
    if (acdbGetSummaryInfo(db, info) != Acad::eOk || !info)
        fail("no summary information");
    while (info->numCustomInfo() > 0)
        info->deleteCustomSummaryInfo(0);
    info->setTitle(L"Ground floor plan");
    for (long i = 0; i < count; ++i) {
        std::wstring key = L"Custom key " + std::to_wstring(i);
        info->addCustomSummaryInfo(key.c_str(), L"a value of some length");
    }
    if (acdbPutSummaryInfo(info, db) != Acad::eOk)
        fail("cannot store the summary information");
}

// Invokes `name` with `args` (borrowed) and releases what came back.
bool call(const wchar_t* name, const resbuf* args) {
    minihost::CallResult result = minihost::invokeExternal(name, args);
    acutRelRb(result.value);
    return result.kind == minihost::CallResult::Value;
}

// Calls `name` with `args` once per iteration; stops with an error when no list comes back.
void callEachIteration(benchmark::State& state, const wchar_t* name, const resbuf* args) {
    for (auto _ : state)
        if (!call(name, args)) {
            state.SkipWithError("no list");
            break;
        }
}

void BM_GetSumleafWorking(benchmark::State& state) {
    host();
    setCustomCount(working(), state.range(0));
    callEachIteration(state, L"getsumleaf", nullptr);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetSumleafWorking)->Arg(0)->Arg(10);

// (setsumleaf T "Title" "...") merges one pair into the working drawing, which stays as big.
void BM_SetSumleafWorkingMerge(benchmark::State& state) {
    host();
    setCustomCount(working(), state.range(0));
    resbuf* args = acutBuildList(RTT, RTSTR, L"Title", RTSTR, L"Ground floor plan", RTNONE);
    callEachIteration(state, L"setsumleaf", args);
    acutRelRb(args);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SetSumleafWorkingMerge)->Arg(0)->Arg(10);

// (getsumleaf "path") where the path is that of the open document: the path route without a
// file read.
void BM_GetSumleafOpenDocumentPath(benchmark::State& state) {
    Host& h = host();
    const fs::path path = h.folder / "open.dwg";
    AcApDocument* document = minihost::openNewDocument(path.wstring());
    if (!document)
        fail("cannot open a document");
    setCustomCount(document->database(), 0);
    resbuf* args = acutBuildList(RTSTR, path.wstring().c_str(), RTNONE);
    callEachIteration(state, L"getsumleaf", args);
    acutRelRb(args);
    minihost::closeDocument(document);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetSumleafOpenDocumentPath);

// (getsumleaf "path") of a closed drawing of a few KiB: the file is read for every call.
void BM_GetSumleafClosedDrawing(benchmark::State& state) {
    Host& h = host();
    const fs::path path = h.folder / "closed.dwg";
    {
        AcDbDatabase db(true, true);
        setCustomCount(&db, 10);
        if (db.saveAs(path.wstring().c_str(), false) != Acad::eOk)
            fail("cannot write " + path.string());
    }
    resbuf* args = acutBuildList(RTSTR, path.wstring().c_str(), RTNONE);
    callEachIteration(state, L"getsumleaf", args);
    acutRelRb(args);
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(path));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_GetSumleafClosedDrawing);

// The floor: a name the document does not define.
void BM_InvokeUndefined(benchmark::State& state) {
    host();
    for (auto _ : state)
        benchmark::DoNotOptimize(minihost::invokeExternal(L"nosuchfunction", nullptr));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InvokeUndefined);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete gHost; // the module is unloaded while the host is still whole
    return 0;
}
