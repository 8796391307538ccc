// Reading drawings: the real ones as an independent reader sees them, and a status for
// anything else, however damaged.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <unistd.h>

#include "tests/minihost/drawing/drawing_test_util.h"
#include "minihost/drawing/file/file_faults.h"
#include "tests/support/temp_dir.h"

using namespace drawing_test;
using minihost::DrawingFilePtr;
using minihost::SummaryData;
using testing_support::readFile;
using testing_support::sharedDrawings;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const char* const kSamples[] = {"sample_2004.dxf", "sample_2007.dxf", "sample_2013.dxf",
                                "sample_2018.dxf"};

class DrawingRead : public ::testing::Test {
  protected:
    void SetUp() override { minihost::clearFileFaults(); }
    void TearDown() override { minihost::clearFileFaults(); }
    TempDir dir;
};

TEST_F(DrawingRead, RealDrawingsReadAsAnIndependentReaderSeesThem) {
    bool independent = haveIndependentReader();
    if (!independent)
        std::cerr << "python3-ezdxf missing: checking against the drawings' known content\n";
    for (const char* name : kSamples) {
        SCOPED_TRACE(name);
        DrawingFilePtr file;
        SummaryData summary;
        ASSERT_EQ(read(sharedDrawings() / name, file, summary), Acad::eOk);
        EXPECT_EQ(summary.builtIn[minihost::kLastSavedBy], L"drafter");
        EXPECT_EQ(summary.builtIn[minihost::kHyperlinkBase], L"");
        EXPECT_TRUE(summary.custom.empty());
        if (independent) {
            EXPECT_EQ(independentView(sharedDrawings() / name), ourView(summary));
        }
    }
}

TEST_F(DrawingRead, OlderDrawingsDecodeTheirCodePage) {
    std::string bytes = readFile(sharedDrawings() / "sample_2004.dxf");
    bytes = replaceOnce(bytes, "$LASTSAVEDBY\r\n  1\r\ndrafter\r\n",
                        "$LASTSAVEDBY\r\n  1\r\nJ\xe9r\xf4me \x80 \\U+4E2D\\U+D83D\\U+DE00^J\r\n");
    writeFile(dir / "old.dwg", bytes);
    DrawingFilePtr file;
    SummaryData summary;
    ASSERT_EQ(read(dir / "old.dwg", file, summary), Acad::eOk);
    EXPECT_TRUE(summary.builtIn[minihost::kLastSavedBy] ==
                L"J\u00e9r\u00f4me \u20ac \u4e2d\U0001F600\n");
}

TEST_F(DrawingRead, CustomPairsKeepOrderCaseAndDuplicates) {
    DrawingFilePtr file;
    SummaryData summary;
    ASSERT_EQ(read(fixture("preview.dxf"), file, summary), Acad::eOk);
    ASSERT_EQ(summary.custom.size(), 3u);
    EXPECT_EQ(summary.custom[0], std::make_pair(std::wstring(L"Client"), std::wstring(L"First")));
    EXPECT_EQ(summary.custom[1], std::make_pair(std::wstring(L"client"), std::wstring(L"Second")));
    EXPECT_EQ(summary.custom[2], std::make_pair(std::wstring(L"Client"), std::wstring(L"Third")));
    EXPECT_EQ(summary.builtIn[minihost::kTitle], L"Preview fixture");
}

