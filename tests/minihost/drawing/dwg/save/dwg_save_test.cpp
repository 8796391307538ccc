// Saving binary drawings: the three ways an edit takes on every shared drawing, in rounds
// (longer, shorter, longer again), checked by our reader, by the independent one, and byte for
// byte against the file before; and what a save refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "tests/support/chain_text.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace minihost::dwg;
using minihost::SummaryData;
using testing_support::listing;
using testing_support::readFile;
using testing_support::writeFile;

// Everything of `before` that the edit had no reason to touch is in `after` unchanged: the
// prefix but for the summary address, the header's constant tail, and every page other than
// the summary page and the two maps, at its old place.
void expectUntouchedKept(const std::string& before, const std::string& after) {
    BinaryDrawing old, now;
    ASSERT_EQ(dwg_test::readMemory(before, old), Acad::eOk);
    ASSERT_EQ(dwg_test::readMemory(after, now), Acad::eOk);
    EXPECT_EQ(after.substr(0, 0x20), before.substr(0, 0x20));
    EXPECT_EQ(get32(bytes(after) + 0x20), now.container.summary.pages[0].address + kPageHeaderSize);
    EXPECT_EQ(after.substr(0x24, 0x5C), before.substr(0x24, 0x5C));
    EXPECT_EQ(after.substr(0xEC, 0x14), before.substr(0xEC, 0x14));
    const Container& c = old.container;
    for (const MapEntry& e : c.map) {
        if (e.number < 0 ||
            e.number == static_cast<std::int32_t>(get32(c.header + kPageMapNumber)) ||
            e.number == static_cast<std::int32_t>(get32(c.header + kSectionMapNumber)) ||
            e.number == c.summary.pages[0].number)
            continue;
        bool found = false;
        for (const MapEntry& n : now.container.map)
            found = found || (n.number == e.number && n.address == e.address && n.size == e.size);
        ASSERT_TRUE(found) << "page " << e.number << " moved or went";
        std::size_t end = std::min<std::size_t>(e.address + e.size, before.size());
        ASSERT_LE(end, after.size());
        EXPECT_TRUE(after.compare(e.address, end - e.address, before, e.address, end - e.address) ==
                    0)
            << "page " << e.number << " changed";
    }
}

// The plain file header of a drawing.
std::string headerOf(const std::string& drawing) {
    std::string header = drawing.substr(kPrefixSize, kFileHeaderSize);
    maskFileHeader(bytes(header));
    return header;
}

class DwgSave : public ::testing::Test {
  protected:
    // Reads `path`, applies `change` to its properties and saves it over itself.
    Acad::ErrorStatus edit(const fs::path& path, const std::function<void(SummaryData&)>& change,
                           SummaryData& wrote) {
        minihost::DrawingFilePtr file;
        EXPECT_EQ(minihost::readDrawingFile(path.wstring().c_str(), file, wrote), Acad::eOk);
        change(wrote);
        return minihost::saveDrawingFile(file.get(), wrote, path.wstring().c_str(),
                                         minihost::SaveOptions());
    }

    void expectReads(const fs::path& path, const SummaryData& expected,
                     const std::string& version) {
        BinaryDrawing back;
        ASSERT_EQ(dwg_test::readMemory(readFile(path), back), Acad::eOk);
        EXPECT_EQ(back.version, version);
        for (int i = 0; i < minihost::kBuiltInCount; ++i)
            EXPECT_EQ(back.record.data.builtIn[i], expected.builtIn[i]) << i;
        EXPECT_EQ(back.record.data.custom, expected.custom);
    }

    testing_support::TempDir dir;
};

// What a round of the chain below must leave of the file `before` it in the file `after` it.
void expectRoundLayout(std::size_t round, bool last, const std::string& before,
                       const std::string& after) {
    BinaryDrawing old;
    ASSERT_EQ(dwg_test::readMemory(before, old), Acad::eOk);
    if (round == 0) { // only the summary page and its address at 0x20 may differ
        const SectionPage& page = old.container.summary.pages[0];
        ASSERT_EQ(after.size(), before.size());
        for (std::size_t i = 0; i < before.size(); ++i) {
            bool inPage = i >= page.address && i < page.address + kPageHeaderSize + page.dataSize;
            if (!inPage && (i < 0x20 || i >= 0x24)) {
                ASSERT_EQ(after[i], before[i]) << "byte " << i;
            }
        }
    }
    if (round == 2) { // the old summary page is a gap now, and holds none of its texts
        EXPECT_EQ(after.find(old.container.summary.data), std::string::npos);
    }
    if (last) { // the pages at the end were reused
        EXPECT_EQ(get32(bytes(headerOf(after)) + kGapCount),
                  get32(bytes(headerOf(before)) + kGapCount));
    }
}

