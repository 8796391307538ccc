// A save failing at any step of the file layer and the replace step (every system call, every
// allocation, a file system without unnamed files or kernel copies): the path keeps its drawing
// or holds the new one, and no temporary file is left.
#include <algorithm>
#include <gtest/gtest.h>
#include <new>

#include "tests/minihost/drawing/drawing_save_fixture.h"
#include "tests/reliability/alloc_fault.h"

using namespace drawing_test;

namespace {

class SaveFaults : public DrawingSave {};

// Every system call of a save, failed in turn: the path keeps its drawing, no temporary
// file is left, and the status says so.
TEST_F(SaveFaults, FailureAtAnyStepLeavesTheFileIntact) {
    for (bool keepBackup : {false, true}) {
        load(fixture("preview.dxf"));
        SummaryData changed = summary;
        changed.builtIn[minihost::kTitle] = L"changed";
        // Count the calls of a save that succeeds, over the file it was read from.
        minihost::clearFileFaults();
        ASSERT_EQ(save(file.get(), changed, path, keepBackup), Acad::eOk);
        const std::string saved = readFile(path);
        long calls[static_cast<int>(FileOp::kCount)];
        for (int op = 0; op < static_cast<int>(FileOp::kCount); ++op)
            calls[op] = minihost::fileOpCount(static_cast<FileOp>(op));
        writeFile(dir / "new.dwg", original);
        fs::rename(dir / "new.dwg", path);
        fs::remove(dir / "drawing.bak");
        ASSERT_EQ(read(path, file, summary), Acad::eOk);

        int injected = 0;
        for (int op = 0; op < static_cast<int>(FileOp::kCount); ++op) {
            for (long nth = 1; nth <= calls[op]; ++nth) {
                SCOPED_TRACE(testing::Message()
                             << "op " << op << " call " << nth << " backup " << keepBackup);
                minihost::clearFileFaults();
                minihost::failFileOp(static_cast<FileOp>(op), nth, EIO);
                EXPECT_NE(save(file.get(), changed, path, keepBackup), Acad::eOk);
                minihost::clearFileFaults();
                EXPECT_EQ(readFile(path), original);
                for (const std::string& name : listing(dir.path()))
                    EXPECT_TRUE(name == "drawing.dwg" || (keepBackup && name == "drawing.bak"))
                        << name;
                ++injected;
            }
        }
        // Resolving the path, opening the folder, the file and the unnamed file, locking both,
        // the identity checks (the read's folder among them), the folder's flags, reading the
        // head again, writing and copying, owner, mode and attributes, fsync, linking in,
        // renaming, the folder's fsync, looking at the new file in place, and the backup or the
        // unlink of the old name.
        EXPECT_EQ(injected, keepBackup ? 30 : 29);
        // A short write or copy is no failure: the save completes the transfer.
        minihost::failFileOp(FileOp::Write, 1, 0);
        minihost::failFileOp(FileOp::Copy, 1, 0);
        ASSERT_EQ(save(file.get(), changed, dir / "short.dwg", keepBackup), Acad::eOk);
        EXPECT_EQ(readFile(dir / "short.dwg"), saved);
        fs::remove(dir / "short.dwg");
        fs::remove(dir / "drawing.bak");
    }
}

// A save that keeps a backup replaces an older backup only when it succeeds: a failure at any
// step leaves the older backup as it was.
TEST_F(SaveFaults, FailedSaveKeepsTheOlderBackup) {
    for (FileOp op : {FileOp::Link, FileOp::Rename, FileOp::DirFsync, FileOp::Unlink}) {
        for (long nth = 1; nth <= 2; ++nth) {
            SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << nth);
            load(fixture("preview.dxf"));
            writeFile(dir / "drawing.bak", "an older backup");
            SummaryData changed = summary;
            changed.builtIn[minihost::kTitle] = L"changed";
            minihost::clearFileFaults();
            minihost::failFileOp(op, nth, EIO);
            const Acad::ErrorStatus status = save(file.get(), changed, path, true);
            minihost::clearFileFaults();
            if (status == Acad::eOk) {
                EXPECT_TRUE(readFile(dir / "drawing.bak") == original);
                EXPECT_EQ(reread(path).builtIn[minihost::kTitle], L"changed");
                continue;
            }
            EXPECT_TRUE(readFile(path) == original);
            EXPECT_EQ(readFile(dir / "drawing.bak"), "an older backup");
            EXPECT_EQ(listing(dir.path()),
                      (std::vector<std::string>{"drawing.bak", "drawing.dwg"}));
        }
    }
}

