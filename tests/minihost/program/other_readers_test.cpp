// Drawings that setsumleaf saved, checked by independent programs from Debian: the DXF-to-PDF
// converter of the `librecad` package must draw each one as it drew the original, GDAL must
// list the same features, and ezdxf must read the values minihost reads. The drawings: every
// real one in ../shared/drawings, and ones made here for the versions and code pages the real
// ones lack. A missing program skips its test, except in CI.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sys/wait.h>

#include "tests/minihost/drawing/drawing_test_util.h"
#include "tests/support/chain_text.h"
#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::haveProgram;
using testing_support::readFile;
using testing_support::writeFile;

const fs::path kProgram = fs::path(SUMLEAF_BINARY_DIR) / "minihost";
// Inside and outside every code page, blanks at both ends, a caret and a line break.
const char* const kTitle = " Title \xC3\xA9 \xD0\x96 \xE8\xA1\xA8 \xF0\x9F\x98\x80 ";
const char* const kRemark = "  a^b\\nc  ";

int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string versionOf(const std::string& drawing) {
    std::size_t at = drawing.find("$ACADVER");
    return at == std::string::npos ? "" : drawing.substr(at, 24);
}

class OtherReaders : public ::testing::Test {
  protected:
    // Builds the drawings once: originals in orig/, the same saved by setsumleaf in work/.
    static void SetUpTestSuite() {
        dir = new testing_support::TempDir;
        fs::create_directories(*dir / "orig");
        if (!testing_support::haveSharedDrawings()) {
            failed = "the shared drawings are not beside the clone";
            return;
        }
        for (const auto& entry : fs::directory_iterator(testing_support::sharedDrawings()))
            if (entry.path().extension() == ".dxf")
                fs::copy_file(entry.path(), *dir / "orig" / entry.path().filename());
        const fs::path shared = testing_support::sharedDrawings();
        const std::string older = readFile(shared / "sample_2004.dxf");
        for (const char* page : {"ANSI_1251", "ANSI_932"})
            writeFile(*dir / "orig" / (std::string("made_") + page + ".dxf"),
                      drawing_test::replaceOnce(older, "ANSI_1252", page));
        writeFile(
            *dir / "orig" / "made_AC1024.dxf",
            drawing_test::replaceOnce(readFile(shared / "sample_2013.dxf"), "AC1027", "AC1024"));
        if (run("cd '" + (*dir / "orig").string() + "' && '" + kProgram.string() +
                "' -e '(drawing-new \"made_new.dxf\")' >/dev/null 2>&1") != 0 ||
            !fs::exists(*dir / "orig" / "made_new.dxf"))
            failed = "minihost did not make orig/made_new.dxf";
        fs::copy(*dir / "orig", *dir / "work");
        std::string script;
        for (const auto& entry : fs::directory_iterator(*dir / "orig")) {
            const std::string name = entry.path().filename().string();
            names.push_back(name);
            script += "(setsumleaf \"" + name + "\" T \"Title\" \"" + kTitle +
                      "\" \"Client\" \"  ACME  \" \"Remark\" \"" + kRemark + "\")\n";
        }
        std::sort(names.begin(), names.end());
        writeFile(*dir / "work" / "save.lsp", script);
        if (run("cd '" + (*dir / "work").string() + "' && '" + kProgram.string() +
                "' save.lsp >/dev/null 2>&1") != 0)
            failed += (failed.empty() ? "" : "; ") + std::string("minihost failed on save.lsp");
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
        names.clear();
        failed.clear();
    }
    // Every test works on what the suite's set-up made.
    void SetUp() override { ASSERT_TRUE(failed.empty()) << failed; }

    static fs::path orig(const std::string& name) { return *dir / "orig" / name; }
    static fs::path work(const std::string& name) { return *dir / "work" / name; }

    static testing_support::TempDir* dir;
    static std::vector<std::string> names;
    static std::string failed; // what went wrong in the suite's set-up, if anything
};

