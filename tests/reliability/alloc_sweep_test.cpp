// Allocation-failure sweep: each call below is run again and again, the nth allocation of the
// run failing (the host's and the module's alike), for n = 1, 2, ... until a run completes
// without reaching n. Every run must end with the handler's 1, nothing live, the LISP result the
// correct list or none, and the drawing file as it was or completely updated.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "tests/reliability/alloc_fault.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/frame/documents.h"
#include "minihost/frame/external_calls.h"
#include "minihost/runtime/fault.h"
#include "props/lisp_functions.h"
#include "props/property_update.h"
#include "tests/support/ac1021_maker.h"
#include "tests/support/chain_text.h"
#include "tests/support/property_lists.h"
#include "tests/support/required_program.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define SUMLEAF_LSAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SUMLEAF_LSAN 1
#endif
#endif
#ifdef SUMLEAF_LSAN
#include <sanitizer/lsan_interface.h>
#endif

namespace fs = std::filesystem;
using minihost::CallResult;
using testing_support::chainText;
using testing_support::listing;
using testing_support::listOf;
using testing_support::listOfFile;
using testing_support::readFile;
using testing_support::wide;

namespace {

AcDbDatabase* working() {
    return acdbHostApplicationServices()->workingDatabase();
}

// A property list as (key, value) pairs in list order; false when the chain is no such list.
using Props = std::vector<std::pair<std::wstring, std::wstring>>;
bool parse(const resbuf* rb, Props& out) {
    out.clear();
    if (!rb || rb->restype != RTLB)
        return false;
    for (rb = rb->rbnext; rb && rb->restype == RTLB; rb = rb->rbnext) {
        const resbuf* key = rb->rbnext;
        const resbuf* value = key ? key->rbnext : nullptr;
        const resbuf* end = value ? value->rbnext : nullptr;
        if (!end || key->restype != RTSTR || value->restype != RTSTR || end->restype != RTLE)
            return false;
        out.emplace_back(key->resval.rstring, value->resval.rstring);
        rb = end;
    }
    return rb && rb->restype == RTLE && !rb->rbnext;
}

Props propsOf(AcDbDatabase* db) {
    AcDbDatabase* saved = working();
    acdbHostApplicationServices()->setWorkingDatabase(db);
    CallResult own = minihost::callHandler(GetSumleafHandler, 1, nullptr);
    acdbHostApplicationServices()->setWorkingDatabase(saved);
    Props props;
    EXPECT_TRUE(parse(own.value, props));
    acutRelRb(own.value);
    return props;
}

Props propsOfFile(const fs::path& path) {
    AcDbDatabase db(false, true);
    EXPECT_EQ(db.readDwgFile(wide(path.string()).c_str(), AcDbDatabase::kForReadAndReadShare, false,
                             nullptr),
              Acad::eOk);
    return propsOf(&db);
}

// Whether `shown` is `full` as the list may show it when the host refuses storage on the way:
// built-in values may read "", and properties may be missing, but nothing is made up, changed
// or reordered.
bool degradedViewOf(const Props& shown, const Props& full) {
    std::size_t i = 0;
    for (std::size_t j = 0; j < full.size() && i < shown.size(); ++j) {
        if (shown[i].first != full[j].first)
            continue;
        if (shown[i].second == full[j].second || (j < 8 && shown[i].second.empty()))
            ++i;
        else
            return false;
    }
    return i == shown.size();
}

// Whether `after` can come of writing `pairs` into `before`, when the host may refuse any one
// step (a setter's or a removal's status is ignored): every built-in value is the old one, the
// new one or, when clearing, ""; every custom property was there before or is one of the pairs.
bool plausibleUpdate(const Props& before, const Props& after, const Props& pairs, bool clearing) {
    if (after.size() < 8 || before.size() < 8)
        return false;
    auto requested = [&](const std::wstring& key, const std::wstring& value, bool builtIn) {
        for (const auto& [k, v] : pairs)
            if ((builtIn ? _wcsicmp(k.c_str(), key.c_str()) == 0 : k == key) && v == value)
                return true;
        return false;
    };
    for (std::size_t i = 0; i < 8; ++i) {
        const auto& [key, value] = after[i];
        if (key != before[i].first)
            return false;
        if (!(value == before[i].second || (clearing && value.empty()) ||
              requested(key, value, true)))
            return false;
    }
    for (std::size_t i = 8; i < after.size(); ++i) {
        const auto& entry = after[i];
        // A removal the host refused leaves an old property even when clearing.
        bool old = std::find(before.begin() + 8, before.end(), entry) != before.end();
        if (!old && !requested(entry.first, entry.second, false))
            return false;
    }
    return true;
}

std::string text(const Props& props) {
    std::string out;
    for (const auto& [k, v] : props)
        out += "(" + testing_support::utf8(k) + " " + testing_support::utf8(v) + ")";
    return out;
}

// What one run of a call left behind.
struct Outcome {
    CallResult::Kind kind;
    std::string result; // the list as text, when there is one
    Props props;        // and as pairs
    int returned;
    bool reached; // the planned allocation failure happened
    long allocations;
};

// One call of a handler against a drawing in one of three places.
struct Case {
    const char* name;
    bool isSet;
    enum Where { Working, OpenDocument, ClosedDrawing } where;
    const char* realDrawing; // a shared real drawing (path under shared/) instead of a made one
    std::function<resbuf*(const std::wstring& path)> args; // the call's arguments
    Props pairs;                                           // what a set writes
    bool clearing = false;
    bool noLinks = false; // on a file system that refuses hard links
    bool ac1021 = false;  // a made AC1021 drawing instead of a DXF one
};

// Test names in reports: the case's own name.
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

class AllocSweep : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override {
        minihost::closeAllDocuments();
        minihost::clearFaults();
        // Named for what it holds: a binary drawing is never named .dxf.
        const char* real = GetParam().realDrawing;
        const std::string made = GetParam().ac1021 ? ".dwg" : ".dxf";
        path = dir / ("drawing" + (real ? fs::path(real).extension().string() : made));
        if (real) {
            if (!testing_support::haveSharedDrawings())
                GTEST_SKIP() << "the shared drawings are not beside the clone";
            original = readFile(testing_support::sharedDrawings().parent_path() / real);
        } else if (GetParam().ac1021) {
            minihost::SummaryData summary;
            summary.builtIn[minihost::kTitle] = L"file title";
            summary.custom.emplace_back(L"Client", L"ACME");
            original = ac1021_maker::make(ac1021_maker::summarySection(summary), {}).file;
        } else {
            AcDbDatabase db(true, false);
            ASSERT_EQ(ApplyPropertyPairs(&db,
                                         {{L"Title", L"file title"},
                                          {L"Author", L"someone"},
                                          {L"Client", L"ACME"},
                                          {L"Job", L"42"}},
                                         true),
                      Acad::eOk);
            ASSERT_EQ(db.saveAs(wide(path.string()).c_str(), false, AcDb::kDHL_CURRENT), Acad::eOk);
            original = readFile(path);
        }
    }
    void TearDown() override {
        minihost::closeAllDocuments();
        minihost::clearFaults();
    }

