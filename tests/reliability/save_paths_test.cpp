// Paths: which file a save writes when the path goes through symbolic links, holds bytes that
// are no UTF-8, names a drawing that has other hard links, leads elsewhere since the read, or
// is long; and saves on a file system without hard links.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>

#include "host/documents.h"
#include "host/database.h"
#include "host/wide_runtime.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/frame/documents.h"
#include "minihost/runtime/text/path_text.h"
#include "props/property_update.h"
#include "tests/reliability/shared_folder.h"
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

struct Swap {
    const char* what;
    // Changes the folder `dir` after the drawing `dir`/sub/a.dxf was opened.
    std::function<void(const fs::path& dir)> apply;
    Acad::ErrorStatus status; // of the save that follows
};

const Swap kSwaps[] = {
    {"the drawing replaced by a link to another file",
     [](const fs::path& dir) {
         fs::remove(dir / "sub" / "a.dxf");
         fs::create_symlink(dir / "victim.txt", dir / "sub" / "a.dxf");
     },
     Acad::eFileSharingViolation},
    {"the folder replaced by a link to another folder",
     [](const fs::path& dir) {
         fs::rename(dir / "sub", dir / "moved");
         fs::create_directory_symlink(dir / "elsewhere", dir / "sub");
     },
     Acad::eFileSharingViolation},
    {"the folder replaced by a new folder",
     [](const fs::path& dir) {
         fs::rename(dir / "sub", dir / "moved");
         fs::create_directory(dir / "sub");
     },
     Acad::eFileSharingViolation},
    {"nothing changed", [](const fs::path&) {}, Acad::eOk},
};

// An open drawing saved to its own path after another program put a link or a folder in the
// way: the save reaches only the file it read, or nothing. The other file stays as it was.
TEST_F(SavePaths, ALinkOrFolderSwappedInAfterTheReadIsNotWritten) {
    for (const Swap& swap : kSwaps) {
        SCOPED_TRACE(swap.what);
        testing_support::TempDir root;
        fs::create_directories(root / "sub");
        fs::create_directories(root / "elsewhere");
        ASSERT_TRUE(makeDrawing(root / "sub" / "a.dxf", L"ours"));
        ASSERT_TRUE(makeDrawing(root / "elsewhere" / "a.dxf", L"theirs"));
        testing_support::writeFile(root / "victim.txt", "not a drawing");
        const std::string theirs = readFile(root / "elsewhere" / "a.dxf");
        std::string error;
        AcApDocument* document = minihost::openDocument(text(root / "sub" / "a.dxf"), error);
        ASSERT_NE(document, nullptr) << error;
        swap.apply(root.path());
        EXPECT_EQ(document->database()->saveAs(document->fileName(), true), swap.status);
        minihost::closeAllDocuments();
        EXPECT_EQ(readFile(root / "victim.txt"), "not a drawing");
        EXPECT_EQ(readFile(root / "elsewhere" / "a.dxf"), theirs);
        EXPECT_EQ(listing(root / "elsewhere"), std::vector<std::string>{"a.dxf"});
    }
}

// A legal name too long for the hidden names of a save (83 three-byte characters, or 255
// bytes without an extension): saved over itself with a backup, and what a killed save left
// beside it removed by the next save.
TEST_F(SavePaths, ALongNameSavesAndItsLeftoversAreRecognised) {
    std::string cjk;
    for (int i = 0; i < 83; ++i)
        cjk += "\xe5\x9b\xb3";
    for (const std::string& name : {cjk + ".dxf", std::string(255, 'x')}) {
        SCOPED_TRACE(name.size());
        testing_support::TempDir folder;
        const fs::path path = folder / name;
        ASSERT_TRUE(makeDrawing(path, L"old"));
        auto save = [&](const wchar_t* value) { // the absolute path is past what the module takes
            AcDbDatabase db(false, true);
            return db.readDwgFile(text(path).c_str()) == Acad::eOk &&
                   ApplyPropertyPairs(&db, {{L"Key", value}}, false) == Acad::eOk &&
                   db.saveAs(text(path).c_str(), true) == Acad::eOk;
        };
        ASSERT_TRUE(save(L"first"));
        EXPECT_EQ(customValue(path, L"Key"), L"first");
        EXPECT_EQ(listing(folder.path()).size(), 2u) << "the drawing and its backup";
        // Killed once the new file and the old one both have hidden names.
        EXPECT_EQ(inChild([&] {
                      minihost::clearFileFaults();
                      minihost::failFileOp(minihost::FileOp::Rename, 1, minihost::kKillProcess);
                      save(L"second");
                      return 0;
                  }),
                  128 + SIGKILL);
        EXPECT_EQ(listing(folder.path()).size(), 4u);
        for (const std::string& left : listing(folder.path()))
            EXPECT_LE(left.size(), 255u);
        ASSERT_TRUE(save(L"third"));
        EXPECT_EQ(listing(folder.path()).size(), 2u);
    }
}

// A real FAT file system, which makes no hard links and no unnamed files: saves over a
// drawing and new drawings work and leave nothing beside them. Needs root, mkfs.vfat and a
// loop mount (the kernel's vfat) or else the FUSE driver fusefat; skipped where the machine has
// neither, also in CI.
TEST_F(SavePaths, OnAFatFileSystemSavesWorkWithoutHardLinks) {
    const fs::path image = dir / "fat.img", mount = dir / "mnt";
    fs::create_directory(mount);
    const std::string quoted = "'" + image.string() + "' '" + mount.string() + "'";
    const std::string make =
        "truncate -s 8M '" + image.string() + "' && mkfs.vfat '" + image.string() + "'";
    if (std::system((make + " >/dev/null 2>&1").c_str()) != 0 ||
        (std::system(("mount -o loop -t vfat " + quoted + " 2>/dev/null").c_str()) != 0 &&
         std::system(("fusefat -o rw+ " + quoted + " >/dev/null 2>&1").c_str()) != 0))
        GTEST_SKIP() << "no FAT file system can be mounted here (mkfs.vfat, vfat or fusefat)";
    struct Unmount {
        const fs::path& at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mount};
    ASSERT_TRUE(makeDrawing(mount / "a.dxf", L"old"));
    for (const wchar_t* value : {L"first", L"second"}) {
        ASSERT_TRUE(merge(mount / "a.dxf", L"Key", value));
        EXPECT_EQ(customValue(mount / "a.dxf", L"Key"), value);
        EXPECT_EQ(listing(mount), (std::vector<std::string>{"a.bak", "a.dxf"}));
    }
    EXPECT_EQ(customValue(mount / "a.bak", L"Key"), L"first");
}

} // namespace
