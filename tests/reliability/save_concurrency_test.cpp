// Concurrency: saves racing each other and other programs changing a drawing's file (or the
// link at its name) after it was read. A save that reports success is in the file; one that would
// overwrite a change made since its drawing was read fails and leaves the change as it is.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "host/host_api.h"
#include "minihost/drawing/file/file_faults.h"
#include "props/property_update.h"
#include "tests/reliability/shared_folder.h"
#include "tests/support/temp_dir.h"

using namespace shared_folder;
using testing_support::listing;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

// Two processes merge different keys into one closed drawing, each as fast as it can.
TEST(SaveConcurrency, EveryUpdateReportedSavedIsInTheFile) {
    testing_support::TempDir dir, results;
    const fs::path path = dir / "drawing.dwg";
    ASSERT_TRUE(makeDrawing(path, L"shared"));
    constexpr int kUpdates = 150;
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        if (writers[w] == 0) {
            std::ofstream saved(results / std::to_string(w));
            for (int i = 0; i < kUpdates; ++i) {
                const std::wstring key = (w ? L"B" : L"A") + std::to_wstring(i);
                if (merge(path, key, L"v"))
                    saved << i << '\n' << std::flush;
            }
            ::_exit(0);
        }
    }
    for (pid_t writer : writers) {
        int st;
        ASSERT_EQ(::waitpid(writer, &st, 0), writer);
        EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }

    int reported = 0;
    for (int w = 0; w < 2; ++w) {
        std::ifstream saved(results / std::to_string(w));
        for (int i; saved >> i; ++reported)
            EXPECT_EQ(customValue(path, (w ? L"B" : L"A") + std::to_wstring(i)), L"v")
                << "an update reported saved was lost";
    }
    EXPECT_GT(reported, kUpdates / 2);
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"drawing.bak", "drawing.dwg"}));
    std::printf("%d of %d updates reported saved, all in the file\n", reported, 2 * kUpdates);
}

// Rewrites the file at `path` in place with `bytes` and puts its modification time back, as
// a program that hides its change, or a file system with coarse times, would.
void rewriteKeepingTime(const fs::path& path, const std::string& bytes) {
    struct stat before;
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    writeFile(path, bytes);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct Change {
    const char* what;
    void (*apply)(const fs::path& path, const std::string& bytes);
    bool inPlace; // the file the drawing copies from was rewritten
};

const Change kChanges[] = {
    {"rewritten in place",
     [](const fs::path& path, const std::string& bytes) { writeFile(path, bytes); }, true},
    {"rewritten in place, same size and time", rewriteKeepingTime, true},
    {"replaced by a new file",
     [](const fs::path& path, const std::string& bytes) {
         writeFile(path.string() + ".new", bytes);
         fs::rename(path.string() + ".new", path);
     },
     false},
};

// A drawing open in the host whose file another program then changes: saving it fails with a
// clear status and leaves the other program's file as it is, with nothing beside it.
TEST(SaveConcurrency, AFileChangedSinceItWasReadIsNotOverwritten) {
    for (const Change& change : kChanges) {
        SCOPED_TRACE(change.what);
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg", other = dir / "other.dwg";
        ASSERT_TRUE(makeDrawing(path, L"ours"));
        ASSERT_TRUE(makeDrawing(other, change.apply == rewriteKeepingTime
                                           ? L"them"
                                           : L"theirs, and a longer title than ours"));
        const std::string theirs = readFile(other);
        fs::remove(other);
        const std::wstring wide = path.wstring();

        AcDbDatabase db(false, true);
        ASSERT_EQ(db.readDwgFile(wide.c_str()), Acad::eOk);
        ASSERT_EQ(ApplyPropertyPairs(&db, {{L"Title", L"changed here"}}, true), Acad::eOk);
        change.apply(path, theirs);
        EXPECT_EQ(db.saveAs(wide.c_str(), true, AcDb::kDHL_CURRENT), Acad::eFileSharingViolation);
        EXPECT_EQ(readFile(path), theirs);
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"drawing.dwg"});
        // Saving elsewhere still works, and is a whole drawing of our own.
        EXPECT_EQ(db.saveAs((dir / "copy.dwg").wstring().c_str(), false, AcDb::kDHL_CURRENT),
                  change.inPlace ? Acad::eFileSharingViolation : Acad::eOk)
            << "the part of the file a save copies was rewritten under it";
        // Nor does a copy saved in between make the drawing forget what its file was.
        EXPECT_EQ(db.saveAs(wide.c_str(), false, AcDb::kDHL_CURRENT), Acad::eFileSharingViolation);
        EXPECT_EQ(readFile(path), theirs);
    }
}

