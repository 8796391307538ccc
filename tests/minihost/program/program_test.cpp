// The minihost program end to end: the built program runs scripts and expressions in a
// temporary folder, and its output, errors and exit status are compared with what is expected.
//
// Each cases/NAME.lsp is run in a folder holding copies of the drawings (see below) as
// `minihost ARGS NAME.lsp`, where ARGS come from the script's first line when it reads
// ";; args: ...". Expected: cases/NAME.out (standard output),
// cases/NAME.err (standard error, empty when missing) and ";; status: N" on the script's
// second line (0 when missing). The temporary folder appears in the output as $DIR.
#include <gtest/gtest.h>

#include <cstdlib>
#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::TempDir;
using testing_support::writeFile;

const fs::path kCases = fs::path(SUMLEAF_SOURCE_DIR) / "tests" / "minihost" / "program" / "cases";
const fs::path kProgram = fs::path(SUMLEAF_BINARY_DIR) / "minihost";

std::string shellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;
};

// Runs the program in `dir` with `args` (already shell words) and `input` on standard input.
Outcome run(const fs::path& dir, const std::string& args, const std::string& input = "") {
    writeFile(dir / ".stdin", input);
    std::string command = "cd " + shellQuoted(dir.string()) + " && " +
                          shellQuoted(kProgram.string()) + " " + args +
                          " <.stdin >.stdout 2>.stderr";
    int status = std::system(command.c_str());
    Outcome result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(dir / ".stdout");
    result.err = readFile(dir / ".stderr");
    fs::remove(dir / ".stdin");
    fs::remove(dir / ".stdout");
    fs::remove(dir / ".stderr");
    // Paths under the temporary folder print the same in every run.
    for (std::string* text : {&result.out, &result.err}) {
        std::string path = dir.string();
        for (std::size_t at; (at = text->find(path)) != std::string::npos;)
            text->replace(at, path.size(), "$DIR");
    }
    return result;
}

// The value after `key` on the line of `line` when it starts with ";; key:".
std::string header(const std::string& line, const std::string& key) {
    std::string prefix = ";; " + key + ":";
    if (line.rfind(prefix, 0) != 0)
        return "";
    std::string value = line.substr(prefix.size());
    return value.substr(std::min(value.find_first_not_of(' '), value.size()));
}

class ProgramScript : public ::testing::TestWithParam<std::string> {};

TEST_P(ProgramScript, PrintsWhatIsExpected) {
    const std::string name = GetParam();
    TempDir dir;
    // The cases work on copies: of the real drawings made by a CAD program, of the example
    // drawings (with built-in and custom properties, some not ASCII), and of the damaged
    // drawings beside the cases.
    for (const fs::path& folder :
         {testing_support::sharedDrawings(), fs::path(SUMLEAF_SOURCE_DIR) / "examples", kCases})
        if (testing_support::requiredInCi(fs::exists(folder), folder.string()))
            for (const auto& entry : fs::directory_iterator(folder))
                if (entry.path().extension() == ".dxf")
                    fs::copy_file(entry.path(), dir / entry.path().filename().string());
    fs::copy_file(kCases / (name + ".lsp"), dir / (name + ".lsp"));
    std::ifstream script(kCases / (name + ".lsp"));
    std::string first, second;
    std::getline(script, first);
    std::getline(script, second);
    std::string args = header(first, "args");
    std::string status = header(second, "status");

    Outcome result = run(dir.path(), args + " " + name + ".lsp");
    EXPECT_EQ(result.out, readFile(kCases / (name + ".out")));
    std::string expectedErr =
        fs::exists(kCases / (name + ".err")) ? readFile(kCases / (name + ".err")) : std::string();
    EXPECT_EQ(result.err, expectedErr);
    EXPECT_EQ(result.status, status.empty() ? 0 : std::stoi(status));
}

std::vector<std::string> caseNames() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(kCases))
        if (entry.path().extension() == ".lsp")
            names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

INSTANTIATE_TEST_SUITE_P(ProgramCases, ProgramScript, ::testing::ValuesIn(caseNames()),
                         [](const auto& info) {
                             std::string id = info.param;
                             for (char& c : id)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return id;
                         });