// Running out of memory at any allocation of a save: the path holds the old or the new drawing,
// and no temporary file is left, also when the failure comes after the new file was written.
TEST_F(SaveFaults, OutOfMemoryAtAnyStepLeavesNoTemporaryFile) {
    const std::string before = readFile(fixture("preview.dxf"));
    for (long n = 1;; ++n) {
        SCOPED_TRACE(testing::Message() << "allocation " << n);
        writeFile(dir / "drawing.dwg", before);
        fs::remove(dir / "drawing.bak");
        load(fixture("preview.dxf"));
        SummaryData changed = summary;
        changed.builtIn[minihost::kTitle] = L"changed";
        Acad::ErrorStatus status = Acad::eOutOfMemory;
        alloc_fault::arm(n);
        try {
            status = save(file.get(), changed, path, true);
        } catch (const std::bad_alloc&) {
        }
        alloc_fault::disarm();
        if (readFile(path) != original) {
            EXPECT_EQ(reread(path).builtIn[minihost::kTitle], L"changed");
            EXPECT_EQ(readFile(dir / "drawing.bak"), original);
        }
        for (const std::string& name : listing(dir.path()))
            EXPECT_TRUE(name == "drawing.dwg" || name == "drawing.bak") << name;
        if (!alloc_fault::failed()) {
            EXPECT_EQ(status, Acad::eOk);
            break;
        }
        if (HasFailure())
            break;
    }
}

TEST_F(SaveFaults, CopyFallsBackToReadingWhereTheKernelCannotCopy) {
    load(fixture("preview.dxf"));
    minihost::failFileOp(FileOp::Copy, 1, EXDEV, true);
    ASSERT_EQ(save(file.get(), summary, dir / "copy.dwg", false, true), Acad::eOk);
    EXPECT_EQ(readFile(dir / "copy.dwg"), original);
}

// A file system that cannot make unnamed files refuses that one open with EOPNOTSUPP; every
// open of a save is refused so in turn. The save over the drawing must then go through a
// hidden name and succeed, and no refusal may leave a file behind.
TEST_F(SaveFaults, WithoutUnnamedFilesASaveUsesAHiddenNameAndLeavesNone) {
    load(fixture("preview.dxf"));
    SummaryData changed = summary;
    changed.builtIn[minihost::kTitle] = L"hidden name";
    minihost::clearFileFaults();
    ASSERT_EQ(save(file.get(), changed, path, true), Acad::eOk);
    const long opens = minihost::fileOpCount(FileOp::Open); // of the save alone
    int succeeded = 0;
    for (long nth = 1; nth <= opens; ++nth) {
        load(fixture("preview.dxf"));
        fs::remove(dir / "drawing.bak");
        minihost::clearFileFaults();
        minihost::failFileOp(FileOp::Open, nth, EOPNOTSUPP);
        const Acad::ErrorStatus status = save(file.get(), changed, path, true);
        minihost::clearFileFaults();
        if (status == Acad::eOk) {
            ++succeeded;
            EXPECT_EQ(reread(path).builtIn[minihost::kTitle], L"hidden name") << nth;
            EXPECT_EQ(readFile(dir / "drawing.bak"), original) << nth;
        } else {
            EXPECT_EQ(readFile(path), original) << nth;
        }
        std::vector<std::string> names = listing(dir.path());
        names.erase(std::remove(names.begin(), names.end(), "drawing.bak"), names.end());
        EXPECT_EQ(names, std::vector<std::string>{"drawing.dwg"}) << nth;
    }
    EXPECT_GE(succeeded, 1) << "no save went through a hidden name";
}

} // namespace
