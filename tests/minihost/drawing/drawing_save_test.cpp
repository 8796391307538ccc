// Saving drawings: what changes and what must not, the preview, the backup, new drawings,
// and a failure at any step of a save leaving the file as it was.
#include <gtest/gtest.h>

#include "drawing_test_util.h"
#include "tests/reliability/alloc_fault.h"
#include "host/arxhost.h"
#include "minihost/drawing/file_faults.h"
#include "tests/support/temp_dir.h"

using namespace drawing_test;
using minihost::DrawingFilePtr;
using minihost::FileOp;
using minihost::SummaryData;
using testing_support::listing;
using testing_support::readFile;
using testing_support::sharedDrawings;
using testing_support::TempDir;
using testing_support::writeFile;

namespace {

const char* const kPreviewSection = "  0\nSECTION\n  2\nTHUMBNAILIMAGE\n";

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

TEST_F(DrawingSave, EveryPropertyKindRoundTrips) {
    load(sharedDrawings() / "sample_2018.dxf");
    const std::wstring texts[] = {L"",
                                  L"plain",
                                  L"line\none\r\ntwo",
                                  L"  ^caret^J  ",
                                  L"\\U+0041 \U0001F600 caf\u00e9",
                                  std::wstring(100000, L'w')};
    for (const std::wstring& text : texts) {
        SummaryData wanted = summary;
        for (std::wstring& field : wanted.builtIn)
            field = text + L"|" + std::to_wstring(&field - wanted.builtIn);
        wanted.custom = {{text, text}, {L"Key", L""}, {L"key", text}, {L"Key", L"dup"}, {L"", L""}};
        ASSERT_EQ(save(file.get(), wanted, path), Acad::eOk);
        SummaryData back = reread(path);
        for (int i = 0; i < minihost::kBuiltInCount; ++i)
            EXPECT_TRUE(back.builtIn[i] == wanted.builtIn[i]) << i;
        EXPECT_TRUE(back.custom == wanted.custom);
        summary = wanted;
    }
    // Emptied again, everything reads back empty, and an independent reader agrees.
    SummaryData empty;
    ASSERT_EQ(save(file.get(), empty, path), Acad::eOk);
    SummaryData back = reread(path);
    EXPECT_EQ(ourView(back), ourView(empty));
    if (haveIndependentReader()) {
        EXPECT_EQ(independentView(path), ourView(empty));
    }
}

TEST_F(DrawingSave, RealDrawingKeepsEveryByteOutsideTheChangedVariables) {
    load(sharedDrawings() / "sample_2018.dxf");
    ASSERT_EQ(save(file.get(), summary, path), Acad::eOk);
    EXPECT_EQ(readFile(path), original); // nothing changed, nothing moves

    SummaryData changed = summary;
    changed.builtIn[minihost::kTitle] = L"New title";
    changed.builtIn[minihost::kLastSavedBy] = L"someone else";
    changed.builtIn[minihost::kHyperlinkBase] = L"https://example.org/";
    changed.custom = {{L"Client", L"ACME"}};
    ASSERT_EQ(save(file.get(), changed, path), Acad::eOk);
    std::string expected = replaceOnce(
        original, "$LASTSAVEDBY\r\n  1\r\ndrafter\r\n",
        "$TITLE\r\n  1\r\nNew title\r\n  9\r\n$LASTSAVEDBY\r\n  1\r\nsomeone else\r\n  9\r\n"
        "$CUSTOMPROPERTYTAG\r\n  1\r\nClient\r\n  9\r\n$CUSTOMPROPERTY\r\n  1\r\nACME\r\n");
    expected = replaceOnce(expected, "$HYPERLINKBASE\r\n  1\r\n\r\n",
                           "$HYPERLINKBASE\r\n  1\r\nhttps://example.org/\r\n");
    EXPECT_TRUE(readFile(path) == expected);
    if (haveIndependentReader()) {
        EXPECT_EQ(independentView(path), ourView(changed));
    }
}

TEST_F(DrawingSave, MissingVariablesGoWhereCadProgramsPutThem) {
    load(fixture("preview.dxf")); // has $TITLE, $LASTSAVEDBY and custom pairs; no link base
    SummaryData all = summary;
    for (int i = 0; i < minihost::kBuiltInCount; ++i)
        all.builtIn[i] = L"v" + std::to_wstring(i);
    all.custom.emplace_back(L"More", L"x");
    ASSERT_EQ(save(file.get(), all, path), Acad::eOk);
    std::vector<std::string> names = variables(readFile(path));
    std::vector<std::string> expected = {
        "$ACADVER",           "$ACADMAINTVER",   "$DWGCODEPAGE",       "$TITLE",
        "$SUBJECT",           "$AUTHOR",         "$KEYWORDS",          "$COMMENTS",
        "$LASTSAVEDBY",       "$REVISIONNUMBER", "$CUSTOMPROPERTYTAG", "$CUSTOMPROPERTY",
        "$CUSTOMPROPERTYTAG", "$CUSTOMPROPERTY", "$CUSTOMPROPERTYTAG", "$CUSTOMPROPERTY",
        "$CUSTOMPROPERTYTAG", "$CUSTOMPROPERTY"};
    ASSERT_GT(names.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + expected.size()), expected);
    EXPECT_EQ(names.back(), "$HYPERLINKBASE");
    EXPECT_TRUE(reread(path).custom == all.custom);

