// The getsumleaf and setsumleaf handlers, run as the host runs them, against the stand-in's
// documents and drawing files.
#include <gtest/gtest.h>

#include <unistd.h>

#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "props/lisp_functions.h"
#include "props/property_update.h"
#include "tests/support/chain_text.h"
#include "tests/support/property_lists.h"
#include "tests/support/temp_dir.h"

using minihost::CallResult;
using minihost::HostOp;
using testing_support::chainText;
using testing_support::listOf;
using testing_support::readFile;
using testing_support::TempDir;

namespace {

const char* const kEmpty = R"((("Title" "") ("Subject" "") ("Author" "") ("Keywords" "") )"
                           R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                           R"(("LastSavedBy" "")))";

// "Title" set to `title`, the rest empty, then `custom` as text.
std::string listWithTitle(const std::string& title, const std::string& custom = "") {
    return R"((("Title" ")" + title +
           R"(") ("Subject" "") ("Author" "") ("Keywords" "") ("Comments" "") )"
           R"(("HyperlinkBase" "") ("RevisionNumber" "") ("LastSavedBy" ""))" +
           custom + ")";
}

std::string backupOf(const std::string& path) {
    return std::filesystem::path(path).replace_extension(".bak").string();
}

struct Outcome {
    CallResult::Kind kind;
    std::string text; // the result as LISP text when it is a list
    int returned;
};

class HandlersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        minihost::closeAllDocuments();
        minihost::clearFaults();
        ASSERT_EQ(ApplyPropertyPairs(working(), {}, true), Acad::eOk);
    }
    void TearDown() override {
        minihost::clearFaults();
        minihost::closeAllDocuments();
        minihost::LiveCounts live = minihost::liveCounts();
        EXPECT_EQ(live.nodes, 0) << "resbuf nodes left behind";
        EXPECT_EQ(live.strings, 0) << "string copies left behind";
        EXPECT_EQ(live.databases, 0) << "side databases left behind";
        EXPECT_EQ(live.iterators, 0) << "document iterators left behind";
    }

    static AcDbDatabase* working() { return acdbHostApplicationServices()->workingDatabase(); }

    // Runs `handler` with `args` (released here) and describes what the caller receives.
    static Outcome run(int (*handler)(), int code, resbuf* args) {
        CallResult result = minihost::callHandler(handler, code, args);
        acutRelRb(args);
        Outcome outcome{result.kind, result.value ? chainText(result.value) : "",
                        result.handlerReturned};
        acutRelRb(result.value);
        return outcome;
    }
    static Outcome get(resbuf* args) { return run(GetSumleafHandler, 1, args); }
    static Outcome set(resbuf* args) { return run(SetSumleafHandler, 0, args); }

    // Writes a drawing file with the title `title` and custom pairs.
    std::string makeDrawing(const std::string& name, const wchar_t* title,
                            std::vector<PropertyPair> custom = {}) {
        std::string path = (dir / name).string();
        AcDbDatabase db(true, false);
        custom.insert(custom.begin(), PropertyPair{L"Title", title});
        EXPECT_EQ(ApplyPropertyPairs(&db, custom, true), Acad::eOk);
        EXPECT_EQ(db.saveAs(testing_support::wide(path).c_str(), false, AcDb::kDHL_CURRENT),
                  Acad::eOk);
        return path;
    }

    static AcApDocument* open(const std::string& path) {
        std::string error;
        AcApDocument* doc = minihost::openDocument(testing_support::wide(path), error);
        EXPECT_NE(doc, nullptr) << error;
        return doc;
    }

    static resbuf* str(const std::string& text) {
        return acutBuildList(RTSTR, testing_support::wide(text).c_str(), RTNONE);
    }

    TempDir dir;
};

// ---- getsumleaf ----------------------------------------------------------------------------

TEST_F(HandlersTest, GetWithoutPathTOrNumberReadsTheWorkingDrawing) {
    ApplyPropertyPairs(working(), {{L"Title", L"work"}}, true);
    const std::string expected = listWithTitle("work");
    EXPECT_EQ(get(nullptr).text, expected);
    EXPECT_EQ(get(acutBuildList(RTT, RTNONE)).text, expected);
    EXPECT_EQ(get(acutBuildList(RTSHORT, 7, RTSTR, L"/no/such.dwg", RTNONE)).text, expected);
    EXPECT_EQ(get(acutBuildList(RTREAL, 1.5, RTNONE)).text, expected);
    EXPECT_EQ(get(acutBuildList(RTLB, RTSTR, L"/no/such.dwg", RTLE, RTNONE)).text, expected);
    EXPECT_EQ(minihost::callCount(HostOp::ReadDwgFile), 0);
}

