// Save fault sweep: every system call of a save failing in turn, through the database's saveAs
// and through setsumleaf on a closed drawing, with and without a file and a backup at the path,
// and on a file system that refuses hard links.
// Whatever fails, the path holds the old or the new drawing completely, the status or the LISP
// result says which, an older backup stays unless the save succeeded, no temporary file
// remains, and the same save succeeds when tried again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <sys/xattr.h>

#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "minihost/drawing/file/file_faults.h"
#include "props/lisp_functions.h"
#include "props/property_update.h"
#include "tests/support/chain_text.h"
#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;
using minihost::CallResult;
using minihost::FileOp;
using testing_support::listing;
using testing_support::readFile;
using testing_support::wide;
using testing_support::writeFile;

namespace {

constexpr int kOps = static_cast<int>(FileOp::kCount);
const char* const kOldBackup = "an older backup, not a drawing";

struct Case {
    const char* name;
    enum Route { SaveAs, SaveAsNew, SetSumleaf } route;
    bool existing;                // a drawing is at the path before the save
    bool backup;                  // the save keeps the previous file as the backup
    bool oldBackup;               // a backup is already there
    const char* binary = nullptr; // a shared binary drawing (under shared/dwg) instead of DXF
    bool noLinks = false;         // the file system refuses hard links (FAT, many shares)
    bool link = false; // HyperlinkBase changes too: a binary drawing's header section is rewritten
};

// Test names in reports: the case's own name.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class SaveSweep : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        minihost::closeAllDocuments();
        minihost::clearFaults();
        minihost::clearFileFaults();
        // Named for what they hold: a binary drawing is never named .dxf.
        const std::string extension = GetParam().binary ? ".dwg" : ".dxf";
        source = dir / ("source" + extension);
        target = GetParam().existing ? source : dir / ("target" + extension);
        if (GetParam().binary) {
            // A title long enough to move the summary to a new page, as most edits do.
            newTitle.assign(200, L'n');
            const fs::path real =
                testing_support::sharedDrawings().parent_path() / "dwg" / GetParam().binary;
            if (!testing_support::haveSharedDrawings())
                GTEST_SKIP() << "the shared drawings are not beside the clone";
            original = readFile(real);
            return;
        }
        AcDbDatabase db(true, false);
        ASSERT_EQ(ApplyPropertyPairs(&db, {{L"Title", L"old"}, {L"Client", L"ACME"}}, true),
                  Acad::eOk);
        ASSERT_EQ(db.saveAs(wide(source.string()).c_str(), false, AcDb::kDHL_CURRENT), Acad::eOk);
        original = readFile(source);
    }
    void TearDown() override {
        minihost::clearFileFaults();
        minihost::closeAllDocuments();
    }

    // The key of the second pair a save writes: HyperlinkBase or a custom property.
    const wchar_t* linkKey() const { return GetParam().link ? L"HyperlinkBase" : L"Other"; }

    fs::path backupPath() const { return fs::path(target).replace_extension(".bak"); }

    // The folder as each run starts.
    void prepare() {
        for (const std::string& name : listing(dir.path()))
            fs::remove(dir / name);
        writeFile(source, original);
        // An attribute, so that copying attributes is swept too.
        ::setxattr(source.c_str(), "user.project", "bridge", 6, 0);
        if (GetParam().oldBackup)
            writeFile(backupPath(), kOldBackup);
    }

    // One save by the case's route, with `arm` planning the faults just before it (for
    // setsumleaf before the call, whose reading of the file is then swept too). Returns whether
    // the save reported success. For saveAs, `retry` saves once more, without faults, from the
    // same database: a failed save must leave it able to save.
    bool run(const std::function<void()>& arm, bool retry = false) {
        const std::wstring to = wide(target.string());
        if (GetParam().route == Case::SetSumleaf) {
            resbuf* args =
                acutBuildList(RTSTR, to.c_str(), RTT, RTSTR, L"Title", RTSTR, newTitle.c_str(),
                              RTSTR, linkKey(), RTSTR, newTitle.c_str(), RTNONE);
            arm();
            CallResult result = minihost::callHandler(SetSumleafHandler, 0, args);
            acutRelRb(args);
            EXPECT_EQ(result.handlerReturned, 1);
            const bool saved = result.kind == CallResult::Value;
            EXPECT_TRUE(saved || result.kind == CallResult::NoResult);
            acutRelRb(result.value);
            return saved;
        }
        AcDbDatabase db(false, true);
        EXPECT_EQ(db.readDwgFile(wide(source.string()).c_str(), AcDbDatabase::kForReadAndReadShare,
                                 false, nullptr),
                  Acad::eOk);
        EXPECT_EQ(ApplyPropertyPairs(&db, {{L"Title", newTitle}, {linkKey(), newTitle}}, false),
                  Acad::eOk);
        db.setRetainOriginalThumbnailBitmap(true);
        arm();
        const bool saved =
            db.saveAs(to.c_str(), GetParam().backup, AcDb::kDHL_CURRENT, nullptr) == Acad::eOk;
        if (retry) {
            minihost::clearFileFaults();
            EXPECT_EQ(db.saveAs(to.c_str(), false, AcDb::kDHL_CURRENT, nullptr), Acad::eOk)
                << "the database cannot save again after a failed save";
            EXPECT_TRUE(readFile(target) == expected) << "the second save wrote something else";
        }
        return saved;
    }

    // The path holds the old drawing (or nothing, when there was none) or the new one, as
    // `saved` says; the backup is the old drawing after a successful save and otherwise what it
    // was; nothing else is left.
    void check(bool saved) {
        const bool hasNew = fs::exists(target) && readFile(target) == expected;
        EXPECT_EQ(saved, hasNew) << "the outcome does not tell what the path holds";
        if (!hasNew) {
            if (GetParam().existing) {
                EXPECT_TRUE(readFile(target) == original) << "the path holds neither drawing";
            } else {
                EXPECT_FALSE(fs::exists(target)) << "a failed save left a file at the path";
            }
        }
        if (GetParam().backup && GetParam().existing && hasNew) {
            EXPECT_TRUE(readFile(backupPath()) == original) << "the backup is not the old drawing";
        } else if (GetParam().oldBackup) {
            EXPECT_EQ(readFile(backupPath()), kOldBackup) << "the older backup changed";
        } else {
            EXPECT_FALSE(fs::exists(backupPath())) << "a backup appeared";
        }
        for (const std::string& name : listing(dir.path()))
            EXPECT_TRUE(name == source.filename() || name == target.filename() ||
                        name == backupPath().filename())
                << name << " left behind";
        minihost::LiveCounts live = minihost::liveCounts();
        EXPECT_EQ(live.nodes + live.strings + live.databases + live.iterators, 0);
    }

    testing_support::TempDir dir;
    fs::path source, target;
    std::string original, expected;
    std::wstring newTitle = L"new";
};