TEST_F(DwgSave, EveryDrawingSavesEachWayKeepingItsVersionAndEverythingElse) {
    const std::function<void(SummaryData&)> rounds[] = {
        [](SummaryData& s) { // the same size: LastSavedBy replaced by as many letters
            s.builtIn[minihost::kLastSavedBy].assign(s.builtIn[minihost::kLastSavedBy].size(),
                                                     L'x');
        },
        [](SummaryData& s) { // a little longer: still within the page
            s.builtIn[minihost::kKeywords] += L"; more";
        },
        [](SummaryData& s) { // longer than any page: seven 200-character texts, 50 pairs
            for (int i = 0; i < minihost::kBuiltInCount; ++i)
                if (i != minihost::kHyperlinkBase)
                    s.builtIn[i] = std::wstring(200, static_cast<wchar_t>(L'a' + i));
            for (int i = 0; i < 50; ++i)
                s.custom.emplace_back(L"key" + std::to_wstring(i), L"value " + std::to_wstring(i));
        },
        [](SummaryData& s) { // shorter
            s.builtIn[minihost::kTitle] = L"short";
            s.custom.resize(1);
        },
        [](SummaryData& s) { // longer again, by a little
            s.builtIn[minihost::kSubject] += L" and a little more";
        },
        [](SummaryData& s) { // longer than the page again: it and the maps end the page area
            s.custom.resize(100, {L"more", std::wstring(50, L'm')});
        },
    };
    const bool independent = dwg_test::haveIndependentCheck();
    for (const auto& e : dwg_test::expectedDrawings()) {
        if (!e.hasSummary)
            continue;
        SCOPED_TRACE(e.name);
        const fs::path path = dir / e.name;
        const std::string original = readFile(e.path);
        writeFile(path, original);
        const nlohmann::json first = dwg_test::independentCheck(path);
        for (std::size_t round = 0; round < std::size(rounds); ++round) {
            SCOPED_TRACE(round);
            const std::string before = readFile(path);
            SummaryData wrote;
            ASSERT_EQ(edit(path, rounds[round], wrote), Acad::eOk);
            const std::string after = readFile(path);
            expectReads(path, wrote, e.version);
            expectUntouchedKept(before, after);
            expectRoundLayout(round, round + 1 == std::size(rounds), before, after);
            if (!independent)
                continue;
            const nlohmann::json check = dwg_test::independentCheck(path);
            ASSERT_TRUE(check.is_object());
            EXPECT_EQ(check["errors"], 0) << check.dump();
            EXPECT_EQ(check["summary"], "ok") << check.dump();
            EXPECT_EQ(check["version"], e.version);
            EXPECT_EQ(check["title"], testing_support::utf8(wrote.builtIn[minihost::kTitle]));
            EXPECT_EQ(check["custom"].size(), wrote.custom.size());
            EXPECT_LE(check["object_errors"].get<int>(), first["object_errors"].get<int>());
        }
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{e.name}) << "files left behind";
        fs::remove(path);
    }
}

// HyperlinkBase values of every length class, each set on the previous one's output: its BS
// count in one byte, the same length, two bytes, exactly 256, and empty; wide drawings also
// take a string stream long enough for the two-word footer.
std::vector<std::wstring> hyperlinkBases(bool wide) {
    std::vector<std::wstring> values = {L"https://example.org/projects/site/",
                                        L"https://ex.org/",
                                        L"https://xy.org/",
                                        std::wstring(L"https://example.org/") +
                                            std::wstring(280, wide ? L'\x4E2D' : L'\xE9'),
                                        std::wstring(wide ? 256 : 255, L'h'),
                                        L""};
    if (wide)
        values.insert(values.end() - 1, std::wstring(2100, L'\x03A9'));
    return values;
}

