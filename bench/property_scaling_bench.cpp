// How the cost of the property work grows with the work: the property list against the number
// of custom properties, the open-document match against the number of open documents, and
// writing pairs into a drawing against the number of pairs and of properties already there.
//
// Each benchmark reports time per call and, as items, per property, document or pair, so that
// a cost that grows faster than the work shows as a falling item rate. The open-document match
// also reports the heap allocations of one call. Nothing here asserts a timing.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "minihost/frame/documents.h"
#include "props/property_list.h"
#include "props/property_update.h"
#include "props/target_drawing.h"

namespace {

std::wstring customKey(long i) {
    return L"Custom key " + std::to_wstring(i);
}
std::wstring customValue(long i, const wchar_t* tag) {
    return std::wstring(tag) + L" value of property " + std::to_wstring(i);
}

// A new drawing (not a document) with the eight built-in properties set and `count` custom
// properties Custom key 0 ... count-1.
std::unique_ptr<AcDbDatabase> drawingWith(long count) {
    auto db = std::make_unique<AcDbDatabase>(true, true);
    std::vector<PropertyPair> pairs = {{L"Title", L"Ground floor plan"},
                                       {L"Subject", L"Benchmark"},
                                       {L"Author", L"Drafting office"},
                                       {L"Keywords", L"plan, ground floor"},
                                       {L"Comments", L"Made by the benchmark"},
                                       {L"HyperlinkBase", L"https://example.invalid/plans/"},
                                       {L"RevisionNumber", L"7"},
                                       {L"LastSavedBy", L"bench"}};
    for (long i = 0; i < count; ++i)
        pairs.push_back({customKey(i), customValue(i, L"first")});
    if (ApplyPropertyPairs(db.get(), pairs, true) != Acad::eOk) {
        std::fprintf(stderr, "cannot set up a drawing with %ld properties\n", count);
        std::exit(1);
    }
    return db;
}

// Reports the time per item (CPU time of one call divided by `items`) and, where they are
// counted, the heap allocations per call and per item since `allocationsBefore`.
void report(benchmark::State& state, const char* item, long items, long allocationsBefore) {
    const double calls = static_cast<double>(state.iterations());
    const double allocations =
        static_cast<double>(bench::allocationCount() - allocationsBefore) / calls;
    state.SetItemsProcessed(state.iterations() * items);
    state.counters[std::string("per_") + item] = benchmark::Counter(
        static_cast<double>(items),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    if (!bench::countsAllocations())
        return;
    state.counters["allocs/call"] = allocations;
    if (items > 0)
        state.counters[std::string("allocs/") + item] = allocations / static_cast<double>(items);
}

void BM_BuildPropertyList(benchmark::State& state) {
    const long custom = state.range(0);
    auto db = drawingWith(custom);
    const long allocationsBefore = bench::allocationCount();
    for (auto _ : state) {
        resbuf* list = BuildPropertyList(db.get());
        if (!list) {
            state.SkipWithError("no property list");
            break;
        }
        acutRelRb(list);
    }
    // Items: the properties in the list, the eight built-in ones included.
    report(state, "property", 8 + custom, allocationsBefore);
}
BENCHMARK(BM_BuildPropertyList)->Arg(0)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000);

// `count` open documents named /bench/documents/drawing-N.dwg; the path of the last one is
// given in upper case, so that every document is compared to the end of its name.
struct OpenDocuments {
    std::wstring lastPath;
    explicit OpenDocuments(long count) {
        minihost::closeAllDocuments();
        for (long i = 0; i < count; ++i) {
            std::wstring path = L"/bench/documents/drawing-" + std::to_wstring(i) + L".dwg";
            if (!minihost::openNewDocument(path)) {
                std::fprintf(stderr, "cannot open document %ld\n", i);
                std::exit(1);
            }
            lastPath = path;
        }
        for (wchar_t& c : lastPath)
            if (c >= L'a' && c <= L'z')
                c = static_cast<wchar_t>(c - L'a' + L'A');
    }
    ~OpenDocuments() { minihost::closeAllDocuments(); }
};

// The match as the handlers make it: a fresh iterator from the document manager, walked to
// the last document.
void BM_OpenDocumentMatch(benchmark::State& state) {
    const long count = state.range(0);
    OpenDocuments documents(count);
    ACHAR fullPath[kFullPathLength] = {};
    if (documents.lastPath.size() >= kFullPathLength) {
        state.SkipWithError("path too long");
        return;
    }
    std::copy(documents.lastPath.begin(), documents.lastPath.end(), fullPath);

    AcApDocManager* manager = acDocManagerPtr();
    const long allocationsBefore = bench::allocationCount();
    for (auto _ : state) {
        AcDbDatabase* found =
            FindOpenDocumentDatabase(fullPath, manager->newAcApDocumentIterator());
        benchmark::DoNotOptimize(found);
        if (!found) {
            state.SkipWithError("no match");
            break;
        }
    }
    report(state, "document", count, allocationsBefore);
}
BENCHMARK(BM_OpenDocumentMatch)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);

