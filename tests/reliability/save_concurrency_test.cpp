// Concurrency: saves racing each other and other programs changing a drawing's file after it
// was read. A save that reports success is in the file; one that would overwrite a change made
// since its drawing was read fails and leaves the change as it is.
#include <gtest/gtest.h>

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "host/arxhost.h"
#include "props/property_update.h"
#include "shared_folder.h"
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

struct Change {
    const char* what;
    void (*apply)(const fs::path& path, const std::string& bytes);
};

const Change kChanges[] = {
    {"rewritten in place",
     [](const fs::path& path, const std::string& bytes) { writeFile(path, bytes); }},
    {"replaced by a new file",
     [](const fs::path& path, const std::string& bytes) {
         writeFile(path.string() + ".new", bytes);
         fs::rename(path.string() + ".new", path);
     }},
};

// A drawing open in the host whose file another program then changes: saving it fails with a
// clear status and leaves the other program's file as it is, with nothing beside it.
TEST(SaveConcurrency, AFileChangedSinceItWasReadIsNotOverwritten) {
    for (const Change& change : kChanges) {
        SCOPED_TRACE(change.what);
        testing_support::TempDir dir;
        const fs::path path = dir / "drawing.dwg", other = dir / "other.dwg";
        ASSERT_TRUE(makeDrawing(path, L"ours"));
        ASSERT_TRUE(makeDrawing(other, L"theirs, and a longer title than ours"));
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
                  change.apply == kChanges[0].apply ? Acad::eFileSharingViolation : Acad::eOk)
            << "the part of the file a save copies was rewritten under it";
        // Nor does a copy saved in between make the drawing forget what its file was.
        EXPECT_EQ(db.saveAs(wide.c_str(), false, AcDb::kDHL_CURRENT), Acad::eFileSharingViolation);
        EXPECT_EQ(readFile(path), theirs);
    }
}

} // namespace