    // Custom pairs that a drawing lacks go right after the seven texts.
    SummaryData none = all;
    none.custom.clear();
    ASSERT_EQ(save(file.get(), none, path), Acad::eOk);
    none.custom = {{L"A", L"1"}};
    ASSERT_EQ(save(file.get(), none, path), Acad::eOk);
    names = variables(readFile(path));
    EXPECT_EQ(names[9], "$REVISIONNUMBER");
    EXPECT_EQ(names[10], "$CUSTOMPROPERTYTAG");
}

TEST_F(DrawingSave, PreviewIsKeptWithTheFlagAndDroppedWithout) {
    load(fixture("preview.dxf"));
    const std::string preview = original.substr(original.find(kPreviewSection));
    ASSERT_EQ(save(file.get(), summary, dir / "kept.dwg", false, true), Acad::eOk);
    EXPECT_EQ(readFile(dir / "kept.dwg"), original);

    ASSERT_EQ(read(path, file, summary), Acad::eOk);
    ASSERT_EQ(save(file.get(), summary, dir / "dropped.dwg", false, false), Acad::eOk);
    std::string dropped = readFile(dir / "dropped.dwg");
    EXPECT_EQ(dropped, replaceOnce(original, preview, "  0\nEOF\n"));
    EXPECT_EQ(reread(dir / "dropped.dwg").custom, summary.custom);
    if (haveIndependentReader()) {
        EXPECT_EQ(independentView(dir / "dropped.dwg"), ourView(summary));
    }
}

TEST_F(DrawingSave, BackupKeepsThePreviousFileAndSavingOverItselfWorks) {
    load(fixture("preview.dxf"), "same.dxf");
    writeFile(dir / "same.bak", "an older backup");
    SummaryData changed = summary;
    changed.builtIn[minihost::kAuthor] = L"First";
    ASSERT_EQ(save(file.get(), changed, path, true, true), Acad::eOk);
    EXPECT_EQ(readFile(dir / "same.bak"), original);
    const std::string first = readFile(path);
    EXPECT_EQ(reread(path).builtIn[minihost::kAuthor], L"First");

    // The file now stands for what was saved: saving again works from it, even after the
    // path's file was moved away, and without the flag no backup is made.
    fs::rename(path, dir / "moved.dxf");
    fs::remove(dir / "same.bak");
    changed.builtIn[minihost::kAuthor] = L"Second";
    ASSERT_EQ(save(file.get(), changed, path, false, true), Acad::eOk);
    EXPECT_EQ(reread(path).builtIn[minihost::kAuthor], L"Second");
    EXPECT_EQ(readFile(path), replaceOnce(first, "First", "Second"));
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"moved.dxf", "same.dxf"}));
}