TEST_F(HandlersTest, GetReadsAClosedDrawingWithoutWritingIt) {
    std::string path = makeDrawing("closed.dxf", L"closed", {{L"Client", L"ACME"}});
    std::string before = readFile(path);
    Outcome out = get(acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTT, RTSHORT, 3,
                                    RTSTR, L"ignored", RTNONE));
    EXPECT_EQ(out.kind, CallResult::Value);
    EXPECT_EQ(out.text, listWithTitle("closed", R"( ("Client" "ACME"))"));
    EXPECT_EQ(out.returned, 1);
    EXPECT_EQ(readFile(path), before);
    EXPECT_FALSE(std::filesystem::exists(backupOf(path)));
}

TEST_F(HandlersTest, GetMatchesAnOpenDocumentInAnyLetterCase) {
    std::string path = makeDrawing("Open.DXF", L"file");
    AcApDocument* doc = open(path);
    ApplyPropertyPairs(doc->database(), {{L"Title", L"in memory"}}, true);
    std::string swapped = path;
    for (char& c : swapped)
        c = static_cast<char>(std::islower(c) ? std::toupper(c) : std::tolower(c));
    minihost::clearFaults();
    EXPECT_EQ(get(str(swapped)).text, listWithTitle("in memory"));
    EXPECT_EQ(minihost::callCount(HostOp::ReadDwgFile), 0)
        << "no file is read for an open document";
}

TEST_F(HandlersTest, GetTakesTheFirstOfTwoMatchingDocuments) {
    std::string lower = makeDrawing("twin.dxf", L"lower");
    std::string upper = makeDrawing("TWIN.dxf", L"upper");
    AcApDocument* first = open(upper);
    open(lower);
    ApplyPropertyPairs(first->database(), {{L"Title", L"first"}}, true);
    EXPECT_EQ(get(str(lower)).text, listWithTitle("first"));
}

TEST_F(HandlersTest, GetResolvesARelativePathAgainstTheCurrentFolder) {
    std::string path = makeDrawing("rel.dxf", L"relative");
    AcApDocument* doc = open(path);
    ApplyPropertyPairs(doc->database(), {{L"Title", L"open"}}, true);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    Outcome matched = get(str("./sub/../rel.dxf"));
    minihost::closeAllDocuments();
    Outcome read = get(str("rel.dxf"));
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(matched.text, listWithTitle("open"));
    EXPECT_EQ(read.text, listWithTitle("relative"));
}

TEST_F(HandlersTest, GetGivesNilForAFileThatCannotBeRead) {
    testing_support::writeFile(dir / "damaged.dxf", "  0\nSECTION\n  2\nHEADER\n");
    for (const std::string& path : {(dir / "missing.dxf").string(), (dir / "damaged.dxf").string(),
                                    dir.path().string(), std::string()}) {
        Outcome out = get(str(path));
        EXPECT_EQ(out.kind, CallResult::Nil) << path;
        EXPECT_EQ(out.returned, 1);
        EXPECT_EQ(minihost::liveCounts().databases, 0) << path;
    }
}

TEST_F(HandlersTest, GetGivesNilWhenTheHostCannotMakeASideDatabase) {
    std::string path = makeDrawing("side.dxf", L"side");
    for (HostOp op : {HostOp::HeapAlloc, HostOp::ConstructDatabase, HostOp::ReadDwgFile,
                      HostOp::GetSummaryInfo}) {
        minihost::clearFaults();
        minihost::failNth(op, 1, /*persistent=*/true);
        Outcome out = get(str(path));
        EXPECT_EQ(out.kind, CallResult::Nil) << static_cast<int>(op);
        EXPECT_EQ(out.returned, 1);
        EXPECT_EQ(minihost::liveCounts().databases, 0);
    }
    // Without an iterator no document can match: the file is read instead.
    open(path);
    minihost::clearFaults();
    minihost::failNth(HostOp::NewIterator, 1);
    EXPECT_EQ(get(str(path)).text, listWithTitle("side"));
    EXPECT_EQ(minihost::callCount(HostOp::ReadDwgFile), 1);
}

// A path whose absolute form does not fit matches no document, not even one never saved whose
// file name is empty; and a document whose own path does not fit is passed over.
TEST_F(HandlersTest, OverlongPathsMatchNothing) {
    ASSERT_NE(minihost::openNewDocument(L""), nullptr);
    ApplyPropertyPairs(working(), {{L"Title", L"unnamed"}}, true);
    std::wstring longName = L"/" + std::wstring(300, L'a') + L".dxf";
    ASSERT_NE(minihost::openNewDocument(longName), nullptr);
    ApplyPropertyPairs(working(), {{L"Title", L"long"}}, true);
    Outcome out = run(GetSumleafHandler, 1, acutBuildList(RTSTR, longName.c_str(), RTNONE));
    EXPECT_EQ(out.kind, CallResult::Nil);
    EXPECT_EQ(minihost::callCount(HostOp::ReadDwgFile), 1);
}

