// The fixture of the save tests: a drawing copied into a temporary folder and loaded, with the
// file layer's faults cleared around each test.
#pragma once

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "minihost/drawing/drawing_file.h"
#include "minihost/drawing/file/file_faults.h"
#include "tests/minihost/drawing/drawing_test_util.h"
#include "tests/support/temp_dir.h"

namespace drawing_test {

using minihost::DrawingFilePtr;
using minihost::FileOp;
using minihost::SummaryData;
using testing_support::listing;
using testing_support::readFile;
using testing_support::sharedDrawings;
using testing_support::TempDir;
using testing_support::writeFile;

inline const char* const kPreviewSection = "  0\nSECTION\n  2\nTHUMBNAILIMAGE\n";

class DrawingSave : public ::testing::Test {
  protected:
    void SetUp() override { minihost::clearFileFaults(); }
    void TearDown() override { minihost::clearFileFaults(); }

    // A copy of a real or fixture drawing in the test's folder, loaded.
    void load(const fs::path& source, const std::string& name = "drawing.dwg") {
        path = dir / name;
        original = readFile(source);
        writeFile(path, original);
        ASSERT_EQ(read(path, file, summary), Acad::eOk);
    }

    SummaryData reread(const fs::path& at) {
        DrawingFilePtr again;
        SummaryData data;
        EXPECT_EQ(read(at, again, data), Acad::eOk);
        return data;
    }

    // The names of the header's variables in the order the file holds them.
    static std::vector<std::string> variables(const std::string& bytes) {
        std::vector<std::string> names;
        std::size_t at = 0, end = bytes.find("ENDSEC");
        while ((at = bytes.find("\n$", at)) != std::string::npos && at < end) {
            std::size_t stop = bytes.find_first_of("\r\n", at + 1);
            names.push_back(bytes.substr(at + 1, stop - at - 1));
            at = stop;
        }
        return names;
    }

    TempDir dir;
    fs::path path;
    std::string original;
    DrawingFilePtr file;
    SummaryData summary;
};

} // namespace drawing_test