TEST(Program, ExpressionsRunInOrderBeforeScriptsAndPrintTheirResults) {
    TempDir dir;
    writeFile(dir / "s.lsp", "(princ \"script \")(princ x)(terpri)\n(setq quiet 1)\n");
    Outcome r = run(dir.path(), "-e '(setq x \"from -e\")' -e '(princ \"a\")' -e '(princ)' s.lsp");
    EXPECT_EQ(r.out, "\"from -e\"\na\n\"a\"\nscript from -e\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST(Program, WithExpressionsTheFirstErrorStopsTheProgramWithStatus1) {
    TempDir dir;
    writeFile(dir / "s.lsp", "(princ \"never\")");
    Outcome r = run(dir.path(), "-e '(princ 1)' -e '(car 1)' -e '(princ 2)' s.lsp");
    EXPECT_EQ(r.out, "1\n1\n");
    EXPECT_EQ(r.err, "; error: bad argument type: consp 1\n");
    EXPECT_EQ(r.status, 1);
    r = run(dir.path(), "-e '(list 1'");
    EXPECT_EQ(r.err, "; error: malformed list on input\n");
    EXPECT_EQ(r.status, 1);
    r = run(dir.path(), "missing.lsp");
    EXPECT_EQ(r.err, "; error: LOAD failed: \"missing.lsp\"\n");
    EXPECT_EQ(r.status, 1);
}

TEST(Program, StandardInputIsReadFormByFormAndErrorsDoNotEndIt) {
    TempDir dir;
    Outcome r =
        run(dir.path(), "",
            "(setq a '(1\n 2))\n(car a) (cadr a)\n)\n(nosuch)\n\"after\"\n(princ \"x\")\n(list 1");
    EXPECT_EQ(r.out, "(1 2)\n1\n2\n\"after\"\nx\n\"x\"\n");
    EXPECT_EQ(r.err, "; error: extra right paren on input\n"
                     "; error: no function definition: NOSUCH\n"
                     "; error: malformed list on input\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Program, HostileInputGivesErrorsNotCrashes) {
    TempDir dir;
    std::string input = std::string(50000, '(') + "\n" + std::string(50000, '\'') + "x\n" +
                        "\"\xFF\xFE\"\n" + std::string("\0 (car)\n", 8) + "(list 1 . 2)\n";
    Outcome r = run(dir.path(), "", input);
    EXPECT_EQ(r.status, 0) << r.err;
    // Bytes that are not UTF-8 become U+FFFD; a NUL byte is a symbol like any other.
    EXPECT_EQ(r.out, "\"\xEF\xBF\xBD\xEF\xBF\xBD\"\nnil\n");
    std::string nested = "lists nested too deeply on input (more than 200 levels)";
    EXPECT_EQ(r.err, "; error: " + nested + "\n; error: " + nested +
                         "\n; error: too few arguments\n"
                         "; error: bad function call: (LIST 1 . 2)\n");
}

TEST(Program, CommandLineMistakesAreReported) {
    TempDir dir;
    Outcome r = run(dir.path(), "--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--open DRAWING"), std::string::npos);
    EXPECT_EQ(run(dir.path(), "--frobnicate").status, 2);
    EXPECT_EQ(run(dir.path(), "-e").status, 2);
    r = run(dir.path(), "--module ./nothing.arx -e 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("; error: cannot load the module ./nothing.arx", 0), 0u) << r.err;
    r = run(dir.path(), "--open missing.dxf -e 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("; error: cannot open the drawing missing.dxf", 0), 0u) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Program, ABinaryDrawingOpensChangesInMemoryAndSavesEveryProperty) {
    TempDir dir;
    const fs::path binary = testing_support::sharedDrawings().parent_path() / "dwg";
    fs::copy_file(binary / "r2013_plain.dwg", dir / "other.dwg");
    fs::copy_file(binary / "r2018_plain.dwg", dir / "plan.dwg");
    fs::permissions(dir / "plan.dwg", fs::perms::owner_write, fs::perm_options::add);
    auto list = [](const char* link) {
        return std::string(R"((("Title" "in memory") ("Subject" "") ("Author" "") )"
                           R"(("Keywords" "") ("Comments" "") ("HyperlinkBase" ")") +
               link + R"(") ("RevisionNumber" "") ("LastSavedBy" "Usuario") ("Client" "ACME")))";
    };
    Outcome r =
        run(dir.path(), "--open other.dwg --open plan.dwg"
                        " -e '(setsumleaf T \"Title\" \"in memory\" \"Client\" \"ACME\""
                        " \"HyperlinkBase\" \"https://in.memory/\")'"
                        " -e '(drawing-save)' -e '(drawing-close)' -e '(getsumleaf \"plan.dwg\")'"
                        " -e '(setsumleaf \"plan.dwg\" T \"HyperlinkBase\" \"x\")'"
                        " -e '(getsumleaf \"plan.dwg\")'");
    const std::string opened = list("https://in.memory/");
    EXPECT_EQ(r.out, opened + "\nT\nT\n" + opened + "\n" + list("x") + "\n" + list("x") + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readFile(dir / "plan.dwg").compare(0, 6, "AC1032"), 0);
}