    // Puts the drawing, the documents and the working drawing back as each run starts.
    void prepare() {
        minihost::closeAllDocuments();
        testing_support::writeFile(path, original);
        fs::remove(dir / "drawing.bak");
        ASSERT_EQ(ApplyPropertyPairs(working(),
                                     {{L"Title", L"working"}, {L"Keywords", L"k"}, {L"Old", L"1"}},
                                     true),
                  Acad::eOk);
        if (GetParam().where == Case::OpenDocument) {
            std::string error;
            document = minihost::openDocument(wide(path.string()), error);
            ASSERT_NE(document, nullptr) << error;
            ASSERT_EQ(ApplyPropertyPairs(document->database(), {{L"Subject", L"in memory"}}, false),
                      Acad::eOk);
        }
        if (originalList.empty()) {
            originalList = targetList();
            originalProps = targetProps();
        }
    }

    // The properties of the drawing the call works on, as they stand now.
    std::string targetList() {
        switch (GetParam().where) {
        case Case::Working:
            return listOf(working());
        case Case::OpenDocument:
            return listOf(document->database());
        case Case::ClosedDrawing:
            break;
        }
        return listOfFile(path);
    }

    Props targetProps() {
        switch (GetParam().where) {
        case Case::Working:
            return propsOf(working());
        case Case::OpenDocument:
            return propsOf(document->database());
        case Case::ClosedDrawing:
            break;
        }
        return propsOfFile(path);
    }

