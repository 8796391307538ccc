// getsumleaf on every shared binary drawing, in-process through the handler and through the
// minihost program, against the properties listed beside the drawings; and on made AC1021
// drawings, which are read but never saved.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include "minihost/frame/external_calls.h"
#include "props/lisp_functions.h"
#include "tests/minihost/drawing/dwg/dwg_test_util.h"
#include "tests/support/ac1021_maker.h"
#include "tests/support/chain_text.h"
#include "tests/support/temp_dir.h"

namespace {

using testing_support::utf8;

// A text as the program prints it (escaped) or as chainText shows it (raw).
std::string quoted(const std::wstring& text, bool escaped) {
    std::string out = "\"";
    for (char c : utf8(text)) {
        if (escaped && (c == '"' || c == '\\'))
            out += '\\';
        if (escaped && (c == '\r' || c == '\n'))
            out += c == '\r' ? "\\r" : "\\n";
        else
            out += c;
    }
    return out + "\"";
}

// The list getsumleaf gives for `summary`: the built-ins in the module's order, then the
// custom pairs.
std::string listText(const minihost::SummaryData& s, bool escaped) {
    using namespace minihost;
    const std::pair<const char*, int> order[] = {{"Title", kTitle},
                                                 {"Subject", kSubject},
                                                 {"Author", kAuthor},
                                                 {"Keywords", kKeywords},
                                                 {"Comments", kComments},
                                                 {"HyperlinkBase", kHyperlinkBase},
                                                 {"RevisionNumber", kRevisionNumber},
                                                 {"LastSavedBy", kLastSavedBy}};
    std::string out = "(";
    for (const auto& [name, field] : order)
        out += std::string(out.size() > 1 ? " " : "") + "(\"" + name + "\" " +
               quoted(s.builtIn[field], escaped) + ")";
    for (const auto& [key, value] : s.custom)
        out += " (" + quoted(key, escaped) + " " + quoted(value, escaped) + ")";
    return out + ")";
}

TEST(BinaryDrawings, GetsumleafGivesTheExpectedPropertiesInProcessAndThroughTheProgram) {
    auto drawings = dwg_test::expectedDrawings();
    ASSERT_GE(drawings.size(), 13u);
    std::string args, programExpected;
    for (const auto& e : drawings) {
        SCOPED_TRACE(e.name);
        std::string path = e.path.string();
        resbuf* arg = acutBuildList(RTSTR, testing_support::wide(path).c_str(), RTNONE);
        minihost::CallResult result = minihost::callHandler(GetSumleafHandler, 1, arg);
        acutRelRb(arg);
        std::string text = result.value ? testing_support::chainText(result.value) : "nil";
        acutRelRb(result.value);
        EXPECT_EQ(text, listText(e.summary, false));
        args += " -e '(getsumleaf \"" + path + "\")'";
        programExpected += listText(e.summary, true) + "\n";
    }
    testing_support::TempDir dir;
    std::string command = std::string("'") + SUMLEAF_BINARY_DIR + "/minihost'" + args + " >" +
                          (dir / "out").string() + " 2>&1";
    int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(testing_support::readFile(dir / "out"), programExpected);
}

// A replace (no T) clears every property not given, HyperlinkBase in both of its copies.
TEST(BinaryDrawings, AReplaceClearsHyperlinkBaseInBothCopies) {
    testing_support::TempDir dir;
    const auto path = dir / "r2010_custom.dwg";
    testing_support::writeFile(
        path, testing_support::readFile(dwg_test::sharedBinaryDrawings() / path.filename()));
    resbuf* args = acutBuildList(RTSTR, testing_support::wide(path.string()).c_str(), RTSTR,
                                 L"Title", RTSTR, L"x", RTNONE);
    minihost::CallResult result = minihost::callHandler(SetSumleafHandler, 0, args);
    acutRelRb(args);
    ASSERT_NE(result.value, nullptr);
    minihost::SummaryData expected;
    expected.builtIn[minihost::kTitle] = L"x";
    EXPECT_EQ(testing_support::chainText(result.value), listText(expected, false));
    acutRelRb(result.value);
    const std::string saved = testing_support::readFile(path);
    EXPECT_EQ(dwg_test::headerHyperlinkBase(saved), L"");
    if (!dwg_test::haveIndependentCheck())
        return;
    const nlohmann::json check = dwg_test::independentCheck(path);
    EXPECT_EQ(check["errors"], 0) << check.dump();
    EXPECT_EQ(check["hyperlinkbase"], "");
    EXPECT_EQ(check["header_hyperlinkbase"], "");
}

std::string callText(int (*handler)(), int code, resbuf* args) {
    minihost::CallResult result = minihost::callHandler(handler, code, args);
    acutRelRb(args);
    std::string text = result.value ? testing_support::chainText(result.value) : "nil";
    acutRelRb(result.value);
    return text;
}

std::string runProgram(const std::string& args, const testing_support::TempDir& dir) {
    const std::string command = std::string("'") + SUMLEAF_BINARY_DIR + "/minihost'" + args + " >" +
                                (dir / "out").string() + " 2>&1";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return testing_support::readFile(dir / "out");
}

// getsumleaf gives exactly the properties stored; setsumleaf on the closed drawing answers nil
// and writes nothing; an open one changes in memory and refuses the save.
void expectReadAndNeverWritten(const std::string& drawing, const minihost::SummaryData& summary) {
    testing_support::TempDir dir;
    const auto path = dir / "plan.dwg";
    testing_support::writeFile(path, drawing);
    const std::wstring wide = testing_support::wide(path.string());

    EXPECT_EQ(callText(GetSumleafHandler, 1, acutBuildList(RTSTR, wide.c_str(), RTNONE)),
              listText(summary, false));
    EXPECT_EQ(callText(SetSumleafHandler, 0,
                       acutBuildList(RTSTR, wide.c_str(), RTSTR, L"Title", RTSTR, L"x", RTNONE)),
              "nil");
    EXPECT_EQ(testing_support::readFile(path), drawing);
    EXPECT_EQ(testing_support::listing(dir.path()), std::vector<std::string>{"plan.dwg"});

    minihost::SummaryData changed;
    changed.builtIn[minihost::kTitle] = L"y";
    const std::string p = path.string();
    const std::string closed = runProgram(
        " -e '(getsumleaf \"" + p + "\")' -e '(setsumleaf \"" + p + "\" \"Title\" \"x\")'", dir);
    EXPECT_EQ(closed, listText(summary, true) + "\nnil\n");
    const std::string open = runProgram(
        " --open '" + p + "' -e \"(setsumleaf '(\\\"Title\\\" \\\"y\\\"))\" -e '(drawing-save)'",
        dir);
    EXPECT_EQ(open.substr(0, open.find(';')), listText(changed, true) + "\n");
    EXPECT_NE(open.find("; drawing-save: cannot save"), std::string::npos) << open;
    EXPECT_EQ(testing_support::readFile(path), drawing);
    EXPECT_EQ(testing_support::listing(dir.path()), (std::vector<std::string>{"out", "plan.dwg"}));
}

TEST(BinaryDrawings, Ac1021DrawingsAreReadAndNeverWritten) {
    minihost::SummaryData summary;
    summary.builtIn[minihost::kTitle] = L"Plan \u00E9 \U0001F600";
    summary.builtIn[minihost::kHyperlinkBase] = L"https://example.org/";
    summary.builtIn[minihost::kLastSavedBy] = L"someone";
    summary.custom.emplace_back(L"Phase", L"2");
    expectReadAndNeverWritten(
        ac1021_maker::make(ac1021_maker::summarySection(summary), ac1021_maker::Options()).file,
        summary);
}

TEST(BinaryDrawings, DrawingsBefore2004AreReadAndNeverWritten) {
    for (const auto& e : dwg_test::expectedDrawings())
        if (e.name == "r2000_props_full.dwg" || e.name == "r2000_plain.dwg") {
            SCOPED_TRACE(e.name);
            expectReadAndNeverWritten(testing_support::readFile(e.path), e.summary);
        }
}

} // namespace
