// The binary drawing reader on the shared drawings, on damaged copies of them, and the pieces
// it is built from.
#include <gtest/gtest.h>

#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/save/dwg_edit.h"
#include "minihost/drawing/dwg/container/dwg_lz77.h"
#include "minihost/drawing/dwg/dwg_text.h"
#include "tests/support/ac1021_maker.h"
#include "tests/support/chain_text.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace minihost::dwg;
using dwg_test::readMemory;
using testing_support::readFile;

// Before AC1018 the independent reader reads the properties record, or finds none: then every
// property reads as empty here.
void expectIndependentReaderAgrees(const fs::path& path, const minihost::SummaryData& read) {
    if (!dwg_test::haveIndependentCheck())
        return;
    const nlohmann::json check = dwg_test::independentCheck(path);
    EXPECT_EQ(check["errors"], 0) << check.dump();
    if (check["summary"] == "absent") {
        EXPECT_TRUE(read.custom.empty());
        for (const std::wstring& text : read.builtIn)
            EXPECT_EQ(text, L"");
        return;
    }
    EXPECT_EQ(check["source"], "DWGPROPS");
    const char* const names[] = {"title",    "subject",     "author",         "keywords",
                                 "comments", "lastsavedby", "revisionnumber", "hyperlinkbase"};
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        EXPECT_EQ(check[names[i]], testing_support::utf8(read.builtIn[i])) << names[i];
    nlohmann::json custom = nlohmann::json::array();
    for (const auto& [key, value] : read.custom)
        custom.push_back({testing_support::utf8(key), testing_support::utf8(value)});
    EXPECT_EQ(check["custom"], custom);
}

TEST(DwgRead, EverySharedDrawingGivesItsExpectedPropertiesReadingLessThan64KiB) {
    auto drawings = dwg_test::expectedDrawings();
    ASSERT_GE(drawings.size(), 13u);
    for (const auto& e : drawings) {
        SCOPED_TRACE(e.name);
        const fs::path& path = e.path;
        minihost::DrawingFilePtr file;
        minihost::SummaryData summary;
        minihost::clearFileFaults();
        Acad::ErrorStatus status = minihost::readDrawingFile(path.wstring().c_str(), file, summary);
        EXPECT_LT(minihost::fileBytesRead(), 64 << 10);
        ASSERT_EQ(status, Acad::eOk);
        for (int i = 0; i < minihost::kBuiltInCount; ++i)
            EXPECT_EQ(summary.builtIn[i], e.summary.builtIn[i]) << i;
        EXPECT_EQ(summary.custom, e.summary.custom);
        BinaryDrawing drawing;
        ASSERT_EQ(readMemory(readFile(path), drawing), Acad::eOk);
        EXPECT_EQ(drawing.version, e.version);
        if (e.version < "AC1018")
            expectIndependentReaderAgrees(path, summary);
    }
    // AC1021 drawings made here: at most 64 KiB besides the summary's pages, whatever these hold.
    testing_support::TempDir dir;
    for (int size : {0, 40, 3000, 200000}) {
        SCOPED_TRACE(size);
        minihost::SummaryData summary; // texts of up to 20 000 characters
        for (int left = size; left > 0; left -= 20000)
            summary.custom.emplace_back(L"k", std::wstring(std::min(left, 20000), L'c'));
        ac1021_maker::Options options;
        options.summaryPages = size / 10000 + 1;
        options.encoding = size > 1000 ? 4 : 1;
        const ac1021_maker::Made made =
            ac1021_maker::make(ac1021_maker::summarySection(summary), options);
        testing_support::writeFile(dir / "made.dwg", made.file);
        minihost::DrawingFilePtr file;
        minihost::SummaryData read;
        minihost::clearFileFaults();
        ASSERT_EQ(minihost::readDrawingFile((dir / "made.dwg").wstring().c_str(), file, read),
                  Acad::eOk);
        EXPECT_LE(minihost::fileBytesRead(), (64 << 10) + made.summaryPageBytes);
        EXPECT_TRUE(read.custom == summary.custom);
    }
}

// The small drawing the damage tests use, and the ranges its reader checks.
struct Small {
    std::string bytes;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> checked; // [begin, end)
};

