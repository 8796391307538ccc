// The empty drawing a new database saves, embedded from minihost/drawing/dxf/new_drawing.dxf.
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>

#include "minihost/drawing/dxf/dxf_new_drawing.h"
#include "tests/minihost/drawing/drawing_test_util.h"
#include "tests/support/temp_dir.h"

namespace {

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

TEST(NewDrawing, EmbeddedBytesAreTheDrawingFile) {
    const std::string text = minihost::dxf::newDrawingText();
    EXPECT_EQ(text, testing_support::readFile(std::filesystem::path(SUMLEAF_SOURCE_DIR) /
                                              "minihost/drawing/dxf/new_drawing.dxf"));
    // The drawing every earlier build wrote for a new database, to the byte.
    EXPECT_EQ(text.size(), 5402u);
    EXPECT_EQ(fnv1a(text), 0xa8b6c6f9edf1825full);
}

TEST(NewDrawing, OpensInAnIndependentReader) {
    if (!drawing_test::haveIndependentReader())
        GTEST_SKIP() << "python3-ezdxf missing (apt-get install python3-ezdxf)";
    EXPECT_EQ(drawing_test::independentView(std::filesystem::path(SUMLEAF_SOURCE_DIR) /
                                            "minihost/drawing/dxf/new_drawing.dxf"),
              drawing_test::ourView(minihost::SummaryData()));
}

} // namespace
