// Paths: which file a save writes when the path goes through symbolic links, holds bytes that
// are no UTF-8, or names a drawing that has other hard links.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "host/wcrt.h"
#include "minihost/runtime/path_text.h"
#include "shared_folder.h"
#include "tests/support/temp_dir.h"

using namespace shared_folder;
using testing_support::listing;
using testing_support::readFile;

namespace {

std::wstring text(const fs::path& path) {
    return minihost::pathText(path.string());
}

class SavePaths : public ::testing::Test {
  protected:
    testing_support::TempDir dir;
};

// The module saves to _wfullpath's absolute form of the path it read: both must be the file
// the system opens, whatever links the path passes through.
TEST_F(SavePaths, ADotDotAfterALinkedFolderSavesTheFileThatWasRead) {
    fs::create_directories(dir / "deep" / "sub");
    fs::create_directory_symlink(dir / "deep" / "sub", dir / "lnk");
    ASSERT_TRUE(makeDrawing(dir / "a.dxf", L"unrelated"));
    ASSERT_TRUE(makeDrawing(dir / "deep" / "a.dxf", L"target"));
    const std::string unrelated = readFile(dir / "a.dxf");

    const fs::path through = dir.path().string() + "/lnk/../a.dxf";
    wchar_t full[261] = {};
    ASSERT_NE(_wfullpath(full, text(through).c_str(), 260), nullptr);
    EXPECT_EQ(std::wstring(full), text(dir / "deep" / "a.dxf"));
    ASSERT_TRUE(merge(through, L"Key", L"set"));
    EXPECT_EQ(customValue(dir / "deep" / "a.dxf", L"Key"), L"set");
    EXPECT_EQ(readFile(dir / "a.dxf"), unrelated);
}

TEST_F(SavePaths, ThroughALinkTheTargetIsSavedAndTheLinkKept) {
    fs::create_directory(dir / "real");
    ASSERT_TRUE(makeDrawing(dir / "real" / "drawing.dwg", L"old"));
    fs::create_symlink("real/drawing.dwg", dir / "link.dwg");
    ASSERT_TRUE(merge(dir / "link.dwg", L"Key", L"set"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.dwg"));
    EXPECT_EQ(customValue(dir / "real" / "drawing.dwg", L"Key"), L"set");
    EXPECT_EQ(titleOf(dir / "real" / "drawing.bak"), L"old") << "the backup goes by the target";
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"link.dwg", "real"}));
}

TEST_F(SavePaths, BytesThatAreNoUtf8AddressTheirOwnFile) {
    // The same name but for one byte: Latin-1 e-acute, and the replacement character's UTF-8.
    const fs::path latin = dir.path().string() + "/caf\xe9.dwg";
    const fs::path replaced = dir.path().string() + "/caf\xef\xbf\xbd.dwg";
    ASSERT_TRUE(makeDrawing(replaced, L"unrelated"));
    ASSERT_TRUE(makeDrawing(latin, L"target"));
    ASSERT_TRUE(merge(text(latin), L"Key", L"set"));
    EXPECT_EQ(customValue(latin, L"Key"), L"set");
    EXPECT_EQ(customValue(replaced, L"Key"), L"<missing>");

    for (const std::string bytes : {"plain", "caf\xc3\xa9", "\xe9\xff\x80", "\xed\xb2\x80",
                                    "\xf0\x9f\x98", "\xc0\xaf", "a\xf4\x90\x80\x80z"}) {
        std::string back;
        EXPECT_TRUE(minihost::pathBytes(minihost::pathText(bytes), back));
        EXPECT_EQ(back, bytes);
    }
    std::string none;
    EXPECT_FALSE(minihost::pathBytes(std::wstring(1, static_cast<wchar_t>(0xD800)), none));
}

// A save puts a new file at the path: the drawing's other hard links keep the old drawing,
// and a backup that is one of them stays the old drawing without a second name left over.
TEST_F(SavePaths, OtherHardLinksKeepTheOldDrawing) {
    ASSERT_TRUE(makeDrawing(dir / "drawing.dwg", L"old"));
    fs::create_hard_link(dir / "drawing.dwg", dir / "other.dwg");
    fs::create_hard_link(dir / "drawing.dwg", dir / "drawing.bak");
    for (const wchar_t* value : {L"first", L"second"}) {
        ASSERT_TRUE(merge(dir / "drawing.dwg", L"Key", value));
        EXPECT_EQ(customValue(dir / "drawing.dwg", L"Key"), value);
        EXPECT_EQ(customValue(dir / "other.dwg", L"Key"), L"<missing>");
        EXPECT_EQ(listing(dir.path()),
                  (std::vector<std::string>{"drawing.bak", "drawing.dwg", "other.dwg"}));
    }
    EXPECT_EQ(customValue(dir / "drawing.bak", L"Key"), L"first");
    EXPECT_EQ(fs::hard_link_count(dir / "drawing.dwg"), 1u);
}

} // namespace