Small smallDrawing() {
    Small s;
    s.bytes = readFile(dwg_test::sharedBinaryDrawings() / "r2018_plain.dwg");
    BinaryDrawing d;
    EXPECT_EQ(readMemory(s.bytes, d), Acad::eOk);
    const Container& c = d.container;
    s.checked.emplace_back(0x80, 0x80 + kFileHeaderSize);
    for (std::uint32_t field : {kPageMapNumber, kSectionMapNumber})
        for (const MapEntry& e : c.map)
            if (e.number == static_cast<std::int32_t>(get32(c.header + field)))
                s.checked.emplace_back(e.address,
                                       e.address + kSystemHeaderSize +
                                           get32(bytes(s.bytes) + e.address + 8)); // stored size
    for (const SectionPage& p : c.summary.pages)
        s.checked.emplace_back(p.address, p.address + kPageHeaderSize + p.dataSize);
    return s;
}

TEST(DwgRead, AnyFlippedByteOfTheHeaderMapsOrSummaryPageIsAnError) {
    Small s = smallDrawing();
    ASSERT_EQ(s.checked.size(), 4u);
    for (auto [begin, end] : s.checked)
        for (std::uint64_t at = begin; at < end; ++at)
            for (unsigned char mask : {0x01, 0x80}) {
                std::string bytes = s.bytes;
                bytes[at] = static_cast<char>(bytes[at] ^ mask);
                BinaryDrawing d;
                Acad::ErrorStatus status = readMemory(bytes, d);
                ASSERT_NE(status, Acad::eOk) << "byte " << at;
                ASSERT_TRUE(status == Acad::eDwgCRCError || status == Acad::eDwgCorrupt ||
                            status == Acad::eBadDwgHeader || status == Acad::eDwgNeedsRecovery)
                    << "byte " << at << " status " << status;
            }
}

TEST(DwgRead, ACutDrawingIsAnErrorWhereverItEnds) {
    Small s = smallDrawing();
    for (std::size_t size = 0; size < s.bytes.size(); ++size) {
        BinaryDrawing d;
        Acad::ErrorStatus status = readMemory(s.bytes.substr(0, size), d);
        ASSERT_TRUE(status == Acad::eDwgNeedsRecovery || status == Acad::eNotADrawing)
            << "cut at " << size << " status " << status;
    }
}

TEST(DwgRead, VersionsAndFlagsThatAreRefused) {
    std::string bytes = readFile(dwg_test::sharedBinaryDrawings() / "r2018_plain.dwg");
    struct Case {
        const char* version;
        std::uint8_t security;
        Acad::ErrorStatus status;
    } cases[] = {
        {"AC1011", 0, Acad::eUnsupportedVersion},
        {"AC1016", 0, Acad::eUnsupportedVersion},
        {"AC1009", 0, Acad::eUnsupportedVersion},
        {"AC2.10", 0, Acad::eUnsupportedVersion},
        {"AC1021", 0, Acad::eDwgCorrupt}, // its own container: a 2004 one is no 2007 header
        {"AC1021", 2, Acad::eSecErrorDecryptingData},
        {"AC1040", 0, Acad::eInvalidDwgVersion},
        {"AC1032", 2, Acad::eSecErrorDecryptingData},
        {"AC1032", 1, Acad::eOk},
    };
    for (const Case& c : cases) {
        std::string copy = bytes;
        copy.replace(0, 6, c.version);
        copy[0x18] = static_cast<char>(c.security);
        BinaryDrawing d;
        EXPECT_EQ(readMemory(copy, d), c.status) << c.version << " " << int(c.security);
    }
}

TEST(DwgRead, SummarySectionsOfEveryShapeTheMapsDescribe) {
    const std::string base = readFile(dwg_test::sharedBinaryDrawings() / "r2018_plain.dwg");
    BinaryDrawing real;
    ASSERT_EQ(readMemory(base, real), Acad::eOk);
    SummaryRecord record = real.record;
    record.data.builtIn[minihost::kTitle].assign(20000, L't'); // 40 000 bytes: two 0x7400 pages
    record.data.custom.emplace_back(L"key", L"");
    record.data.custom.emplace_back(L"key", L"again");
    std::string section;
    ASSERT_EQ(buildSummary(real.record, record.data, real.form, section), Acad::eOk);
    struct Case {
        int pages;
        bool compressed;
    } cases[] = {{1, false}, {3, false}, {2, true}, {3, true}, {0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pages << " pages, compressed " << c.compressed);
        BinaryDrawing d;
        ASSERT_EQ(readMemory(dwg_test::madeDrawing(base, section, c.pages, c.compressed), d),
                  Acad::eOk);
        if (c.pages == 0) { // no summary section: empty properties
            EXPECT_EQ(d.record.data.builtIn[minihost::kLastSavedBy], L"");
            EXPECT_TRUE(d.record.data.custom.empty());
            continue;
        }
        EXPECT_EQ(d.container.summary.data, section);
        EXPECT_EQ(d.record.data.builtIn[minihost::kTitle], record.data.builtIn[minihost::kTitle]);
        EXPECT_EQ(d.record.data.custom, record.data.custom);
        // A save refuses every shape but one uncompressed page, and this section is too large
        // for one page anyway.
        Edit edit;
        NewSections sections;
        sections.summary = section;
        EXPECT_EQ(planEdit(d, 0, sections, edit),
                  c.pages == 1 && !c.compressed ? Acad::eInvalidInput : Acad::eNotImplementedYet);
    }
}