TEST_P(SaveSweep, EverySystemCallFailingInTurnLeavesAWholeDrawing) {
    // Every fault is planned on a file system that refuses links, for the cases on one.
    auto clean = [] {
        minihost::clearFileFaults();
        if (GetParam().noLinks)
            minihost::failFileOp(FileOp::Link, 1, EPERM, true);
    };
    // The save without faults: what it writes, and how often it makes each call.
    prepare();
    ASSERT_TRUE(run(clean));
    expected = readFile(target);
    ASSERT_NE(expected, original);
    long calls[kOps];
    for (int op = 0; op < kOps; ++op)
        calls[op] = minihost::fileOpCount(static_cast<FileOp>(op));

    int injected = 0;
    for (int op = 0; op < kOps; ++op) {
        for (long nth = 1; nth <= calls[op]; ++nth) {
            for (int err : {EIO, ENOSPC, 0}) {
                const FileOp which = static_cast<FileOp>(op);
                if (err == 0 && which != FileOp::Write && which != FileOp::Copy)
                    continue; // a short transfer exists for writes and copies only
                if (GetParam().noLinks && which == FileOp::Link)
                    continue; // every link is refused already
                SCOPED_TRACE(testing::Message()
                             << "call " << nth << " of operation " << op << ", error " << err);
                auto arm = [&] {
                    clean();
                    minihost::failFileOp(which, nth, err);
                };
                prepare();
                const bool saved = run(arm, GetParam().route != Case::SetSumleaf);
                minihost::clearFileFaults();
                if (GetParam().route != Case::SetSumleaf) {
                    // The retry put the new drawing at the path: what the failed save itself
                    // left is checked in a run without the retry.
                    prepare();
                    const bool again = run(arm);
                    minihost::clearFileFaults();
                    EXPECT_EQ(again, saved);
                    check(again);
                } else {
                    check(saved);
                }
                if (err == 0) {
                    EXPECT_TRUE(saved) << "a short transfer is no failure";
                }
                ++injected;
            }
        }
    }
    EXPECT_GE(injected, 15);
    std::printf("%s: %d faults injected\n", GetParam().name, injected);
}

const Case kCases[] = {
    {"SaveAsOverItself", Case::SaveAs, true, false, false},
    {"SaveAsOverItselfWithBackup", Case::SaveAs, true, true, false},
    {"SaveAsOverItselfReplacingABackup", Case::SaveAs, true, true, true},
    {"SaveAsToANewPath", Case::SaveAsNew, false, true, false},
    {"SaveAsToANewPathBesideABackup", Case::SaveAsNew, false, true, true},
    {"SetSumleafOnAClosedDrawing", Case::SetSumleaf, true, true, false},
    {"SetSumleafReplacingABackup", Case::SetSumleaf, true, true, true},
    {"BinarySaveAsOverItselfWithBackup", Case::SaveAs, true, true, false, "r2013_plain.dwg"},
    {"BinarySaveAsToANewPathWithHyperlinkBase", Case::SaveAsNew, false, true, false,
     "r2004_summary.dwg", false, true},
    {"BinarySetSumleafOnAClosedDrawingWithHyperlinkBase", Case::SetSumleaf, true, true, false,
     "r2010_custom.dwg", false, true},
    {"WithoutLinksSaveAsOverItselfReplacingABackup", Case::SaveAs, true, true, true, nullptr, true},
    {"WithoutLinksSaveAsToANewPath", Case::SaveAsNew, false, true, false, nullptr, true},
    {"WithoutLinksSetSumleafOnAClosedDrawing", Case::SetSumleaf, true, true, false, nullptr, true},
    {"WithoutLinksBinarySaveAsOverItself", Case::SaveAs, true, true, false, "r2013_plain.dwg",
     true},
};

INSTANTIATE_TEST_SUITE_P(Saves, SaveSweep, ::testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
