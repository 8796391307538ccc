// The reader of AC1021 drawings on drawings made by tests/support/ac1021_maker: their layouts,
// every kind of damage, and the pieces the reader is built from.
#include <gtest/gtest.h>

#include <random>

#include "minihost/drawing/dwg/ac1021/ac1021_checks.h"
#include "minihost/drawing/dwg/ac1021/ac1021_lz77.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "tests/support/ac1021_maker.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace minihost::dwg;
using dwg_test::readMemory;

minihost::SummaryData sampleSummary(int repeat = 1) {
    minihost::SummaryData s;
    const wchar_t* texts[] = {L"Plan of the ground floor",
                              L"Subject",
                              L"A. Author",
                              L"walls doors",
                              L"Comments with \U0001F600 and \u00E9",
                              L"Last one",
                              L"7",
                              L"https://example.org/base/"};
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        for (int r = 0; r < repeat; ++r)
            s.builtIn[i] += texts[i];
    s.custom.emplace_back(L"Client", L"Some client");
    s.custom.emplace_back(L"Client", L""); // duplicates and empty values are kept
    s.custom.emplace_back(L"\u4E2D\u6587", L"value");
    return s;
}

void expectSame(const minihost::SummaryData& got, const minihost::SummaryData& want) {
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        EXPECT_EQ(got.builtIn[i], want.builtIn[i]) << i;
    EXPECT_EQ(got.custom, want.custom);
}

TEST(Ac1021Pieces, LiteralOrderOfTheNoteAndStandardCrcValues) {
    const std::string stream = std::string("\x20\0\0\x07", 4) + "abcdefg";
    std::string out;
    ASSERT_TRUE(ac1021::decompress(bytes(stream), stream.size(), 64, out));
    EXPECT_EQ(out, "gfbcdea");
    const std::string check = "123456789";
    EXPECT_EQ(ac1021::crc64Reflected(~0ull, bytes(check), 9), 0xCAA717168609F281ull); // Jones
    EXPECT_EQ(ac1021::crc64Forward(0, bytes(check), 9), 0x6C40DF5F0B497347ull);       // ECMA-182
}

TEST(Ac1021Pieces, MadeStreamsDecodeToTheirDataAndNoByteBeyondTheLimit) {
    std::mt19937 random(21);
    for (std::size_t n = 0; n < 700; n += n < 80 ? 1 : 37) {
        for (int kind = 0; kind < 2; ++kind) {
            std::string data;
            for (std::size_t i = 0; i < n; ++i)
                data += static_cast<char>(kind == 0 ? random() : random() % 3 ? 0 : 'x');
            const std::string stream = ac1021_maker::compress(data);
            std::string out;
            ASSERT_TRUE(ac1021::decompress(bytes(stream), stream.size(), n, out)) << n;
            EXPECT_EQ(out, data) << n;
            if (n > 0) { // one byte less of room than it needs
                EXPECT_FALSE(ac1021::decompress(bytes(stream), stream.size(), n - 1, out));
            }
        }
    }
}

struct Layout {
    const char* name;
    minihost::SummaryData summary;
    ac1021_maker::Options options;
};

std::vector<Layout> layouts() {
    using Options = ac1021_maker::Options;
    const minihost::SummaryData empty;
    // summaryPages, encoding, compressed, compressMaps, factor, storedPayload
    return {
        {"stored page", sampleSummary(), Options{1, 1, false, true, 1, false}},
        {"interleaved page of one code word", empty, Options{1, 4, false, true, 1, false}},
        {"interleaved page of two code words", sampleSummary(),
         Options{1, 4, false, true, 1, false}},
        {"interleaved page of many code words", sampleSummary(5),
         Options{1, 4, false, true, 1, false}},
        {"maps of more code words", sampleSummary(), Options{1, 1, false, true, 3, false}},
        {"compressed page", sampleSummary(4), Options{1, 1, true, true, 2, false}},
        {"several interleaved compressed pages", sampleSummary(6),
         Options{3, 4, true, true, 1, false}},
        {"several stored pages", sampleSummary(2), Options{4, 1, false, true, 1, false}},
        {"stored payload and maps", sampleSummary(), Options{1, 1, false, false, 1, true}},
        {"no summary section", empty, Options{0, 1, false, true, 1, false}},
    };
}

