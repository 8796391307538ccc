// Fuzz target: the drawing reader on arbitrary files.
//
// Whatever the bytes, reading gives a status and never crashes or hangs. What it accepts must
// also save: a save either refuses with a status, leaving nothing behind, or writes a drawing
// that reads back with the same properties.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "minihost/drawing/drawing_file.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

const fs::path& folder() {
    static const fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "sumleaf-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fail("cannot make a temporary folder");
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(folder(), ignored);
        });
        return fs::path(pattern);
    }();
    return path;
}

bool sameSummary(const minihost::SummaryData& a, const minihost::SummaryData& b) {
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        if (a.builtIn[i] != b.builtIn[i])
            return false;
    return a.custom == b.custom;
}

std::size_t entries(const fs::path& dir) {
    std::size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path input = folder() / "input.dxf";
    const fs::path output = folder() / "output.dxf";
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            fail("cannot write the input file");
    }
    minihost::DrawingFilePtr file;
    minihost::SummaryData summary;
    if (minihost::readDrawingFile(input.wstring().c_str(), file, summary) != Acad::eOk) {
        if (file)
            fail("a failed read handed out a drawing");
        return 0;
    }
    if (!file)
        fail("a successful read handed out no drawing");

    // Save it with its own properties plus one more, both with and without the preview.
    summary.custom.emplace_back(L"Fuzz", L"saved");
    for (bool retainPreview : {true, false}) {
        minihost::SaveOptions options;
        options.retainPreview = retainPreview;
        Acad::ErrorStatus saved =
            minihost::saveDrawingFile(file.get(), summary, output.wstring().c_str(), options);
        if (saved != Acad::eOk) {
            if (entries(folder()) != 1)
                fail("a refused save left a file behind");
            continue;
        }
        minihost::DrawingFilePtr again;
        minihost::SummaryData back;
        if (minihost::readDrawingFile(output.wstring().c_str(), again, back) != Acad::eOk)
            fail("a saved drawing does not read back");
        if (!sameSummary(back, summary))
            fail("a saved drawing reads back with other properties");
        fs::remove(output);
    }
    return 0;
}