TEST_F(DwgSave, HyperlinkBaseIsWrittenToBothCopiesLeavingEveryOtherHeaderVariable) {
    const bool independent = dwg_test::haveIndependentCheck();
    for (const auto& e : dwg_test::expectedDrawings()) {
        if (!e.hasSummary)
            continue;
        SCOPED_TRACE(e.name);
        const fs::path path = dir / e.name;
        writeFile(path, readFile(e.path));
        const nlohmann::json first = dwg_test::independentCheck(path);
        for (const std::wstring& value : hyperlinkBases(e.version != "AC1018")) {
            SCOPED_TRACE(value.size());
            SummaryData wrote;
            ASSERT_EQ(edit(
                          path,
                          [&](SummaryData& s) { s.builtIn[minihost::kHyperlinkBase] = value; },
                          wrote),
                      Acad::eOk);
            expectReads(path, wrote, e.version);
            EXPECT_EQ(dwg_test::headerHyperlinkBase(readFile(path)), value);
            if (!independent)
                continue;
            const nlohmann::json check = dwg_test::independentCheck(path);
            const std::string text = testing_support::utf8(value);
            EXPECT_EQ(check["errors"], 0) << check.dump();
            EXPECT_EQ(check["hyperlinkbase"], text);
            EXPECT_EQ(check["header_hyperlinkbase"], text);
            EXPECT_EQ(check["header_digest"], first["header_digest"]);
            EXPECT_LE(check["object_errors"].get<int>(), first["object_errors"].get<int>());
        }
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{e.name}) << "files left behind";
        fs::remove(path);
    }
}

// Another program wrote only the header's copy: the summary's is what reads, and a save that
// leaves HyperlinkBase alone leaves the header section's bytes alone.
TEST_F(DwgSave, CopiesThatDisagreeReadAsTheSummaryAndStayAsTheyAre) {
    const fs::path path = dir / "r2018_plain.dwg";
    const std::string original = readFile(dwg_test::sharedBinaryDrawings() / path.filename());
    std::string header, theirs;
    HeaderContext context;
    ASSERT_TRUE(dwg_test::headerSection(original, header, context));
    ASSERT_EQ(rewriteHeaderHyperlinkBase(header, context, L"https://theirs.example/", theirs),
              Acad::eOk);
    writeFile(path, dwg_test::withHeaderSection(original, theirs));
    SummaryData wrote;
    ASSERT_EQ(edit(
                  path,
                  [](SummaryData& s) {
                      EXPECT_EQ(s.builtIn[minihost::kHyperlinkBase], L"");
                      s.builtIn[minihost::kTitle] = std::wstring(300, L't'); // a moved summary
                  },
                  wrote),
              Acad::eOk);
    expectReads(path, wrote, "AC1032");
    EXPECT_EQ(dwg_test::headerHyperlinkBase(readFile(path)), L"https://theirs.example/");
}

TEST_F(DwgSave, ADrawingWithoutASummarySectionGetsOne) {
    const bool independent = dwg_test::haveIndependentCheck();
    for (const char* name : {"r2004_plain.dwg", "r2010_custom.dwg", "r2018_plain.dwg"}) {
        SCOPED_TRACE(name);
        const fs::path path = dir / name;
        const fs::path original = dwg_test::sharedBinaryDrawings() / name;
        const std::string bare = dwg_test::withoutSummary(readFile(original));
        ASSERT_FALSE(bare.empty());
        writeFile(path, bare);
        SummaryData wrote;
        ASSERT_EQ(edit(
                      path,
                      [](SummaryData& s) {
                          EXPECT_EQ(s.builtIn[minihost::kLastSavedBy], L""); // none to read
                          s.builtIn[minihost::kTitle] = L"Title";
                          s.custom.emplace_back(L"key", L"value");
                      },
                      wrote),
                  Acad::eOk);
        expectReads(path, wrote, readFile(original).substr(0, 6));
        if (!independent)
            continue;
        const nlohmann::json check = dwg_test::independentCheck(path);
        EXPECT_EQ(check["errors"], 0) << check.dump();
        EXPECT_EQ(check["summary"], "ok") << check.dump();
        EXPECT_EQ(check["title"], "Title");
        EXPECT_LE(check["object_errors"].get<int>(),
                  dwg_test::independentCheck(original)["object_errors"].get<int>());
    }
}

// `drawing` (AC1024 or later) with one more byte in its header section's data, its size and CRC
// written to match: only a walk of every variable can tell.
std::string withExtraHeaderByte(const std::string& drawing) {
    std::string s;
    HeaderContext context;
    EXPECT_TRUE(dwg_test::headerSection(drawing, s, context));
    const std::uint32_t size = get32(bytes(s) + 0x10);
    s.insert(0x18 + size, 1, '\0');
    put32(bytes(s) + 0x10, size + 1);
    put16(bytes(s) + 0x18 + size + 1, headerCrc(bytes(s) + 0x10, size + 9));
    return dwg_test::withHeaderSection(drawing, s);
}