TEST(Ac1021Read, EveryLayoutGivesExactlyTheSummaryWritten) {
    for (const Layout& layout : layouts()) {
        SCOPED_TRACE(layout.name);
        const ac1021_maker::Made made =
            ac1021_maker::make(ac1021_maker::summarySection(layout.summary), layout.options);
        if (layout.options.compressed) {
            EXPECT_GT(made.compressedPages, 0);
        }
        BinaryDrawing d;
        ASSERT_EQ(readMemory(made.file, d), Acad::eOk);
        EXPECT_EQ(d.version, "AC1021");
        EXPECT_EQ(d.container.summary.present, layout.options.summaryPages > 0);
        expectSame(d.record.data, layout.summary);
    }
}

// Every byte flipped in turn: a byte some check value covers gives a status, any other byte
// gives a status or the summary as written, never another one; a cut anywhere gives a status.
TEST(Ac1021Read, EveryDamageGivesAStatusNeverAWrongValue) {
    for (const Layout& layout : layouts()) {
        if (layout.options.summaryPages == 0 || layout.summary.custom.empty())
            continue;
        SCOPED_TRACE(layout.name);
        const ac1021_maker::Made made =
            ac1021_maker::make(ac1021_maker::summarySection(layout.summary), layout.options);
        std::vector<bool> covered(made.file.size());
        for (const ac1021_maker::Region& region : made.regions) {
            EXPECT_FALSE(region.covered.empty()) << region.name;
            for (std::uint64_t at : region.covered)
                covered.at(at) = true;
        }
        for (std::size_t at = 0; at < made.file.size(); ++at) {
            std::string damaged = made.file;
            damaged[at] ^= 0x24;
            BinaryDrawing d;
            const Acad::ErrorStatus status = readMemory(damaged, d);
            if (covered[at] || at < 6) {
                ASSERT_NE(status, Acad::eOk) << at;
            } else if (status == Acad::eOk) {
                ASSERT_EQ(d.record.data.custom, layout.summary.custom) << at;
            }
        }
        for (std::size_t size = 0; size < made.file.size(); size += 1 + size / 64) {
            BinaryDrawing d;
            ASSERT_NE(readMemory(made.file.substr(0, size), d), Acad::eOk) << size;
        }
    }
}

// The independent reader decodes the whole drawing and fails on made ones (they hold no objects),
// but before that it finds the summary through their header, page map and section map, and
// says so when the address at 0x20 disagrees with where it found it. Only the summary's real
// shape is asked of it (one page as stored): it fails on a compressed summary page, and of
// several pages it names the last.
TEST(Ac1021Read, TheIndependentReaderFindsTheSummaryPageWhereTheMakerPutIt) {
    if (!dwg_test::haveIndependentCheck())
        GTEST_SKIP() << "../shared/tools/dwg-check is missing";
    testing_support::TempDir dir;
    for (const Layout& layout : layouts()) {
        const ac1021_maker::Options& o = layout.options;
        if (o.summaryPages != 1 || o.encoding != 1 || o.compressed)
            continue;
        SCOPED_TRACE(layout.name);
        ac1021_maker::Made made =
            ac1021_maker::make(ac1021_maker::summarySection(layout.summary), layout.options);
        put32(bytes(made.file) + 0x20, 0x10);
        testing_support::writeFile(dir / "made.dwg", made.file);
        const nlohmann::json check = dwg_test::independentCheck(dir / "made.dwg");
        const std::string found =
            "summaryinfo_address mismatch: 16 != " + std::to_string(made.summaryAddress);
        EXPECT_NE(check.dump().find(found), std::string::npos) << check.dump();
    }
}

} // namespace