    Outcome run(long failAt) {
        resbuf* args = GetParam().args(wide(path.string()));
        minihost::clearFileFaults();
        if (GetParam().noLinks)
            minihost::failFileOp(minihost::FileOp::Link, 1, EPERM, true);
        alloc_fault::arm(failAt);
        CallResult result = GetParam().isSet ? minihost::callHandler(SetSumleafHandler, 0, args)
                                             : minihost::callHandler(GetSumleafHandler, 1, args);
        const long allocations = alloc_fault::disarm();
        minihost::clearFileFaults();
        Outcome out{result.kind,
                    result.value ? chainText(result.value) : "",
                    {},
                    result.handlerReturned,
                    alloc_fault::failed(),
                    allocations};
        if (result.value) {
            EXPECT_TRUE(parse(result.value, out.props)) << out.result;
        }
        acutRelRb(result.value);
        acutRelRb(args);
        return out;
    }

    testing_support::TempDir dir;
    fs::path path;
    std::string original;
    std::string originalList;
    Props originalProps;
    AcApDocument* document = nullptr;
};

TEST_P(AllocSweep, EveryAllocationFailingInTurnLosesNothing) {
    // The call without faults: what it returns and what it leaves.
    prepare();
    const Outcome clean = run(0);
    ASSERT_EQ(clean.kind, CallResult::Value);
    ASSERT_EQ(clean.returned, 1);
    const std::string expected = clean.result;
    EXPECT_EQ(targetList(), expected);
    ASSERT_GT(clean.allocations, 0);
    // Without a document iterator no open document matches, and the file is read and saved
    // instead (the host's iterator needs storage): the open document is then left alone.
    const bool mayWriteFile = GetParam().isSet && GetParam().where != Case::Working;

    long n = 1;
    int withList = 0, withoutList = 0, exact = 0;
    for (;; ++n) {
        prepare();
        SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << clean.allocations);
        const Outcome faulty = run(n);
        if (faulty.kind == CallResult::NotDefined) {
            // The host could not even start the call: nothing ran.
            EXPECT_EQ(faulty.returned, 0);
        } else {
            EXPECT_EQ(faulty.returned, 1);
            if (faulty.kind == CallResult::Value) {
                ++withList;
            } else {
                EXPECT_TRUE(faulty.kind == CallResult::Nil || faulty.kind == CallResult::NoResult);
                EXPECT_TRUE(GetParam().isSet || faulty.kind == CallResult::Nil)
                    << "getsumleaf answers nil before anything else";
                ++withoutList;
            }
        }
        minihost::LiveCounts live = minihost::liveCounts();
        EXPECT_EQ(live.nodes, 0);
        EXPECT_EQ(live.strings, 0);
        EXPECT_EQ(live.databases, 0);
        EXPECT_EQ(live.iterators, 0);
#ifdef SUMLEAF_LSAN
        EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "memory leaked";
#endif
        // The file: as it was, or a complete new drawing with the old one as its backup.
        const std::string now = readFile(path);
        Props fileProps;
        if (now != original) {
            EXPECT_TRUE(mayWriteFile) << "a call that does not save changed the file";
            fileProps = propsOfFile(path);
            EXPECT_EQ(readFile(dir / "drawing.bak"), original);
        }
        for (const std::string& name : listing(dir.path()))
            EXPECT_TRUE(name == path.filename() || name == "drawing.bak") << name << " left behind";

        // The drawing's properties now, and what the call answered about them.
        const Props state = targetProps();
        if (!GetParam().isSet) {
            EXPECT_EQ(targetList(), originalList) << "getsumleaf changed the drawing";
        } else {
            EXPECT_TRUE(
                plausibleUpdate(originalProps, state, GetParam().pairs, GetParam().clearing))
                << text(state);
        }
        if (faulty.kind == CallResult::Value) {
            const Props& truth = !GetParam().isSet ? originalProps
                                 : now != original ? fileProps
                                                   : state;
            EXPECT_TRUE(degradedViewOf(faulty.props, truth)) << faulty.result;
            if (faulty.result == expected)
                ++exact;
        }
        if (!faulty.reached)
            break;
        if (HasFailure())
            break; // one report per case is enough to find the fault
    }
    EXPECT_GT(n, clean.allocations / 2) << "the sweep stopped early";
    EXPECT_GT(withoutList + withList - exact, 0) << "no allocation failure showed";
    RecordProperty("runs", static_cast<int>(n));
    std::printf("%s: %ld runs: %d with the list (%d of them complete), %d without\n",
                GetParam().name, n, withList, exact, withoutList);
}