TEST(DwgRead, ASectionMapWhoseCountsContradictItsContentIsCorrupt) {
    const std::string base = readFile(dwg_test::sharedBinaryDrawings() / "r2018_plain.dwg");
    BinaryDrawing real;
    ASSERT_EQ(readMemory(base, real), Acad::eOk);
    struct Case {
        const char* what;
        std::size_t at; // in the section map; the summary's descriptor starts at 20
        std::uint32_t value;
    } cases[] = {
        {"no sections", 0, 0},          {"too many sections", 0, 100000},
        {"second count", 16, 2},        {"no page size", 8, 0},
        {"summary page size 0", 32, 0}, {"summary page smaller than its data", 32, 0x40},
    };
    for (const Case& c : cases) {
        std::string made =
            dwg_test::madeDrawing(base, real.container.summary.data, 1, false,
                                  [&](std::string& map) { put32(bytes(map) + c.at, c.value); });
        BinaryDrawing d;
        EXPECT_EQ(readMemory(made, d), Acad::eDwgCorrupt) << c.what;
    }
}

// Texts that another program wrote with escapes read as the characters.
TEST(DwgRead, AnAC1018TextHoldingAnEscapeReadsAsTheCharacter) {
    const std::string base = readFile(dwg_test::sharedBinaryDrawings() / "r2004_summary.dwg");
    BinaryDrawing real;
    ASSERT_EQ(readMemory(base, real), Acad::eOk);
    minihost::SummaryData data = real.record.data;
    data.builtIn[minihost::kTitle] = L"A#U+4E2DB"; // '#' becomes the backslash our writer escapes
    std::string section;
    ASSERT_EQ(buildSummary(real.record, data, real.form, section), Acad::eOk);
    section[section.find("A#U+4E2DB") + 1] = '\\';
    BinaryDrawing d;
    ASSERT_EQ(readMemory(dwg_test::madeDrawing(base, section, 1, false), d), Acad::eOk);
    EXPECT_EQ(d.record.data.builtIn[minihost::kTitle], L"A\x4E2D"
                                                       L"B");
}

TEST(DwgLz77, LiteralStreamsDecodeToTheirData) {
    std::string data;
    for (int i = 0; i < 5000; ++i)
        data += static_cast<char>((i * 7919) >> 3);
    for (std::size_t n : {0, 4, 5, 17, 18, 19, 20, 272, 273, 274, 275, 528, 529, 600, 5000}) {
        std::string stream = literalStream(bytes(data), n);
        EXPECT_EQ(stream.size(), literalStreamLength(n)) << n;
        std::string out;
        ASSERT_TRUE(decompress(bytes(stream), stream.size(), n, out)) << n;
        EXPECT_EQ(out, data.substr(0, n)) << n;
        EXPECT_FALSE(n > 0 && decompress(bytes(stream), stream.size(), n - 1, out)) << n;
        EXPECT_FALSE(decompress(bytes(stream), stream.size() - 3, n, out)) << n;
    }
}

TEST(DwgLz77, PaddedStreamsDecodeToTheirDataAndZerosToTheEnd) {
    std::string data;
    for (int i = 0; i < 0x7400; ++i)
        data += static_cast<char>(1 + (i * 7919) % 251);
    struct Case {
        std::size_t n, padded;
    } cases[] = {{0, 0x7400},   {2, 0x7400},      {3, 6},          {3, 7},
                 {3, 0x7400},   {600, 633},       {600, 634},      {600, 635},
                 {600, 0x7400}, {0x73FC, 0x7400}, {0x7400, 0x7400}};
    for (const Case& c : cases) {
        std::string stream = paddedStream(bytes(data), c.n, c.padded);
        std::string expected = data.substr(0, c.n);
        expected.resize(c.padded, '\0');
        std::string out;
        ASSERT_TRUE(decompress(bytes(stream), stream.size(), c.padded, out)) << c.n;
        EXPECT_EQ(out, expected) << c.n << " in " << c.padded;
        if (c.padded >= c.n + 4 && c.n >= 3) {
            // The zeros take a byte per 255 of them, not one each.
            EXPECT_LT(stream.size(), c.n + 16 + c.padded / 255) << c.n;
        }
    }
}