// A binary drawing at `path` and, in `theirs`, the same drawing as another program saved it
// with a changed LastSavedBy of the same length: the same size, other summary bytes.
void makeBinaryDrawings(const fs::path& path, std::string& theirs) {
    fs::copy_file(testing_support::sharedDrawings().parent_path() / "dwg" / "r2010_custom.dwg",
                  path);
    AcDbDatabase db(false, true);
    ASSERT_EQ(db.readDwgFile(path.wstring().c_str()), Acad::eOk);
    ASSERT_EQ(ApplyPropertyPairs(&db, {{L"LastSavedBy", L"PAOLON"}}, false), Acad::eOk);
    const fs::path other = path.string() + ".theirs";
    ASSERT_EQ(db.saveAs(other.wstring().c_str(), false, AcDb::kDHL_CURRENT), Acad::eOk);
    theirs = readFile(other);
    fs::remove(other);
    ASSERT_EQ(theirs.size(), fs::file_size(path));
}

// Where no time can tell (a change made between a save's checks and its copy, or within the
// file system's time resolution), the save still finds that what it copies around changed: the
// head of a DXF drawing, the maps and summary pages of a binary one.
TEST(SaveConcurrency, WhatASaveReliesOnRewrittenUnseenByTheTimesIsNotCopiedAround) {
    for (bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "DXF");
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg";
        std::string theirs;
        if (binary) {
            makeBinaryDrawings(path, theirs);
        } else {
            ASSERT_TRUE(makeDrawing(path, L"ours"));
            theirs = readFile(path).replace(readFile(path).find("ours"), 4, "them");
        }
        AcDbDatabase db(false, true);
        ASSERT_EQ(db.readDwgFile(path.wstring().c_str()), Acad::eOk);
        ASSERT_EQ(ApplyPropertyPairs(&db, {{L"Author", L"me"}}, false), Acad::eOk);
        minihost::clearFileFaults(); // the first read of the save is its check of the bytes
        minihost::beforeFileOp(minihost::FileOp::Read, 1,
                               [&] { rewriteKeepingTime(path, theirs); });
        EXPECT_EQ(db.saveAs(path.wstring().c_str(), true, AcDb::kDHL_CURRENT),
                  Acad::eFileSharingViolation);
        minihost::clearFileFaults();
        EXPECT_TRUE(readFile(path) == theirs);
        EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"drawing.dwg"});
    }
}

// setsumleaf on a closed drawing while another program switches its name between the drawing
// (a hard link) and a symbolic link to a file it wants destroyed, once or at every call of one
// kind, from each call of the read and the save on: that file is never written, and nothing
// is left beside the drawing.
TEST(SaveConcurrency, ALinkSwitchedInDuringSetsumleafIsNeverFollowed) {
    testing_support::TempDir dir;
    const fs::path name = dir / "a.dxf", drawing = dir / "store.dxf", victim = dir / "victim.txt";
    auto prepare = [&] {
        for (const std::string& entry : listing(dir.path()))
            fs::remove(dir / entry);
        ASSERT_TRUE(makeDrawing(drawing, L"ours"));
        fs::create_hard_link(drawing, name);
        writeFile(victim, "not a drawing");
    };
    auto toggle = [&] {
        const fs::path swap = dir / "swap";
        if (fs::is_symlink(name))
            fs::create_hard_link(drawing, swap);
        else
            fs::create_symlink(victim, swap);
        fs::rename(swap, name);
    };
    prepare();
    minihost::clearFileFaults();
    ASSERT_TRUE(merge(name, L"Key", L"v"));
    long calls[static_cast<int>(minihost::FileOp::kCount)];
    for (int op = 0; op < static_cast<int>(minihost::FileOp::kCount); ++op)
        calls[op] = minihost::fileOpCount(static_cast<minihost::FileOp>(op));
    const std::set<std::string> allowed = {"a.dxf", "a.bak", "store.dxf", "victim.txt"};
    int runs = 0;
    for (int op = 0; op < static_cast<int>(minihost::FileOp::kCount); ++op)
        for (long nth = 1; nth <= calls[op]; ++nth)
            for (bool everyCall : {false, true}) {
                SCOPED_TRACE(testing::Message()
                             << "op " << op << " call " << nth << " every " << everyCall);
                prepare();
                minihost::clearFileFaults();
                minihost::beforeFileOp(static_cast<minihost::FileOp>(op), nth, toggle, everyCall);
                merge(name, L"Key", L"v");
                minihost::clearFileFaults();
                ++runs;
                EXPECT_EQ(readFile(victim), "not a drawing");
                for (const std::string& entry : listing(dir.path()))
                    EXPECT_TRUE(allowed.count(entry)) << entry << " left behind";
            }
    EXPECT_GE(runs, 40);
}

} // namespace
