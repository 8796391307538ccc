// FindOpenDocumentDatabase on documents the test makes up, with paths as the host's own
// platform writes them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "minihost/runtime/invalid_parameter.h"
#include "props/target_drawing.h"

namespace {

class FakeDocument : public AcApDocument {
  public:
    FakeDocument(std::wstring path, AcDbDatabase* db) : mPath(std::move(path)), mDb(db) {}
    const ACHAR* fileName() const override { return mPath.c_str(); }
    AcDbDatabase* database() const override { return mDb; }

  private:
    std::wstring mPath;
    AcDbDatabase* mDb;
};

class FakeIterator : public AcApDocumentIterator {
  public:
    FakeIterator(std::vector<AcApDocument*> docs, bool* destroyed)
        : mDocs(std::move(docs)), mDestroyed(destroyed) {}
    ~FakeIterator() override { *mDestroyed = true; }
    bool done() const override { return mAt >= mDocs.size(); }
    void step() override { ++mAt; }
    AcApDocument* document() override { return mDocs[mAt]; }

  private:
    std::vector<AcApDocument*> mDocs;
    std::size_t mAt = 0;
    bool* mDestroyed;
};

// Copies that the platform's runtime would end the process for: none may happen.
int gInvalidParameters = 0;
void countInvalidParameter(const char*) {
    ++gInvalidParameters;
}

AcDbDatabase* const kA = reinterpret_cast<AcDbDatabase*>(0xA0);
AcDbDatabase* const kB = reinterpret_cast<AcDbDatabase*>(0xB0);

struct Case {
    const char* what;
    std::vector<std::pair<std::wstring, AcDbDatabase*>> documents; // null database: null document
    const wchar_t* fullPath;
    AcDbDatabase* expected;
};

TEST(OpenDocumentMatch, MatchesWithoutRegardToCaseOrSlashDirection) {
    const std::wstring longPath = L"D:/" + std::wstring(300, L'x') + L".dwg";
    const Case cases[] = {
        {"case and slashes differ", {{L"d:/dwg/a.DWG", kA}}, L"D:\\Dwg\\A.dwg", kA},
        {"first of two equal ones",
         {{L"D:\\DWG\\A.DWG", kA}, {L"d:/dwg/a.dwg", kB}},
         L"d:\\dwg\\a.dwg",
         kA},
        {"later match after others",
         {{L"d:/dwg/b.dwg", kA}, {L"d:/dwg/a.dwg", kB}},
         L"D:\\DWG\\A.DWG",
         kB},
        {"a null document is passed over", {{L"", nullptr}, {L"c:/a.dwg", kB}}, L"C:\\A.DWG", kB},
        {"only slashes are folded, not dots",
         {{L"d:/dwg/./a.dwg", kA}},
         L"d:\\dwg\\a.dwg",
         nullptr},
        {"letters beyond A to Z keep their case",
         {{L"d:/\u00e4.dwg", kA}},
         L"d:/\u00c4.dwg",
         nullptr},
        {"a document path too long for the copy",
         {{longPath, kA}, {L"d:/a.dwg", kB}},
         L"d:\\a.dwg",
         kB},
        {"a full path too long for the copy", {{longPath, kA}}, longPath.c_str(), nullptr},
        {"an empty full path matches no unnamed document", {{L"", kA}}, L"", nullptr},
        {"no documents", {}, L"d:\\a.dwg", nullptr},
    };
    const auto previous = minihost::setInvalidParameterHandler(countInvalidParameter);
    for (const Case& c : cases) {
        gInvalidParameters = 0;
        std::vector<std::unique_ptr<FakeDocument>> owned;
        std::vector<AcApDocument*> docs;
        for (auto& [path, db] : c.documents) {
            if (!db && path.empty()) {
                docs.push_back(nullptr);
                continue;
            }
            owned.push_back(std::make_unique<FakeDocument>(path, db));
            docs.push_back(owned.back().get());
        }
        bool destroyed = false;
        AcDbDatabase* found =
            FindOpenDocumentDatabase(c.fullPath, new FakeIterator(docs, &destroyed));
        EXPECT_EQ(found, c.expected) << c.what;
        EXPECT_TRUE(destroyed) << c.what << ": the iterator is destroyed on every path";
        EXPECT_EQ(gInvalidParameters, 0) << c.what << ": a copy the platform would not survive";
    }
    minihost::setInvalidParameterHandler(previous);
}

} // namespace