// The match on its own, without the stand-in's iterator: an iterator over a fixed list whose
// storage is reused, so that what is left is the module's comparison loop.
class ListIterator : public AcApDocumentIterator {
  public:
    explicit ListIterator(const std::vector<AcApDocument*>& documents) : mDocuments(documents) {}
    bool done() const override { return mAt >= mDocuments.size(); }
    void step() override { ++mAt; }
    AcApDocument* document() override { return mDocuments[mAt]; }
    // FindOpenDocumentDatabase deletes the iterator it is given; this one lives in a buffer
    // the benchmark reuses.
    static void* operator new(std::size_t, void* place) { return place; }
    static void operator delete(void*) {}

  private:
    const std::vector<AcApDocument*>& mDocuments;
    std::size_t mAt = 0;
};

void BM_OpenDocumentMatchLoopOnly(benchmark::State& state) {
    const long count = state.range(0);
    OpenDocuments documents(count);
    ACHAR fullPath[kFullPathLength] = {};
    std::copy(documents.lastPath.begin(), documents.lastPath.end(), fullPath);
    const std::vector<AcApDocument*> list = minihost::openDocuments();

    alignas(ListIterator) unsigned char storage[sizeof(ListIterator)];
    const long allocationsBefore = bench::allocationCount();
    for (auto _ : state) {
        AcDbDatabase* found = FindOpenDocumentDatabase(fullPath, new (storage) ListIterator(list));
        benchmark::DoNotOptimize(found);
        if (!found) {
            state.SkipWithError("no match");
            break;
        }
    }
    report(state, "document", count, allocationsBefore);
}
BENCHMARK(BM_OpenDocumentMatchLoopOnly)->Arg(1)->Arg(10)->Arg(100)->Arg(1000);

std::vector<PropertyPair> pairsFor(long count, long firstKey, const wchar_t* tag) {
    std::vector<PropertyPair> pairs;
    pairs.reserve(static_cast<std::size_t>(count));
    for (long i = 0; i < count; ++i)
        pairs.push_back({customKey(firstKey + i), customValue(firstKey + i, tag)});
    return pairs;
}

// Merging pairs that all name existing custom properties: every pair is a lookup and a
// replacement, and the drawing keeps its size from one iteration to the next.
void BM_MergeExistingKeys(benchmark::State& state) {
    const long count = state.range(0);
    auto db = drawingWith(count);
    const std::vector<PropertyPair> pairs[2] = {pairsFor(count, 0, L"second"),
                                                pairsFor(count, 0, L"third")};
    int round = 0;
    const long allocationsBefore = bench::allocationCount();
    for (auto _ : state) {
        if (ApplyPropertyPairs(db.get(), pairs[round ^= 1], false) != Acad::eOk) {
            state.SkipWithError("update failed");
            break;
        }
    }
    report(state, "pair", count, allocationsBefore);
}
BENCHMARK(BM_MergeExistingKeys)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(30000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// Merging pairs whose keys are all new: every pair is a failed lookup and an addition. The
// drawing is put back to `count` properties between iterations, outside the timing.
void BM_MergeNewKeys(benchmark::State& state) {
    const long count = state.range(0);
    auto db = drawingWith(count);
    const std::vector<PropertyPair> base = pairsFor(count, 0, L"first");
    const std::vector<PropertyPair> added = pairsFor(count, count, L"new");
    const long allocationsBefore = bench::allocationCount();
    long resetAllocations = 0;
    for (auto _ : state) {
        if (ApplyPropertyPairs(db.get(), added, false) != Acad::eOk) {
            state.SkipWithError("update failed");
            break;
        }
        state.PauseTiming();
        const long beforeReset = bench::allocationCount();
        ApplyPropertyPairs(db.get(), base, true);
        resetAllocations += bench::allocationCount() - beforeReset;
        state.ResumeTiming();
    }
    report(state, "pair", count, allocationsBefore + resetAllocations);
}
BENCHMARK(BM_MergeNewKeys)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMicrosecond);

// Replacing: every custom property is removed (always at index 0) and the pairs written anew.
void BM_ReplaceAll(benchmark::State& state) {
    const long count = state.range(0);
    auto db = drawingWith(count);
    const std::vector<PropertyPair> pairs = pairsFor(count, 0, L"again");
    const long allocationsBefore = bench::allocationCount();
    for (auto _ : state) {
        if (ApplyPropertyPairs(db.get(), pairs, true) != Acad::eOk) {
            state.SkipWithError("update failed");
            break;
        }
    }
    report(state, "pair", count, allocationsBefore);
}
BENCHMARK(BM_ReplaceAll)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
