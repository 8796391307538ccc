// Seeds for fuzz_dwg_header: the header-variables section of every binary drawing of AC1018 to
// AC1032 in a folder, each in that target's input form (three context bytes, then the
// section). Run before fuzzing, so that no drawing's bytes are kept in the project:
//   dwg_header_seeds DRAWINGS-FOLDER OUTPUT-FOLDER
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/dwg/dwg_read.h"

namespace fs = std::filesystem;
using namespace minihost::dwg;

namespace {

constexpr std::uint64_t kMaxSection = 1u << 20;

// The seed of one drawing, or empty when it has no header section of a version the target takes.
std::string seedOf(const std::string& file) {
    auto read = [&](std::uint64_t offset, std::size_t n, std::uint8_t* to) {
        if (offset > file.size() || n > file.size() - offset)
            return Acad::eDwgNeedsRecovery;
        std::memcpy(to, file.data() + offset, n);
        return Acad::eOk;
    };
    BinaryDrawing d;
    if (readBinaryDrawing(read, file.size(), d) != Acad::eOk)
        return std::string();
    const std::size_t at = findSection(d.container, kHeaderName);
    Section section;
    if (at == std::string::npos ||
        readSection(read, file.size(), d.container, at, kMaxSection, section) != Acad::eOk)
        return std::string();
    const char* const versions[] = {"AC1018", "AC1024", "AC1027", "AC1032"};
    for (unsigned v = 0; v < 4; ++v)
        if (d.version == versions[v]) {
            std::string seed;
            seed += static_cast<char>(v | 4 | 3 << 3); // its version, the CRC sealed, 33 characters
            seed += static_cast<char>(get16(d.start + 0x13) & 0xFF);
            seed += static_cast<char>(d.start[0x12]);
            return seed + section.data;
        }
    return std::string();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s DRAWINGS-FOLDER OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    std::error_code error;
    fs::create_directories(argv[2], error);
    int made = 0;
    for (const auto& entry : fs::directory_iterator(argv[1], error)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string file((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        const std::string seed = seedOf(file);
        if (seed.empty())
            continue;
        std::ofstream(fs::path(argv[2]) / (entry.path().stem().string() + ".header"),
                      std::ios::binary)
            << seed;
        ++made;
    }
    std::printf("%d header sections from %s\n", made, argv[1]);
    return error ? 1 : 0;
}