TEST_F(DwgSave, RefusalsWriteNothing) {
    const fs::path path = dir / "r2010_custom.dwg";
    const std::string original = readFile(dwg_test::sharedBinaryDrawings() / path.filename());
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage; // of the file before it is read
        std::function<void(SummaryData&)> change;
        Acad::ErrorStatus status;
    } cases[] = {
        {"HyperlinkBase where the header section holds more than its variables",
         [](std::string& f) { f = withExtraHeaderByte(f); },
         [](SummaryData& s) { s.builtIn[minihost::kHyperlinkBase] = L"http://example.org"; },
         Acad::eDwgCorrupt},
        {"a drawing with security flags", [](std::string& f) { f[0x18] = 1; },
         [](SummaryData& s) { s.builtIn[minihost::kTitle] = L"t"; }, Acad::eNotSupportedInDwgApi},
        {"a summary larger than one page holds for other readers (0x7400 bytes)",
         [](std::string&) {},
         [](SummaryData& s) {
             s.custom.resize(300, {L"k", std::wstring(100, L'v')});
         },
         Acad::eInvalidInput},
        {"a text longer than its count can say", [](std::string&) {},
         [](SummaryData& s) { s.builtIn[minihost::kTitle].assign(70000, L'x'); },
         Acad::eInvalidInput},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bytes = original;
        c.damage(bytes);
        writeFile(path, bytes);
        SummaryData wrote;
        EXPECT_EQ(edit(path, c.change, wrote), c.status);
        EXPECT_TRUE(readFile(path) == bytes);
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{path.filename().string()});
    }
}

// A 1252 drawing takes any character: what the code page lacks is stored as \U+XXXX escapes,
// which both readers read as the character (the independent one within the BMP only).
TEST_F(DwgSave, CharactersTheCodePageLacksAreWrittenAsEscapes) {
    const fs::path path = dir / "r2004_summary.dwg";
    writeFile(path, readFile(dwg_test::sharedBinaryDrawings() / path.filename()));
    const struct {
        std::wstring title;
        const char* stored;
        bool bmp;
    } cases[] = {
        {L"\u4E2D", "\\U+4E2D", true},
        {L"\u03A9", "\\U+03A9", true},
        {L"\U0001F600", "\\U+D83D\\U+DE00", false},
        {L"\u4E2D\u03A9 caf\u00E9 \\U+0041 \U0001F600",
         "\\U+4E2D\\U+03A9 caf\xE9 \\U+005CU+0041 \\U+D83D\\U+DE00", false},
        {L"\u4E2D\u03A9", "\\U+4E2D\\U+03A9", true},
    };
    const bool independent = dwg_test::haveIndependentCheck();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing_support::utf8(c.title));
        SummaryData wrote;
        ASSERT_EQ(edit(
                      path,
                      [&](SummaryData& s) {
                          s.builtIn[minihost::kTitle] = c.title;
                          s.builtIn[minihost::kHyperlinkBase] = c.title; // and the header's copy
                      },
                      wrote),
                  Acad::eOk);
        expectReads(path, wrote, "AC1018");
        EXPECT_NE(readFile(path).find(std::string(c.stored) + '\0'), std::string::npos);
        EXPECT_EQ(dwg_test::headerHyperlinkBase(readFile(path)), c.title);
        if (!c.bmp || !independent)
            continue;
        const nlohmann::json check = dwg_test::independentCheck(path);
        ASSERT_TRUE(check.is_object());
        EXPECT_EQ(check["errors"], 0) << check.dump();
        EXPECT_EQ(check["title"], testing_support::utf8(c.title));
        EXPECT_EQ(check["hyperlinkbase"], testing_support::utf8(c.title));
        EXPECT_EQ(check["header_hyperlinkbase"], testing_support::utf8(c.title));
    }
}

TEST_F(DwgSave, EightBitTextIsWrittenInTheDrawingsCodePage) {
    const fs::path path = dir / "r2004_summary.dwg";
    std::string bytes = readFile(dwg_test::sharedBinaryDrawings() / path.filename());
    bytes[0x13] = 29; // the code-page index (outside every check value): 1251, Cyrillic
    writeFile(path, bytes);
    SummaryData wrote;
    ASSERT_EQ(
        edit(
            path, [](SummaryData& s) { s.builtIn[minihost::kTitle] = L"\x0410\x0431"; }, wrote),
        Acad::eOk);
    expectReads(path, wrote, "AC1018");
    EXPECT_NE(readFile(path).find("\x03\x00\xC0\xE1\x00", 0, 5), std::string::npos);
    bytes = readFile(path);
    bytes[0x13] = 99; // an index that names no code page: read as 1252, never written
    writeFile(path, bytes);
    EXPECT_EQ(edit(
                  path, [](SummaryData& s) { s.builtIn[minihost::kTitle] = L"t"; }, wrote),
              Acad::eNotImplementedYet);
    EXPECT_TRUE(readFile(path) == bytes);
}

} // namespace