// ---- setsumleaf ----------------------------------------------------------------------------

// (setsumleaf) and (setsumleaf nil) both clear every property of the working drawing.
TEST_F(HandlersTest, SetWithNoArgumentsOrNilClearsTheWorkingDrawing) {
    for (bool nil : {false, true}) {
        ApplyPropertyPairs(working(), {{L"Title", L"x"}, {L"Client", L"y"}}, true);
        Outcome out = set(nil ? acutBuildList(RTNIL, RTNONE) : nullptr);
        EXPECT_EQ(out.text, kEmpty) << nil;
        EXPECT_EQ(out.returned, 1);
        EXPECT_EQ(listOf(working()), kEmpty) << nil;
    }
}

// An update the host cannot store, on the working drawing or an open document: no result, and
// the drawing keeps every property it had (the clearing is not stored on its own).
TEST_F(HandlersTest, SetWhoseUpdateFailsLeavesAnOpenDrawingAsItWas) {
    const std::string before = listWithTitle("kept", R"( ("Client" "ACME"))");
    std::string path = makeDrawing("open.dxf", L"kept", {{L"Client", L"ACME"}});
    AcApDocument* doc = open(path);
    ApplyPropertyPairs(working(), {{L"Title", L"kept"}, {L"Client", L"ACME"}}, true);
    for (bool clearFirst : {true, false})
        for (AcDbDatabase* db : {working(), doc->database()}) {
            minihost::clearFaults();
            minihost::failNth(HostOp::PutSummaryInfo, 1);
            resbuf* args = db == working()
                               ? acutBuildList(RTNIL, RTNONE)
                               : acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTNONE);
            resbuf* tail = args;
            if (!clearFirst)
                tail = tail->rbnext = acutBuildList(RTT, RTNONE);
            tail->rbnext = acutBuildList(RTSTR, L"Title", RTSTR, L"new", RTNONE);
            Outcome out = set(args);
            EXPECT_EQ(out.kind, CallResult::NoResult);
            EXPECT_EQ(listOf(db), before) << clearFirst;
        }
    EXPECT_EQ(minihost::callCount(HostOp::SaveAs), 0);
}

// An existing file named by a relative path whose absolute form does not fit: the file can be
// read, but a save could not name it, so nothing is answered and the file stays as it was.
TEST_F(HandlersTest, SetOnAFileWhoseAbsolutePathIsTooLongWritesNothing) {
    const std::filesystem::path deep = dir.path() / std::string(120, 'd') / std::string(150, 'e');
    std::filesystem::create_directories(deep);
    const std::string path = makeDrawing((deep / "long.dxf").string(), L"kept");
    ASSERT_GT(path.size(), 259u);
    const std::string before = readFile(path);
    char previous[4096];
    ASSERT_NE(getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(chdir(deep.c_str()), 0);
    Outcome out = set(acutBuildList(RTSTR, L"long.dxf", RTSTR, L"Title", RTSTR, L"x", RTNONE));
    ASSERT_EQ(chdir(previous), 0);
    EXPECT_EQ(out.kind, CallResult::NoResult);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(testing_support::listing(deep), std::vector<std::string>{"long.dxf"});
}

TEST_F(HandlersTest, SetItemsPairUpWhateverTsNumbersAndListsStandBetween) {
    ApplyPropertyPairs(working(), {{L"Title", L"kept"}, {L"Old", L"1"}}, true);
    // A single T merges nothing.
    EXPECT_EQ(set(acutBuildList(RTT, RTNONE)).text, listWithTitle("kept", R"( ("Old" "1"))"));
    // T first, T between key and value, numbers and lists among the strings: a merge.
    Outcome merged = set(acutBuildList(RTT, RTSTR, L"Author", RTT, RTSHORT, 5, RTSTR, L"me", RTLB,
                                       RTSTR, L"Job", RTREAL, 2.5, RTSTR, L"42", RTLE, RTNIL, RTLB,
                                       RTLB, RTSTR, L"Odd", RTLE, RTLE, RTNONE));
    EXPECT_EQ(merged.text, R"((("Title" "kept") ("Subject" "") ("Author" "me") ("Keywords" "") )"
                           R"(("Comments" "") ("HyperlinkBase" "") ("RevisionNumber" "") )"
                           R"(("LastSavedBy" "") ("Old" "1") ("Job" "42")))")
        << "the last string has no value and is ignored";
    // A number first and no T: the pairs replace everything.
    EXPECT_EQ(set(acutBuildList(RTSHORT, 1, RTSTR, L"title", RTSTR, L"only", RTNONE)).text,
              listWithTitle("only"));
    // A list first is not a path: its strings are the first items.
    EXPECT_EQ(set(acutBuildList(RTLB, RTSTR, L"Title", RTSTR, L"listed", RTLE, RTNONE)).text,
              listWithTitle("listed"));
}

TEST_F(HandlersTest, SetSavesAClosedDrawingWithABackup) {
    std::string path = makeDrawing("closed.dxf", L"before", {{L"Client", L"ACME"}});
    std::string before = readFile(path);
    Outcome out = set(acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTT, RTSTR,
                                    L"Title", RTSTR, L"after", RTNONE));
    EXPECT_EQ(out.text, listWithTitle("after", R"( ("Client" "ACME"))"));
    EXPECT_EQ(readFile(backupOf(path)), before) << "the previous file is kept as the backup";
    EXPECT_NE(readFile(path), before);
    EXPECT_NE(readFile(path).find("AC1032"), std::string::npos);
    EXPECT_EQ(get(str(path)).text, out.text) << "what was returned is what was saved";
}