TEST_F(DrawingRead, EachKindOfFailureHasItsStatus) {
    EXPECT_EQ(read(dir / "absent.dwg"), Acad::eFileNotFound);
    EXPECT_EQ(read(dir / "absent" / "a.dwg"), Acad::eFileNotFound);
    EXPECT_EQ(read(dir.path()), Acad::eFileAccessErr); // a folder
    writeFile(dir / "locked.dwg", readFile(fixture("preview.dxf")));
    minihost::failFileOp(minihost::FileOp::Open, 1, EACCES);
    EXPECT_EQ(read(dir / "locked.dwg"), Acad::eFileAccessErr);
    minihost::failFileOp(minihost::FileOp::Read, 1, EIO);
    EXPECT_EQ(read(dir / "locked.dwg"), Acad::eFileAccessErr);
    EXPECT_EQ(read(dir / "locked.dwg"), Acad::eOk);

    const std::string good = readFile(fixture("preview.dxf"));
    auto status = [&](const std::string& bytes) {
        writeFile(dir / "x.dwg", bytes);
        return read(dir / "x.dwg");
    };
    EXPECT_EQ(status(""), Acad::eNotADrawing);
    EXPECT_EQ(status("Hello, this is a letter.\nNot a drawing.\n"), Acad::eNotADrawing);
    EXPECT_EQ(status(std::string("\x89PNG\r\n\x1a\n\0\0\0", 11)), Acad::eNotADrawing);
    EXPECT_EQ(status("  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\nAC1032\n"), Acad::eDwgCorrupt);
    EXPECT_EQ(status(replaceOnce(good, "  9\n$TITLE", " x9\n$TITLE")), Acad::eDwgCorrupt);
    EXPECT_EQ(status(replaceOnce(good, "  0\nENDSEC", "  0\nLINE")), Acad::eDwgCorrupt);
    EXPECT_EQ(status(good.substr(0, good.size() / 2)), Acad::eDwgNeedsRecovery);
    EXPECT_EQ(status(replaceOnce(good, "  0\nEOF\n", "")), Acad::eDwgNeedsRecovery);
    EXPECT_EQ(status(replaceOnce(good, "AC1032", "AC1015")), Acad::eUnsupportedVersion);
    EXPECT_EQ(status(replaceOnce(good, "AC1032", "AC1009")), Acad::eUnsupportedVersion);
    EXPECT_EQ(status(replaceOnce(good, "$ACADVER", "$ACADVERX")), Acad::eUnsupportedVersion);
    EXPECT_EQ(status("  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n"),
              Acad::eUnsupportedVersion);
    EXPECT_EQ(status(std::string("CADPROG Binary DXF\r\n\x1a\0", 22) + "rest"),
              Acad::eUnsupportedFileFormat);
    // Accepted variations: a byte order mark, blank lines after EOF.
    EXPECT_EQ(status("\xEF\xBB\xBF" + good), Acad::eOk);
    EXPECT_EQ(status(good + "\n\n"), Acad::eOk);
}

TEST_F(DrawingRead, CutAtEveryOffsetIsRecognisedAsTruncated) {
    const std::string good = readFile(fixture("preview.dxf"));
    const std::string lastLine = "EOF\n";
    const fs::path path = dir / "cut.dxf";
    writeFile(path, good);
    for (std::size_t size = good.size(); size-- > 0;) {
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(size)), 0);
        Acad::ErrorStatus status = read(path);
        if (size >= good.size() - 1) // only the final line end is missing
            EXPECT_EQ(status, Acad::eOk) << size;
        else if (size == 0)
            EXPECT_EQ(status, Acad::eNotADrawing);
        else
            EXPECT_EQ(status, Acad::eDwgNeedsRecovery) << "cut at " << size;
    }
}

TEST_F(DrawingRead, RandomDamageGivesAStatusAndWhatLoadsStillSaves) {
    const std::string good = readFile(fixture("preview.dxf"));
    std::mt19937 random(20240601);
    int loaded = 0;
    for (int round = 0; round < 1500; ++round) {
        std::string bytes = good;
        int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            std::size_t at = random() % bytes.size();
            switch (random() % 4) {
            case 0:
                bytes[at] = static_cast<char>(random());
                break;
            case 1:
                bytes.insert(at, 1, "\n\r 0^\\"[random() % 6]);
                break;
            case 2:
                bytes.erase(at, 1 + random() % 40);
                break;
            default:
                bytes.insert(at, bytes.substr(random() % bytes.size(), random() % 64));
            }
            if (bytes.empty())
                bytes = "0";
        }
        writeFile(dir / "damaged.dxf", bytes);
        DrawingFilePtr file;
        SummaryData summary;
        Acad::ErrorStatus status = read(dir / "damaged.dxf", file, summary);
        if (status != Acad::eOk)
            continue;
        ++loaded;
        summary.builtIn[minihost::kTitle] += L"!";
        if (save(file.get(), summary, dir / "resaved.dxf") == Acad::eOk) {
            SummaryData again;
            DrawingFilePtr reread;
            ASSERT_EQ(read(dir / "resaved.dxf", reread, again), Acad::eOk);
            EXPECT_EQ(again.builtIn[minihost::kTitle], summary.builtIn[minihost::kTitle]);
        }
    }
    EXPECT_GT(loaded, 0); // damage to the middle of the drawing is not noticed, by design
}

TEST_F(DrawingRead, HugeLinesAndHeadersAreRefusedWithinBoundedMemory) {
    const fs::path path = dir / "huge.dxf";
    { // 64 MiB without a single line end
        int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 64 << 20), 0);
        ::close(fd);
    }
    EXPECT_EQ(read(path), Acad::eNotADrawing);
    std::string header =
        "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1032\n  9\n$TITLE\n  1\n";
    writeFile(path, header + std::string(20 << 20, 'a') + "\n  0\nENDSEC\n  0\nEOF\n");
    EXPECT_EQ(read(path), Acad::eDwgCorrupt);
}

} // namespace
