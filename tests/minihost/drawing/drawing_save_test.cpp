// Saving drawings through the shared entry points and the host's database: every property kind,
// the bytes kept, the backup, refusals and new drawings. The DXF head's own cases are in
// dxf/dxf_save_test.cpp, failures of the file layer and the replace step in
// file/file_replace_test.cpp.
#include <algorithm>
#include <gtest/gtest.h>

#include "host/host_api.h"
#include "tests/minihost/drawing/drawing_save_fixture.h"

using namespace drawing_test;

namespace {

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
    load(sharedDrawings() / "sample_2004.dxf");
    minihost::SaveOptions options;
    const std::wstring target = widePath(path);
    for (int version : {32, 34, 0, -1}) { // any version but the current one asks to convert
        options.version = version;
        EXPECT_EQ(minihost::saveDrawingFile(file.get(), summary, target.c_str(), options),
                  Acad::eUnsupportedVersion);
    }
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

// A new database saved twice: the second save knows the file the first one wrote, so a change
// another program made in between is not overwritten.
TEST_F(DrawingSave, ANewDatabaseSavedAgainKeepsAnotherProgramsChange) {
    AcDbDatabase db(true, false);
    const std::wstring target = widePath(dir / "new.dxf");
    ASSERT_EQ(db.saveAs(target.c_str(), false, AcDb::kDHL_CURRENT, nullptr), Acad::eOk);
    writeFile(dir / "other.dxf", "changed by another program");
    fs::rename(dir / "other.dxf", dir / "new.dxf");
    EXPECT_EQ(db.saveAs(target.c_str(), false, AcDb::kDHL_CURRENT, nullptr),
              Acad::eFileSharingViolation);
    EXPECT_EQ(readFile(dir / "new.dxf"), "changed by another program");
}

} // namespace
