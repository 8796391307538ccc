// Saving drawings: what changes and what must not, the preview, the backup, new drawings,
// and a failure at any step of a save leaving the file as it was.
#include <algorithm>
#include <gtest/gtest.h>

#include "tests/minihost/drawing/drawing_test_util.h"
#include "tests/reliability/alloc_fault.h"
#include "host/host_api.h"
#include "minihost/drawing/drawing_file_impl.h"
#include "minihost/drawing/file/file_faults.h"
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

// A change rewrites only what it changes: every other byte of the header stays, also where
// the file wrote its text otherwise than a save would (no padding, an escape).
TEST_F(DrawingSave, OnlyChangedPairsAreRewritten) {
    const std::string fixtureText = readFile(fixture("preview.dxf"));
    const std::size_t from = fixtureText.find("  9\n$CUSTOMPROPERTYTAG");
    const std::size_t to = fixtureText.find("  9\n$INSBASE");
    const std::string tag = "  9\n$CUSTOMPROPERTYTAG\n", value = "  9\n$CUSTOMPROPERTY\n";
    const std::string pairs = tag + "1\nCaf\\U+00E9\n" + value + "1\nA\n" + tag + "1\nB\n" + value +
                              "1\n\\U+0042\n" + tag + "1\nC\n" + value + "1\nC\n";
    const std::string base = fixtureText.substr(0, from) + pairs + fixtureText.substr(to);
    const std::string added = tag + "  1\nD\n" + value + "  1\nd\n";
    using Pairs = std::deque<std::pair<std::wstring, std::wstring>>;
    const struct {
        const char* what;
        Pairs custom;
        std::string from, to; // the one difference the save makes
    } cases[] = {
        {"value",
         {{L"Caf\u00e9", L"A"}, {L"B", L"b2"}, {L"C", L"C"}},
         "1\n\\U+0042\n",
         "  1\nb2\n"},
        {"key",
         {{L"Caf\u00e9", L"A"}, {L"B", L"B"}, {L"c", L"C"}},
         tag + "1\nC\n",
         tag + "  1\nc\n"},
        {"removed",
         {{L"Caf\u00e9", L"A"}, {L"C", L"C"}},
         tag + "1\nB\n" + value + "1\n\\U+0042\n",
         ""},
        {"first removed",
         {{L"B", L"B"}, {L"C", L"C"}},
         tag + "1\nCaf\\U+00E9\n" + value + "1\nA\n",
         ""},
        {"added",
         {{L"Caf\u00e9", L"A"}, {L"B", L"B"}, {L"C", L"C"}, {L"D", L"d"}},
         "  9\n$INSBASE",
         added + "  9\n$INSBASE"},
        {"added first",
         {{L"D", L"d"}, {L"Caf\u00e9", L"A"}, {L"B", L"B"}, {L"C", L"C"}},
         pairs,
         added + pairs},
        {"replaced",
         {{L"D", L"d"}, {L"B", L"B"}, {L"C", L"C"}},
         tag + "1\nCaf\\U+00E9\n" + value + "1\nA\n",
         added},
        {"removed and changed",
         {{L"Caf\u00e9", L"A"}, {L"C", L"c2"}},
         tag + "1\nB\n" + value + "1\n\\U+0042\n" + tag + "1\nC\n" + value + "1\nC\n",
         tag + "1\nC\n" + value + "  1\nc2\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(dir / "base.dxf", base);
        load(dir / "base.dxf");
        SummaryData changed = summary;
        changed.custom = c.custom;
        ASSERT_EQ(save(file.get(), changed, path, false, true), Acad::eOk);
        EXPECT_TRUE(readFile(path) == replaceOnce(base, c.from, c.to));
        EXPECT_TRUE(reread(path).custom == changed.custom);
    }
    // A lone tag and a lone value around the pairs: removing the pairs must not join them.
    writeFile(dir / "base.dxf",
              replaceOnce(base, pairs, tag + "1\nLone\n" + pairs + value + "1\nAlone\n"));
    load(dir / "base.dxf");
    SummaryData changed = summary;
    changed.custom = {{L"Lone", L""}, {L"", L"Alone"}};
    ASSERT_EQ(save(file.get(), changed, path), Acad::eOk);
    EXPECT_TRUE(reread(path).custom == changed.custom);
}

// Older drawings are read and written in their code page; what it lacks is escaped. A code
// page that cannot be converted here is refused rather than read wrong.
TEST_F(DrawingSave, OlderDrawingsKeepTheirCodePage) {
    const struct {
        const char* codePage;
        const char* bytes; // of $LASTSAVEDBY in the file
        const wchar_t* read;
        const wchar_t* title; // saved as
        const char* written;
    } cases[] = {
        {"ANSI_1251", "\xC8\xE2\xE0\xED \\U+00E9", L"\u0418\u0432\u0430\u043d \u00e9",
         L" \u0416\u0443\u043a \u00e9\U0001F600 ", " \xC6\xF3\xEA \\U+00E9\\U+D83D\\U+DE00 "},
        {"ANSI_932", "\x93\x63\x92\x86", L"\u7530\u4e2d", L" \u8868\u793a \u00e9 ",
         " \x95\x5C\x8E\xA6 \\U+00E9 "},
    };
    const std::string sample = readFile(sharedDrawings() / "sample_2004.dxf");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.codePage);
        std::string bytes = replaceOnce(sample, "ANSI_1252", c.codePage);
        bytes = replaceOnce(bytes, "\r\ndrafter\r\n", std::string("\r\n") + c.bytes + "\r\n");
        writeFile(dir / "old.dxf", bytes);
        load(dir / "old.dxf");
        EXPECT_TRUE(summary.builtIn[minihost::kLastSavedBy] == c.read);
        SummaryData changed = summary;
        changed.builtIn[minihost::kTitle] = c.title;
        changed.custom = {{c.title, c.read}};
        ASSERT_EQ(save(file.get(), changed, path), Acad::eOk);
        const std::string saved = readFile(path);
        EXPECT_NE(saved.find(std::string("$TITLE\r\n  1\r\n") + c.written + "\r\n"),
                  std::string::npos);
        EXPECT_NE(saved.find(std::string("\r\n") + c.bytes + "\r\n"), std::string::npos);
        EXPECT_NE(saved.find("AC1018"), std::string::npos);
        EXPECT_EQ(ourView(reread(path)), ourView(changed));
        if (haveIndependentReader()) {
            EXPECT_EQ(independentView(path), ourView(changed));
        }
    }
    writeFile(dir / "old.dxf", replaceOnce(sample, "ANSI_1252", "ANSI_9999"));
    EXPECT_EQ(read(dir / "old.dxf"), Acad::eNotImplementedYet);
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