TEST_F(HandlersTest, SetKeepsTheSavedDrawingsPreviewImage) {
    const std::string fixture =
        readFile(std::filesystem::path(SUMLEAF_SOURCE_DIR) / "tests/minihost/drawing/preview.dxf");
    const auto previewOf = [](const std::string& bytes) {
        std::size_t at = bytes.find("THUMBNAILIMAGE");
        return at == std::string::npos ? std::string() : bytes.substr(at);
    };
    ASSERT_FALSE(previewOf(fixture).empty());
    const std::string path = (dir / "preview.dxf").string();
    testing_support::writeFile(path, fixture);
    Outcome out = set(acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTSTR, L"Title",
                                    RTSTR, L"with preview", RTNONE));
    ASSERT_EQ(out.kind, CallResult::Value);
    EXPECT_EQ(previewOf(readFile(path)), previewOf(fixture));
}

TEST_F(HandlersTest, SetWithAPathAloneClearsThatDrawingAndSavesIt) {
    std::string path = makeDrawing("clear.dxf", L"full", {{L"Client", L"ACME"}});
    EXPECT_EQ(set(str(path)).text, kEmpty);
    EXPECT_EQ(get(str(path)).text, kEmpty);
}

TEST_F(HandlersTest, SetOnAnOpenDocumentChangesItInMemoryOnly) {
    std::string path = makeDrawing("open.dxf", L"file");
    std::string before = readFile(path);
    AcApDocument* doc = open(path);
    const std::string upper = (dir.path() / "OPEN.DXF").string();
    minihost::clearFaults();
    Outcome out = set(acutBuildList(RTSTR, testing_support::wide(upper).c_str(), RTSTR, L"Title",
                                    RTSTR, L"memory", RTNONE));
    EXPECT_EQ(out.text, listWithTitle("memory"));
    EXPECT_EQ(minihost::callCount(HostOp::SaveAs), 0);
    EXPECT_EQ(minihost::callCount(HostOp::ReadDwgFile), 0);
    EXPECT_EQ(readFile(path), before);
    EXPECT_EQ(listOf(doc->database()), listWithTitle("memory"));
}

TEST_F(HandlersTest, SetOnAFileThatCannotBeReadSetsNoResultAndWritesNothing) {
    std::string path = (dir / "missing.dxf").string();
    Outcome out = set(acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTSTR, L"Title",
                                    RTSTR, L"x", RTNONE));
    EXPECT_EQ(out.kind, CallResult::NoResult);
    EXPECT_EQ(out.returned, 1);
    EXPECT_FALSE(std::filesystem::exists(path));
}

// A failing update, a failing save or running out of memory: no result, the file byte for byte
// as it was, no side database left.
TEST_F(HandlersTest, SetFailuresLeaveTheFileAsItWas) {
    std::string path = makeDrawing("keep.dxf", L"keep", {{L"Client", L"ACME"}});
    const std::string before = readFile(path);
    for (HostOp op : {HostOp::GetSummaryInfo, HostOp::PutSummaryInfo, HostOp::SaveAs,
                      HostOp::ConstructDatabase}) {
        minihost::clearFaults();
        minihost::failNth(op, 1);
        Outcome out = set(acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTSTR, L"Title",
                                        RTSTR, L"changed", RTNONE));
        EXPECT_EQ(out.kind, CallResult::NoResult) << static_cast<int>(op);
        EXPECT_EQ(out.returned, 1);
        EXPECT_EQ(readFile(path), before) << static_cast<int>(op);
        EXPECT_FALSE(std::filesystem::exists(backupOf(path))) << static_cast<int>(op);
        EXPECT_EQ(minihost::liveCounts().databases, 0);
    }
}

} // namespace
