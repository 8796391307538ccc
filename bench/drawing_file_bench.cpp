// Drawing files: reading the properties must not depend on the drawing's size, and saving a
// large drawing should cost about what copying the file and flushing it costs.
//
// One run measures: reading the properties of a 4 KiB and of a 256 MiB drawing, saving the
// 256 MiB drawing (over itself, with backup, as a side database is saved), and `cp` plus
// `sync` of the same file; then prints the ratios. The drawings are made in
// $SUMLEAF_BENCH_DIR (default: the temporary folder), on the disk to be measured.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "minihost/drawing/drawing_file.h"

namespace fs = std::filesystem;
using namespace minihost;

namespace {

struct Drawings {
    fs::path folder, small, large, copy;
    Drawings() {
        const char* base = std::getenv("SUMLEAF_BENCH_DIR");
        std::string pattern =
            ((base ? fs::path(base) : fs::temp_directory_path()) / "sumleaf-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        folder = pattern;
        small = folder / "small.dwg";
        large = folder / "large.dwg";
        copy = folder / "copy.dwg";
        make(small, 4 << 10);
        make(large, 256u << 20);
    }
    ~Drawings() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // A drawing of about `size` bytes: the header of a new drawing, then lines in ENTITIES.
    static void make(const fs::path& path, std::size_t size) {
        SummaryData summary;
        summary.builtIn[kTitle] = L"Benchmark";
        summary.builtIn[kAuthor] = L"bench";
        summary.custom = {{L"Size", std::to_wstring(size)}};
        fs::path fresh = path.string() + ".new";
        std::string freshName = fresh.string();
        std::wstring freshWide(freshName.begin(), freshName.end());
        if (saveDrawingFile(nullptr, summary, freshWide.c_str(), SaveOptions()) != Acad::eOk) {
            std::fprintf(stderr, "cannot write %s\n", fresh.c_str());
            std::exit(1);
        }
        std::ifstream in(fresh, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        fs::remove(fresh);
        std::string header = text.substr(0, text.find("ENDSEC\r\n") + 8);
        const std::string tail = "  0\r\nENDSEC\r\n  0\r\nEOF\r\n";
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << header << "  0\r\nSECTION\r\n  2\r\nENTITIES\r\n";
        std::size_t written = header.size() + 32 + tail.size();
        std::string chunk;
        for (unsigned long handle = 0x100; written < size; ++handle) {
            char entity[160];
            int n = std::snprintf(entity, sizeof entity,
                                  "  0\r\nLINE\r\n  5\r\n%lX\r\n  8\r\n0\r\n 10\r\n%lu.5\r\n 20\r\n"
                                  "0.0\r\n 11\r\n%lu.5\r\n 21\r\n10.0\r\n",
                                  handle, handle % 1000, handle % 1000 + 1);
            if (written + static_cast<std::size_t>(n) > size && written > 0)
                break;
            chunk.append(entity, static_cast<std::size_t>(n));
            written += static_cast<std::size_t>(n);
            if (chunk.size() > (1 << 20)) {
                out << chunk;
                chunk.clear();
            }
        }
        out << chunk << tail;
    }
};

Drawings& drawings() {
    static Drawings made;
    return made;
}

std::wstring wide(const fs::path& path) {
    std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

void readProperties(benchmark::State& state, const fs::path& path) {
    std::wstring name = wide(path);
    for (auto _ : state) {
        DrawingFilePtr file;
        SummaryData summary;
        if (readDrawingFile(name.c_str(), file, summary) != Acad::eOk) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(summary);
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(path));
}

void BM_ReadProperties_4KiB(benchmark::State& state) {
    readProperties(state, drawings().small);
}
void BM_ReadProperties_256MiB(benchmark::State& state) {
    readProperties(state, drawings().large);
}

// One round of setsumleaf on a closed drawing: reads `name`, sets `field` to `text` and saves the
// drawing over itself. With `timeSaveOnly` the read is left out of the time. False, the
// benchmark stopped with an error, when the read or the save fails.
bool setAndSave(benchmark::State& state, const std::wstring& name, BuiltInField field,
                const std::wstring& text, const SaveOptions& options, bool timeSaveOnly) {
    if (timeSaveOnly)
        state.PauseTiming();
    DrawingFilePtr file;
    SummaryData summary;
    if (readDrawingFile(name.c_str(), file, summary) != Acad::eOk) {
        // Without the drawing, a save would write a new one over the benchmark's file.
        state.SkipWithError("read failed");
        return false;
    }
    summary.builtIn[field] = text;
    if (timeSaveOnly)
        state.ResumeTiming();
    if (saveDrawingFile(file.get(), summary, name.c_str(), options) != Acad::eOk) {
        state.SkipWithError("save failed");
        return false;
    }
    return true;
}

void BM_Save_256MiB(benchmark::State& state) {
    std::wstring name = wide(drawings().large);
    SaveOptions options;
    options.keepBackup = true;
    options.retainPreview = true;
    int round = 0;
    for (auto _ : state)
        if (!setAndSave(state, name, kComments, L"round " + std::to_wstring(++round), options,
                        true))
            break;
}

// `cp` plus `sync` of the drawing, to a new file or over the previous copy. A save replaces a
// file, so its old blocks are freed within the save (the backup it supersedes); copying over
// an existing file does the same and is the like-for-like measure.
void copyAndSync(benchmark::State& state, bool overExisting) {
    std::string command = "cp '" + drawings().large.string() + "' '" + drawings().copy.string() +
                          "' && sync '" + drawings().copy.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        if (!overExisting)
            fs::remove(drawings().copy);
        else if (!fs::exists(drawings().copy) && std::system(command.c_str()) != 0) {
            state.SkipWithError("cp failed");
            break;
        }
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("cp failed");
            break;
        }
    }
}

void BM_CopyAndSync_256MiB(benchmark::State& state) {
    copyAndSync(state, false);
}
void BM_CopyOverAndSync_256MiB(benchmark::State& state) {
    copyAndSync(state, true);
}

// Binary drawings: the largest and the smallest readable shared drawing. Reading reads the
// same few parts whatever the drawing's size.
const fs::path kBinaryDrawings = fs::path(SUMLEAF_SOURCE_DIR) / ".." / "shared" / "dwg";

void BM_ReadBinary_Smallest(benchmark::State& state) {
    readProperties(state, kBinaryDrawings / "r2018_plain.dwg");
}
void BM_ReadBinary_Largest(benchmark::State& state) {
    readProperties(state, kBinaryDrawings / "r2004_plain.dwg");
}

// setsumleaf on the largest binary drawing, closed: read it, change the title (to a text of
// the same length, so that the file keeps its size from round to round) and save it over
// itself with a backup; against copying the drawing and flushing the copy.
fs::path binaryCopy(const char* name) {
    fs::path path = drawings().folder / name;
    if (!fs::exists(path))
        fs::copy_file(kBinaryDrawings / "r2004_plain.dwg", path);
    return path;
}

// Sets `field` to a text of the same length each round and saves the drawing over itself.
void setsumleafBinary(benchmark::State& state, BuiltInField field) {
    std::wstring name = wide(binaryCopy("binary.dwg"));
    SaveOptions options;
    options.keepBackup = true;
    int round = 0;
    for (auto _ : state)
        if (!setAndSave(state, name, field, L"round " + std::to_wstring(++round % 2), options,
                        false))
            break;
}

void BM_SetsumleafBinary_Largest(benchmark::State& state) {
    setsumleafBinary(state, kTitle);
}

// The same with HyperlinkBase, whose second copy in the header-variables section is rewritten
// too.
void BM_SetsumleafBinaryHyperlinkBase_Largest(benchmark::State& state) {
    setsumleafBinary(state, kHyperlinkBase);
}

// Copies the drawing to a new file and flushes it; with `folder`, also the folder, which makes
// the new name itself durable as a replacing save must.
void copyAndFlush(benchmark::State& state, bool folder) {
    fs::path from = binaryCopy("binary-source.dwg");
    fs::path to = drawings().folder / "binary-copy.dwg";
    for (auto _ : state) {
        int in = ::open(from.c_str(), O_RDONLY);
        int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        auto closeBoth = [&] {
            if (in >= 0)
                ::close(in);
            if (out >= 0)
                ::close(out);
        };
        struct stat st;
        if (in < 0 || out < 0 || ::fstat(in, &st) != 0) {
            closeBoth();
            state.SkipWithError("open failed");
            break;
        }
        bool copied = true;
        for (off_t at = 0; at < st.st_size;) {
            ssize_t got = ::copy_file_range(in, &at, out, nullptr,
                                            static_cast<std::size_t>(st.st_size - at), 0);
            if (got <= 0) {
                copied = false;
                break;
            }
        }
        if (!copied) {
            closeBoth();
            state.SkipWithError("copy failed");
            break;
        }
        if (::fsync(out) != 0) {
            closeBoth();
            state.SkipWithError("fsync failed");
            break;
        }
        closeBoth();
        if (folder) {
            int dir = ::open(drawings().folder.c_str(), O_RDONLY | O_DIRECTORY);
            bool flushed = dir >= 0 && ::fsync(dir) == 0;
            if (dir >= 0)
                ::close(dir);
            if (!flushed) {
                state.SkipWithError("folder fsync failed");
                break;
            }
        }
    }
}

void BM_CopyAndFlushBinary_Largest(benchmark::State& state) {
    copyAndFlush(state, false);
}
void BM_CopyAndFlushWithFolderBinary_Largest(benchmark::State& state) {
    copyAndFlush(state, true);
}

BENCHMARK(BM_SetsumleafBinary_Largest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SetsumleafBinaryHyperlinkBase_Largest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyAndFlushBinary_Largest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CopyAndFlushWithFolderBinary_Largest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBinary_Smallest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBinary_Largest)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadProperties_4KiB)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadProperties_256MiB)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Save_256MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_CopyAndSync_256MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(8);
BENCHMARK(BM_CopyOverAndSync_256MiB)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(8);