// What load refuses: a folder reads like a missing file, and an endless file stops at the cap.
TEST(Program, LoadRefusesFoldersAndEndlessFiles) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    Outcome r = run(dir.path(), "", "(load \"folder\")\n(load \"/dev/zero\")\n(princ \"on\")\n");
    EXPECT_EQ(r.err, "; error: LOAD failed: \"folder\"\n"
                     "; error: LOAD failed: \"/dev/zero\": longer than 16 MiB\n");
    EXPECT_EQ(r.out, "on\n\"on\"\n");
}

// The program on a terminal (tmux's): Ctrl-C cancels the line being typed, and an evaluation
// that waits (a load from a FIFO nobody writes), without ending the session; Ctrl-D ends it.
// Each key goes only once the screen shows the program has taken the keys before it.
TEST(Program, CtrlCCancelsTheLineOrTheEvaluationAndCtrlDEndsTheSession) {
    if (!testing_support::haveProgram("command -v tmux", "tmux"))
        GTEST_SKIP() << "tmux is not installed";
    TempDir dir;
    const fs::path fifo = dir / "slow.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string tmux = "tmux -L sumleaf-test-" + std::to_string(::getpid()) + " ";
    const std::string screen = dir.path().string() + "/screen";
    auto capture = [&] {
        std::system(
            (tmux + "capture-pane -p -t t > " + shellQuoted(screen) + " 2>/dev/null").c_str());
        return readFile(screen);
    };
    // Polls the screen until it shows `text`, for at most 10 s. Lines come without the blanks
    // at their ends, so a prompt shows as "_$".
    auto shows = [&](const std::string& text) {
        for (int i = 0; i < 200; ++i, ::usleep(50000))
            if (capture().find(text) != std::string::npos)
                return true;
        return false;
    };
    auto send = [&](const std::string& keys) {
        return std::system((tmux + "send-keys -t t " + keys).c_str()) == 0;
    };
    struct Server {
        std::string tmux;
        ~Server() { std::system((tmux + "kill-server 2>/dev/null").c_str()); }
    } server{tmux};
    ASSERT_EQ(
        std::system((tmux + "new-session -d -s t -x 100 -y 20 -c " +
                     shellQuoted(dir.path().string()) + " " +
                     shellQuoted(shellQuoted(kProgram.string()) + "; echo ended $?; sleep 10"))
                        .c_str()),
        0);
    ASSERT_TRUE(shows("_$")) << capture();
    ASSERT_TRUE(send("'(setq x 42)' Enter"));
    ASSERT_TRUE(shows("42\n_$")) << capture();
    ASSERT_TRUE(send("'(list 1 2'"));
    ASSERT_TRUE(shows("_$ (list 1 2")) << capture();
    ASSERT_TRUE(send("C-c"));
    ASSERT_TRUE(shows("_$ (list 1 2\n_$")) << capture();
    ASSERT_TRUE(send("'(load \"slow.fifo\")' Enter"));
    // The load waits in the FIFO once a reader has it open; a writer that opens it then and
    // writes nothing keeps the load waiting for bytes until Ctrl-C.
    int writer = -1;
    for (int i = 0; i < 200 && writer < 0; ++i, ::usleep(50000))
        writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0) << capture();
    ASSERT_TRUE(send("C-c"));
    const bool cancelled = shows("; error: cancelled\n_$");
    ::close(writer);
    ASSERT_TRUE(cancelled) << capture();
    ASSERT_TRUE(send("'(list x 7)' Enter"));
    ASSERT_TRUE(shows("(42 7)\n_$")) << capture();
    ASSERT_TRUE(send("C-d"));
    ASSERT_TRUE(shows("ended ")) << capture();
    const std::string text = capture();
    EXPECT_NE(text.find("_$ (list 1 2\n_$ (load"), std::string::npos) << text;
    EXPECT_NE(text.find("; error: cancelled\n_$ (list x 7)\n(42 7)\n_$"), std::string::npos)
        << text;
    EXPECT_NE(text.find("ended 0"), std::string::npos) << text;
}

} // namespace