TEST(DwgLz77, MatchesCopyFromTheOutputAndAreBounded) {
    // Literals "abcd", then 0x4C: count 3, distance ((b << 2) | 3) + 1, no literals after.
    std::uint8_t stream[] = {0x01, 'a', 'b', 'c', 'd', 0x4C, 0x00, 0x11, 0, 0};
    std::string out;
    ASSERT_TRUE(decompress(stream, sizeof stream, 100, out));
    EXPECT_EQ(out, "abcdabc");
    EXPECT_FALSE(decompress(stream, sizeof stream, 6, out)); // more than the limit
    stream[6] = 0x10;                                        // distance 0x44: before the start
    EXPECT_FALSE(decompress(stream, sizeof stream, 100, out));
    // 0xB8: count 10, distance 3, overlapping what it writes.
    std::uint8_t overlap[] = {0x01, 'a', 'b', 'c', 'd', 0xB8, 0x00, 0x11, 0, 0};
    ASSERT_TRUE(decompress(overlap, sizeof overlap, 100, out));
    EXPECT_EQ(out, "abcdbcdbcdbcdb");
}

TEST(DwgText, UnitsAndCodePagesDecode) {
    const std::uint8_t pair[] = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00}; // U+1F600, 'A'
    const std::uint8_t lone[] = {0x00, 0xDC, 0x41, 0x00, 0x3D, 0xD8}; // low, 'A', high
    EXPECT_EQ(decodeText(pair, 3, textForm("AC1032", 30)), std::wstring(L"\U0001F600A"));
    EXPECT_EQ(decodeText(lone, 3, textForm("AC1032", 30)), std::wstring(L"\xFFFD"
                                                                        L"A\xFFFD"));
    const std::uint8_t cp1251[] = {0xC0, 0xE1}; // А б
    EXPECT_EQ(decodeText(cp1251, 2, textForm("AC1018", 29)), std::wstring(L"\x0410\x0431"));
    const std::uint8_t cp936[] = {0xD6, 0xD0, 0x81}; // 中, a cut pair
    EXPECT_EQ(decodeText(cp936, 3, textForm("AC1018", 31)), std::wstring(L"\x4E2D\xFFFD"));
    const std::uint8_t cp1252[] = {0x80, 0x81}; // €, unmapped
    EXPECT_EQ(decodeText(cp1252, 2, textForm("AC1018", 99)), std::wstring(L"\x20AC\xFFFD"));

    // Escapes in 8-bit text only; an escaped lone surrogate reads as U+FFFD there too.
    const std::uint8_t escaped[] = "A\\U+4E2DB\\U+D800";
    EXPECT_EQ(decodeText(escaped, 16, textForm("AC1018", 30)), std::wstring(L"A\x4E2D"
                                                                            L"B\xFFFD"));
    const std::uint8_t wideEscape[] = {'\\', 0, 'U', 0, '+', 0, '4', 0, 'E', 0, '2', 0, 'D', 0};
    EXPECT_EQ(decodeText(wideEscape, 7, textForm("AC1032", 30)), std::wstring(L"\\U+4E2D"));

    std::string out;
    EXPECT_TRUE(encodeText(L"\x0410", textForm("AC1018", 29), out));
    EXPECT_EQ(out, "\xC0");
    EXPECT_TRUE(encodeText(L"\x4E2D\\U+", textForm("AC1018", 30), out));
    EXPECT_EQ(out, "\\U+4E2D\\U+005CU+");
    EXPECT_FALSE(encodeText(L"a\xD800", textForm("AC1018", 30), out));
    EXPECT_FALSE(encodeText(L"a", textForm("AC1018", 99), out)); // unknown page: not written
    EXPECT_TRUE(encodeText(L"\U0001F600", textForm("AC1024", 30), out));
    EXPECT_EQ(out, std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_FALSE(encodeText(L"a\xD800", textForm("AC1024", 30), out)); // would read as U+FFFD
}

} // namespace