resbuf* pathOnly(const std::wstring& path) {
    return acutBuildList(RTSTR, path.c_str(), RTNONE);
}

const Case kCases[] = {
    {"GetWorking", false, Case::Working, nullptr, [](const std::wstring&) { return nullptr; }, {}},
    {"GetOpenDocument", false, Case::OpenDocument, nullptr, pathOnly, {}},
    {"GetClosedDrawing", false, Case::ClosedDrawing, nullptr, pathOnly, {}},
    {"GetRealDrawing", false, Case::ClosedDrawing, "drawings/sample_2018.dxf", pathOnly, {}},
    {"GetBinaryDrawing", false, Case::ClosedDrawing, "dwg/r2010_custom.dwg", pathOnly, {}},
    {"GetAc1015Drawing", false, Case::ClosedDrawing, "dwg2000/r2000_props_full.dwg", pathOnly, {}},
    {"GetAc1021Drawing", false, Case::ClosedDrawing, nullptr, pathOnly, {}, false, false, true},
    {"SetWorkingClearing",
     true,
     Case::Working,
     nullptr,
     [](const std::wstring&) {
         return acutBuildList(RTSHORT, 1, RTSTR, L"Title", RTSTR, L"new", RTSTR, L"Client", RTSTR,
                              L"X", RTNONE);
     },
     {{L"Title", L"new"}, {L"Client", L"X"}},
     true},
    {"SetWorkingMerging",
     true,
     Case::Working,
     nullptr,
     [](const std::wstring&) {
         return acutBuildList(RTT, RTSTR, L"author", RTSTR, L"me", RTLB, RTSTR, L"Old", RTSTR, L"2",
                              RTLE, RTNONE);
     },
     {{L"author", L"me"}, {L"Old", L"2"}}},
    {"SetOpenDocumentMerging",
     true,
     Case::OpenDocument,
     nullptr,
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"Client", RTSTR, L"changed", RTSTR,
                              L"New", RTSTR, L"n", RTNONE);
     },
     {{L"Client", L"changed"}, {L"New", L"n"}}},
    {"SetClosedDrawingClearing",
     true,
     Case::ClosedDrawing,
     nullptr,
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTSTR, L"Title", RTSTR, L"t", RTSTR, L"Extra",
                              RTSTR, L"e", RTNONE);
     },
     {{L"Title", L"t"}, {L"Extra", L"e"}},
     true},
    {"SetClosedDrawingMerging",
     true,
     Case::ClosedDrawing,
     nullptr,
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"Client", RTSTR, L"changed", RTSTR,
                              L"Comments", RTSTR, L"c", RTNONE);
     },
     {{L"Client", L"changed"}, {L"Comments", L"c"}}},
    {"SetBinaryDrawingMerging",
     true,
     Case::ClosedDrawing,
     "dwg/r2010_custom.dwg",
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"Title", RTSTR, L"binary", RTSTR,
                              L"Added", RTSTR, L"a", RTNONE);
     },
     {{L"Title", L"binary"}, {L"Added", L"a"}}},
    {"SetClosedDrawingWithoutLinks",
     true,
     Case::ClosedDrawing,
     nullptr,
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"Client", RTSTR, L"changed",
                              RTNONE);
     },
     {{L"Client", L"changed"}},
     false,
     true},
    {"SetBinaryDrawingHyperlinkBase", // both copies, in a drawing whose code page lacks one
     true,
     Case::ClosedDrawing,
     "dwg/r2004_summary.dwg",
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"HyperlinkBase", RTSTR,
                              L"https://\x4E2D.example/", RTNONE);
     },
     {{L"HyperlinkBase", L"https://\x4E2D.example/"}}},
    {"SetRealDrawingMerging",
     true,
     Case::ClosedDrawing,
     "drawings/sample_2018.dxf",
     [](const std::wstring& path) {
         return acutBuildList(RTSTR, path.c_str(), RTT, RTSTR, L"Title", RTSTR, L"real", RTNONE);
     },
     {{L"Title", L"real"}}},
};

INSTANTIATE_TEST_SUITE_P(Calls, AllocSweep, ::testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