// A drawing whose lines end with a CR alone reads as the same drawing with LF, and a save
// writes the same bytes in its line end style (the preview found and dropped alike).
TEST_F(DrawingSave, CrOnlyLineEndsReadAndSaveAsLfDoes) {
    load(fixture("preview.dxf"), "lf.dxf");
    SummaryData changed = summary;
    changed.builtIn[minihost::kTitle] = L"changed";
    changed.custom.emplace_back(L"New", L"pair");
    ASSERT_EQ(save(file.get(), changed, dir / "lf-saved.dxf"), Acad::eOk);
    auto crOnly = [](std::string text) {
        std::replace(text.begin(), text.end(), '\n', '\r');
        return text;
    };
    const SummaryData lf = summary;
    load(fixture("preview.dxf"), "cr.dxf");
    writeFile(path, crOnly(original));
    ASSERT_EQ(read(path, file, summary), Acad::eOk);
    EXPECT_EQ(ourView(summary), ourView(lf));
    ASSERT_EQ(save(file.get(), changed, dir / "cr-saved.dxf"), Acad::eOk);
    EXPECT_EQ(readFile(dir / "cr-saved.dxf"), crOnly(readFile(dir / "lf-saved.dxf")));
    EXPECT_EQ(ourView(reread(dir / "cr-saved.dxf")), ourView(changed));
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
        // the identity checks, the folder's flags, reading the head again, writing and copying,
        // owner, mode and attributes, fsync, linking in, renaming, the folder's fsync, looking
        // at the new file in place, and the backup or the unlink of the old name.
        EXPECT_EQ(injected, keepBackup ? 29 : 28);
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

// A file system that cannot make unnamed files refuses that one open with EOPNOTSUPP; every
// open of a save is refused so in turn. The save over the drawing must then go through a
// hidden name and succeed, and no refusal may leave a file behind.
TEST_F(DrawingSave, WithoutUnnamedFilesASaveUsesAHiddenNameAndLeavesNone) {
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

// Whatever a save writes reads back: a header that would end past what a reader takes is
// refused, however close to the limit it comes.
TEST_F(DrawingSave, AHeadTooLongToReadBackIsRefused) {
    load(fixture("preview.dxf"));
    SummaryData changed = summary;
    changed.builtIn[minihost::kTitle] = L"x";
    std::string head;
    ASSERT_EQ(minihost::dxf::buildHead(*file, changed, head), Acad::eOk);
    const std::size_t limit = minihost::dxf::kMaxHead;
    for (std::size_t spare : {0, 1, 8, 20, 64}) {
        changed.builtIn[minihost::kTitle] = std::wstring(limit - head.size() - spare + 1, L'x');
        const Acad::ErrorStatus saved = save(file.get(), changed, dir / "long.dxf");
        if (saved == Acad::eOk)
            EXPECT_EQ(reread(dir / "long.dxf").builtIn[minihost::kTitle].size(),
                      changed.builtIn[minihost::kTitle].size())
                << spare;
        else
            EXPECT_EQ(saved, Acad::eInvalidInput) << spare;
    }
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
