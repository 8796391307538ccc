// Seeds for fuzz_dwg_reader: AC1021 drawings made by the tests' maker in each of its layouts
// (pages as they are and interleaved, compressed or not, one page or several, the header's
// payload stored or compressed). Run before fuzzing, so that no made drawing is kept in the
// project:
//   ac1021_seeds OUTPUT-FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/ac1021_maker.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    minihost::SummaryData summary;
    summary.builtIn[minihost::kTitle] = L"Title";
    summary.builtIn[minihost::kComments] = L"Comments \u00E9 \U0001F600 and more comments";
    summary.custom.emplace_back(L"Key", L"Value");
    const std::string section = ac1021_maker::summarySection(summary);
    using Options = ac1021_maker::Options;
    // summaryPages, encoding, compressed, compressMaps, factor, storedPayload
    const Options layouts[] = {{1, 1, false, true, 1, false},
                               {1, 4, false, true, 1, false},
                               {2, 4, true, true, 2, false},
                               {3, 1, true, false, 1, true},
                               {0, 1, false, true, 1, false}};
    int made = 0;
    for (const Options& options : layouts) {
        const std::string name = "ac1021-" + std::to_string(made++) + ".dwg";
        std::ofstream(std::filesystem::path(argv[1]) / name, std::ios::binary)
            << ac1021_maker::make(section, options).file;
    }
    std::printf("%d AC1021 drawings in %s\n", made, argv[1]);
    return error ? 1 : 0;
}