// Keeps each benchmark's time per iteration, to print the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    drawings(); // make the drawings before anything is timed
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* a, const char* b, const char* what, double target) {
        auto x = reporter.seconds.find(a), y = reporter.seconds.find(b);
        if (x != reporter.seconds.end() && y != reporter.seconds.end() && y->second > 0)
            std::printf("%s: %.2f (target at most %.1f)\n", what, x->second / y->second, target);
    };
    ratio("BM_ReadProperties_256MiB/real_time", "BM_ReadProperties_4KiB/real_time",
          "read properties, 256 MiB / 4 KiB", 1.5);
    ratio("BM_ReadBinary_Largest/real_time", "BM_ReadBinary_Smallest/real_time",
          "read binary drawing, largest (188 KB) / smallest (31 KB)", 1.5);
    ratio("BM_SetsumleafBinary_Largest/real_time", "BM_CopyAndFlushBinary_Largest/real_time",
          "setsumleaf on the largest binary drawing / copy + fsync of it", 1.3);
    ratio("BM_SetsumleafBinary_Largest/real_time",
          "BM_CopyAndFlushWithFolderBinary_Largest/real_time",
          "setsumleaf on the largest binary drawing / copy + fsync of it and its folder", 1.3);
    ratio("BM_Save_256MiB/iterations:8/real_time", "BM_CopyAndSync_256MiB/iterations:8/real_time",
          "save 256 MiB / cp + sync to a new file", 1.3);
    ratio("BM_Save_256MiB/iterations:8/real_time",
          "BM_CopyOverAndSync_256MiB/iterations:8/real_time",
          "save 256 MiB / cp + sync over the previous copy", 1.3);
    benchmark::Shutdown();
    return 0;
}