TEST_F(DrawingSave, RefusedSavesWriteNothing) {
    for (const char* name : {"sample_2004.dxf", "sample_2007.dxf", "sample_2013.dxf"}) {
        load(sharedDrawings() / name);
        EXPECT_EQ(save(file.get(), summary, path, true), Acad::eUnsupportedVersion) << name;
        EXPECT_EQ(readFile(path), original);
    }
    load(sharedDrawings() / "sample_2018.dxf");
    minihost::SaveOptions options;
    options.version = 32;
    const std::wstring target = widePath(path);
    EXPECT_NE(minihost::saveDrawingFile(file.get(), summary, target.c_str(), options), Acad::eOk);
    options.version = 33;
    options.hasSecurityParams = true;
    EXPECT_NE(minihost::saveDrawingFile(file.get(), summary, target.c_str(), options), Acad::eOk);
    SummaryData bad = summary;
    bad.builtIn[minihost::kTitle] = std::wstring(1, static_cast<wchar_t>(0x110000));
    EXPECT_EQ(save(file.get(), bad, path), Acad::eInvalidInput);
    bad.builtIn[minihost::kTitle] = std::wstring(17 << 20, L'x'); // could not be read back
    EXPECT_EQ(save(file.get(), bad, path), Acad::eInvalidInput);
    EXPECT_EQ(save(file.get(), summary, dir / "no" / "such.dwg"), Acad::eFileNotFound);
    fs::create_directory(dir / "folder.dwg");
    EXPECT_NE(save(file.get(), summary, dir / "folder.dwg"), Acad::eOk);
    EXPECT_EQ(readFile(path), original);
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"drawing.dwg", "folder.dwg"}));
}

TEST_F(DrawingSave, NewDrawingOpensInAnIndependentReader) {
    SummaryData wanted;
    wanted.builtIn[minihost::kAuthor] = L"Author \u00e9";
    wanted.builtIn[minihost::kHyperlinkBase] = L"base";
    wanted.custom = {{L"Job", L"42"}};
    ASSERT_EQ(save(nullptr, wanted, dir / "new.dwg"), Acad::eOk);
    EXPECT_EQ(ourView(reread(dir / "new.dwg")), ourView(wanted));
    ASSERT_EQ(save(nullptr, SummaryData(), dir / "empty.dwg"), Acad::eOk);
    if (!haveIndependentReader())
        GTEST_SKIP() << "python3-ezdxf missing (apt-get install python3-ezdxf)";
    EXPECT_EQ(independentView(dir / "new.dwg"), ourView(wanted));
    EXPECT_EQ(independentView(dir / "empty.dwg"), ourView(SummaryData()));
}

// Every system call of a save, failed in turn: the path keeps its drawing, no temporary
// file is left, and the status says so.
TEST_F(DrawingSave, FailureAtAnyStepLeavesTheFileIntact) {
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
        // the identity checks, writing and copying, owner, mode and attributes, fsync, linking
        // in, renaming, the folder's fsync, and the backup or the unlink of the old name.
        EXPECT_EQ(injected, keepBackup ? 26 : 25);
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
TEST_F(DrawingSave, FailedSaveKeepsTheOlderBackup) {
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
TEST_F(DrawingSave, OutOfMemoryAtAnyStepLeavesNoTemporaryFile) {
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

TEST_F(DrawingSave, CopyFallsBackToReadingWhereTheKernelCannotCopy) {
    load(fixture("preview.dxf"));
    minihost::failFileOp(FileOp::Copy, 1, EXDEV, true);
    ASSERT_EQ(save(file.get(), summary, dir / "copy.dwg", false, true), Acad::eOk);
    EXPECT_EQ(readFile(dir / "copy.dwg"), original);
}

TEST_F(DrawingSave, DatabaseReadsAndSavesThroughTheHostInterface) {
    load(fixture("preview.dxf"));
    auto* db = new AcDbDatabase(false, true);
    ASSERT_EQ(
        db->readDwgFile(widePath(path).c_str(), AcDbDatabase::kForReadAndReadShare, false, nullptr),
        Acad::eOk);
    AcDbDatabaseSummaryInfo* info = nullptr;
    ASSERT_EQ(acdbGetSummaryInfo(db, info), Acad::eOk);
    info->setKeywords(L"through the host");
    ASSERT_EQ(acdbPutSummaryInfo(info, db), Acad::eOk);
    db->setRetainOriginalThumbnailBitmap(true);
    ASSERT_EQ(db->saveAs(widePath(path).c_str(), true, AcDb::kDHL_CURRENT, nullptr), Acad::eOk);
    delete db;
    EXPECT_EQ(reread(path).builtIn[minihost::kKeywords], L"through the host");
    EXPECT_NE(readFile(path).find(kPreviewSection), std::string::npos);
    EXPECT_EQ(readFile(dir / "drawing.bak"), original);
}

} // namespace
