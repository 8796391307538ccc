// Saving a DXF drawing: only the pairs that change are rewritten, older drawings keep their
// code page, missing variables go where CAD programs put them, the preview, CR line ends, and a
// head too long to read back.
#include <gtest/gtest.h>

#include "minihost/drawing/drawing_file_impl.h"
#include "tests/minihost/drawing/drawing_save_fixture.h"

using namespace drawing_test;

namespace {

class DxfSave : public DrawingSave {};

// A change rewrites only what it changes: every other byte of the header stays, also where
// the file wrote its text otherwise than a save would (no padding, an escape).
TEST_F(DxfSave, OnlyChangedPairsAreRewritten) {
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
TEST_F(DxfSave, OlderDrawingsKeepTheirCodePage) {
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

TEST_F(DxfSave, MissingVariablesGoWhereCadProgramsPutThem) {
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

TEST_F(DxfSave, PreviewIsKeptWithTheFlagAndDroppedWithout) {
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
TEST_F(DxfSave, CrOnlyLineEndsReadAndSaveAsLfDoes) {
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

// Whatever a save writes reads back: a header that would end past what a reader takes is
// refused, however close to the limit it comes.
TEST_F(DxfSave, AHeadTooLongToReadBackIsRefused) {
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

} // namespace
