// The example scripts of examples/, run as a user runs them: by the built program, unchanged,
// over a folder of copies of the example drawings and of binary drawings (one of them of a
// version that is read but not saved, one cut short). Their screen output and the files they write are compared
// with what is expected in examples/ beside this test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testing_support::readFile;

const fs::path kSource = SUMLEAF_SOURCE_DIR;
const fs::path kExpected = kSource / "tests" / "minihost" / "program" / "examples";
const fs::path kProgram = fs::path(SUMLEAF_BINARY_DIR) / "minihost";

// The folder the scripts work on.
void copyDrawings(const fs::path& to) {
    for (const auto& entry : fs::directory_iterator(kSource / "examples"))
        if (entry.path().extension() == ".dxf")
            fs::copy_file(entry.path(), to / entry.path().filename());
    const fs::path binary = testing_support::sharedDrawings().parent_path() / "dwg";
    for (const char* name : {"r2010_custom.dwg", "r2018_plain.dwg", "r2000_plain.dwg"}) {
        fs::copy_file(binary / name, to / name);
        fs::permissions(to / name, fs::perms::owner_write, fs::perm_options::add);
    }
    const std::string whole = readFile(binary / "r2018_plain.dwg");
    testing_support::writeFile(to / "damaged.dwg", whole.substr(0, whole.size() / 2));
}

struct Example {
    const char* name;
    // Runs in the same folder, one after the other: `minihost ARGS examples/SCRIPT`.
    std::vector<std::pair<std::string, std::string>> runs;
    const char* writtenFile; // a file the script writes, compared too; "" for none
};

class ExampleScript : public ::testing::TestWithParam<Example> {};

TEST_P(ExampleScript, RunsUnchangedOverAFolderOfDrawings) {
    const Example& example = GetParam();
    testing_support::TempDir dir;
    copyDrawings(dir.path());
    for (const auto& [args, script] : example.runs) {
        std::string command = "cd '" + dir.path().string() + "' && '" + kProgram.string() + "' " +
                              args + " '" + (kSource / "examples" / script).string() +
                              "' >>.stdout 2>>.stderr";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    EXPECT_EQ(readFile(dir / ".stdout"),
              readFile(kExpected / (std::string(example.name) + ".out")));
    EXPECT_EQ(readFile(dir / ".stderr"), "");
    if (*example.writtenFile) {
        EXPECT_EQ(readFile(dir / example.writtenFile), readFile(kExpected / example.writtenFile));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ExampleScript,
    ::testing::Values(Example{"export-csv", {{"", "export-csv.lsp"}}, "register.csv"},
                      Example{"missing-properties", {{"", "missing-properties.lsp"}}, ""},
                      // The stamp is saved: a second program finds the new values in the files.
                      Example{"stamp-revision",
                              {{"", "stamp-revision.lsp"},
                               {"-e '(setq revision \"D\" project-number \"P-2024-017\")'",
                                "stamp-revision.lsp"},
                               {"-e '(setq required (list \"RevisionNumber\" \"Project number\"))'",
                                "missing-properties.lsp"}},
                              ""}),
    [](const auto& info) {
        std::string id = info.param.name;
        for (char& c : id)
            if (c == '-')
                c = '_';
        return id;
    });

} // namespace