testing_support::TempDir* OtherReaders::dir = nullptr;
std::vector<std::string> OtherReaders::names;
std::string OtherReaders::failed;

TEST_F(OtherReaders, EveryDrawingIsSavedInItsOwnVersionWithABackup) {
    ASSERT_GE(names.size(), 8u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string before = readFile(orig(name));
        EXPECT_TRUE(readFile(fs::path(work(name)).replace_extension(".bak")) == before);
        const std::string after = readFile(work(name));
        EXPECT_EQ(versionOf(after), versionOf(before));
        minihost::DrawingFilePtr file;
        minihost::SummaryData summary;
        ASSERT_EQ(drawing_test::read(work(name), file, summary), Acad::eOk);
        EXPECT_EQ(testing_support::utf8(summary.builtIn[minihost::kTitle]), kTitle);
        ASSERT_EQ(summary.custom.size(), 2u);
        EXPECT_EQ(testing_support::utf8(summary.custom[0].second), "  ACME  ");
        EXPECT_TRUE(summary.custom[1].second == L"  a^b\nc  ");
    }
}

TEST_F(OtherReaders, EzdxfReadsWhatMinihostReads) {
    if (!drawing_test::haveIndependentReader())
        GTEST_SKIP() << "python3-ezdxf missing";
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        minihost::DrawingFilePtr file;
        minihost::SummaryData summary;
        ASSERT_EQ(drawing_test::read(work(name), file, summary), Acad::eOk);
        EXPECT_EQ(drawing_test::independentView(work(name)), drawing_test::ourView(summary));
    }
}

TEST_F(OtherReaders, RendererDrawsTheSavedDrawingAsTheOriginal) {
    if (!haveProgram("command -v librecad && command -v pdftoppm", "librecad poppler-utils"))
        GTEST_SKIP() << "librecad or pdftoppm missing";
    for (const char* side : {"orig", "work"}) {
        const fs::path folder = *dir / side;
        fs::create_directories(folder / "pdf");
        std::string files;
        for (const std::string& name : names)
            files += " '" + name + "'";
        // It waits forever on a file it cannot read, hence the timeout.
        ASSERT_EQ(run("cd '" + folder.string() +
                      "' && QT_QPA_PLATFORM=offscreen timeout 120 librecad dxf2pdf -a -t pdf" +
                      files + " >pdf/log 2>&1"),
                  0)
            << readFile(folder / "pdf" / "log");
        for (const std::string& name : names) {
            const std::string stem = fs::path(name).stem().string();
            ASSERT_EQ(run("cd '" + folder.string() + "/pdf' && pdftoppm -png -r 150 '" + stem +
                          ".pdf' '" + stem + "'"),
                      0)
                << side << " " << name;
        }
    }
    for (const std::string& name : names) {
        const std::string page = fs::path(name).stem().string() + "-1.png";
        const std::string before = readFile(*dir / "orig" / "pdf" / page);
        EXPECT_FALSE(before.empty()) << name;
        EXPECT_TRUE(readFile(*dir / "work" / "pdf" / page) == before) << name;
    }
}

TEST_F(OtherReaders, GdalListsTheSameFeatures) {
    if (!haveProgram("command -v ogrinfo", "gdal-bin"))
        GTEST_SKIP() << "ogrinfo missing";
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        std::string listing[2];
        for (int k = 0; k < 2; ++k) {
            const fs::path folder = *dir / (k == 0 ? "orig" : "work");
            EXPECT_EQ(run("cd '" + folder.string() + "' && ogrinfo -ro -al '" + name + "' >'" +
                          name + ".features' 2>&1"),
                      0);
            listing[k] = readFile(folder / (name + ".features"));
        }
        EXPECT_NE(listing[0].find("Feature Count"), std::string::npos) << listing[0];
        EXPECT_TRUE(listing[1] == listing[0]) << listing[1];
    }
}

} // namespace
