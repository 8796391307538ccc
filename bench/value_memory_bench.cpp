// Memory of one large property value: the heap's peak, above what was in use before, while a
// drawing with a 10 MB title is read, saved, and updated and read through setsumleaf and
// getsumleaf on a closed drawing. Each benchmark reports the peak in MB and as a multiple of
// the value's size as the host holds it (wide text: 10 Mi characters of 4 bytes here, 40 MiB);
// the aim is at most 5 times the value plus a few MB. Heap bytes are counted by replacing
// malloc and free (alloc_count.cpp).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "bench/alloc_count.h"
#include "host/host_api.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/frame/external_calls.h"
#include "props/lisp_functions.h"

namespace fs = std::filesystem;
using namespace minihost;

namespace {

constexpr std::size_t kValue = 10u << 20; // characters, all ASCII: as many bytes in the file

const std::wstring& value() {
    static const std::wstring text(kValue, L'v');
    return text;
}

struct Folder {
    fs::path path;
    std::wstring drawing;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "sumleaf-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::exit(1);
        path = pattern;
        std::string name = (path / "large-title.dwg").string();
        drawing.assign(name.begin(), name.end());
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
    // The drawing with the large title, written afresh.
    void make() const {
        SummaryData summary;
        summary.builtIn[kTitle] = value();
        if (saveDrawingFile(nullptr, summary, drawing.c_str(), SaveOptions()) != Acad::eOk)
            std::exit(1);
    }
};

const Folder& folder() {
    static Folder made;
    return made;
}

// Runs `work` once per iteration and reports the highest peak above the bytes in use before.
template <typename Work> void measure(benchmark::State& state, Work work) {
    if (!bench::countsAllocations()) {
        state.SkipWithError("heap bytes are not counted in this build");
        return;
    }
    long worst = 0;
    for (auto _ : state) {
        long before = bench::resetPeak();
        work();
        worst = std::max(worst, bench::peakBytes() - before);
    }
    state.counters["peak_MB"] = static_cast<double>(worst) / 1e6;
    state.counters["peak_per_value"] =
        static_cast<double>(worst) / static_cast<double>(kValue * sizeof(wchar_t));
}

void BM_ReadDrawing(benchmark::State& state) {
    folder().make();
    measure(state, [] {
        DrawingFilePtr file;
        SummaryData summary;
        if (readDrawingFile(folder().drawing.c_str(), file, summary) != Acad::eOk)
            std::exit(1);
    });
}

void BM_SaveDrawing(benchmark::State& state) {
    folder().make();
    DrawingFilePtr file;
    SummaryData summary;
    if (readDrawingFile(folder().drawing.c_str(), file, summary) != Acad::eOk)
        std::exit(1);
    int round = 0;
    measure(state, [&] {
        summary.builtIn[kComments] = std::to_wstring(++round);
        if (saveDrawingFile(file.get(), summary, folder().drawing.c_str(), SaveOptions()) !=
            Acad::eOk)
            std::exit(1);
    });
}

// The handler as the host calls it, with the path and the arguments already in the host's list.
void call(int (*handler)(), int code, resbuf* args) {
    CallResult result = callHandler(handler, code, args);
    if (result.kind != CallResult::Value)
        std::exit(1);
    acutRelRb(result.value);
}

void BM_SetSumleafClosed(benchmark::State& state) {
    folder().make();
    resbuf* args = acutBuildList(RTSTR, folder().drawing.c_str(), RTSTR, L"Title", RTSTR,
                                 value().c_str(), RTNONE);
    measure(state, [&] { call(SetSumleafHandler, 0, args); });
    acutRelRb(args);
}

void BM_GetSumleafClosed(benchmark::State& state) {
    folder().make();
    resbuf* args = acutBuildList(RTSTR, folder().drawing.c_str(), RTNONE);
    measure(state, [&] { call(GetSumleafHandler, 1, args); });
    acutRelRb(args);
}

BENCHMARK(BM_ReadDrawing)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveDrawing)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SetSumleafClosed)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GetSumleafClosed)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
