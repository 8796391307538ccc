// The document manager: open documents in opening order, the current document, reactors.
#include "minihost/frame/documents.h"

#include <algorithm>
#include <memory>
#include <new>

#include "host/documents.h"
#include "host/database.h"
#include "host/wide_runtime.h"
#include "minihost/drawing/database_impl.h"
#include "minihost/runtime/fault.h"
#include "minihost/frame/frame_internal.h"

void AcApDocManagerReactor::documentCreated(AcApDocument*) {}
void AcApDocManagerReactor::documentToBeDestroyed(AcApDocument*) {}
void AcApDocManagerReactor::documentBecameCurrent(AcApDocument*) {}

namespace minihost {

class OpenDocument : public AcApDocument {
  public:
    // Takes ownership of `database`.
    OpenDocument(std::wstring fileName, AcDbDatabase* database)
        : mFileName(std::move(fileName)), mpDatabase(database) {
        setDatabaseOwned(database, true);
    }
    ~OpenDocument() override { delete mpDatabase; }

    const ACHAR* fileName() const override { return mFileName.c_str(); }
    AcDbDatabase* database() const override { return mpDatabase; }

  private:
    std::wstring mFileName;
    AcDbDatabase* mpDatabase;
};

namespace {

class DocumentIterator : public AcApDocumentIterator {
  public:
    explicit DocumentIterator(std::vector<AcApDocument*> documents)
        : mDocuments(std::move(documents)) {
        accounting::iterators(1);
    }
    ~DocumentIterator() override { accounting::iterators(-1); }

    bool done() const override { return mIndex >= mDocuments.size(); }
    void step() override {
        if (!done())
            ++mIndex;
    }
    AcApDocument* document() override { return done() ? nullptr : mDocuments[mIndex]; }

  private:
    std::vector<AcApDocument*> mDocuments; // as they were when the iterator was made
    std::size_t mIndex = 0;
};

class DocManager : public AcApDocManager {
  public:
    // The working database while no document is open: the host's own new drawing.
    DocManager() : mHostDatabase(acdbHostApplicationServices()->workingDatabase()) {}

    AcApDocumentIterator* newAcApDocumentIterator() override {
        if (faultHit(HostOp::NewIterator))
            return nullptr;
        try {
            return new DocumentIterator(openDocuments());
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }

    void addReactor(AcApDocManagerReactor* reactor) override {
        if (!reactor || isReactor(reactor))
            return;
        try {
            mReactors.push_back(reactor);
        } catch (const std::bad_alloc&) {
        }
    }

    void removeReactor(AcApDocManagerReactor* reactor) override {
        mReactors.erase(std::remove(mReactors.begin(), mReactors.end(), reactor), mReactors.end());
    }

    AcApDocument* curDocument() const override { return mCurrent; }
    int documentCount() const override { return static_cast<int>(mDocuments.size()); }

    bool isReactor(AcApDocManagerReactor* reactor) const {
        return std::find(mReactors.begin(), mReactors.end(), reactor) != mReactors.end();
    }

    // Calls `event` on every reactor; one may remove itself or another while being told.
    template <class Event> void notify(Event event) {
        std::vector<AcApDocManagerReactor*> snapshot;
        try {
            snapshot = mReactors;
        } catch (const std::bad_alloc&) {
            return;
        }
        for (AcApDocManagerReactor* reactor : snapshot)
            if (isReactor(reactor))
                event(reactor);
    }

    bool isOpen(AcApDocument* document) const {
        return std::find(mDocuments.begin(), mDocuments.end(), document) != mDocuments.end();
    }

    void setCurrent(AcApDocument* document) {
        mCurrent = document;
        acdbHostApplicationServices()->setWorkingDatabase(document ? document->database()
                                                                   : mHostDatabase);
    }

    std::vector<OpenDocument*> mDocuments; // owned, in opening order
    std::vector<AcApDocManagerReactor*> mReactors;
    AcApDocument* mCurrent = nullptr;
    AcDbDatabase* mHostDatabase;
};

DocManager* gManager = nullptr;
bool gDestroyed = false;

DocManager* manager() {
    return static_cast<DocManager*>(acDocManagerPtr());
}

std::wstring absoluteFileName(const std::wstring& path) {
    if (path.empty())
        return path;
    std::vector<wchar_t> buffer(path.size() + 4096);
    if (_wfullpath(buffer.data(), path.c_str(), buffer.size()))
        return buffer.data();
    return path;
}

// Adds `database` (owned from here on) as a new current document and tells modules and
// reactors about it.
AcApDocument* addDocument(const std::wstring& fileName, std::unique_ptr<AcDbDatabase> database) {
    DocManager* m = manager();
    if (!m)
        return nullptr;
    OpenDocument* document = nullptr;
    try {
        m->mDocuments.reserve(m->mDocuments.size() + 1);
        document = new OpenDocument(fileName, database.get());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    database.release();
    m->mDocuments.push_back(document);
    m->setCurrent(document);
    m->notify([document](AcApDocManagerReactor* r) { r->documentCreated(document); });
    internal::messageAllModules(3, document);
    if (manager() == m && m->isOpen(document))
        m->notify([document](AcApDocManagerReactor* r) { r->documentBecameCurrent(document); });
    return document;
}

} // namespace

namespace {

// Each status's name and what it means to a user, by value.
const char* const kStatuses[][2] = {
    {"eOk", "success"},
    {"eNotImplementedYet",
     "not available here, such as saving a 2007 (AC1021) drawing or a code page the system "
     "cannot convert"},
    {"eNotApplicable", "not applicable"},
    {"eInvalidInput", "invalid input"},
    {"eKeyNotFound", "key not found"},
    {"eDuplicateKey", "duplicate key"},
    {"eInvalidIndex", "invalid index"},
    {"eOutOfMemory", "out of memory"},
    {"eNullObjectPointer", "null object"},
    {"eFileNotFound", "file not found"},
    {"eFileAccessErr", "the file cannot be accessed"},
    {"eNotADrawing", "not a drawing file"},
    {"eDwgCorrupt", "the drawing file is damaged"},
    {"eDwgNeedsRecovery", "the drawing file is truncated"},
    {"eUnsupportedVersion", "unsupported drawing file version"},
    {"eFileWriteError", "the file cannot be written"},
    {"eFileSystemErr", "file system error"},
    {"eNotSupportedInDwgApi", "not supported"},
    {"eWasOpenForWrite", "the database is already loaded"},
    {"eFileSharingViolation",
     "another program changed the file or where its path leads, or is saving it"},
    {"eDwgCRCError", "a check value of the drawing file does not match"},
    {"eBadDwgHeader", "the drawing file's layout is not one this host reads"},
    {"eInvalidDwgVersion", "a drawing file version newer than this host knows"},
    {"eSecErrorDecryptingData", "the drawing's properties are encrypted"},
    {"eUnsupportedFileFormat", "binary DXF is not read"},
};
constexpr int kStatusCount = static_cast<int>(sizeof kStatuses / sizeof kStatuses[0]);

} // namespace

std::string statusWords(int status) {
    if (status >= 0 && status < kStatusCount)
        return kStatuses[status][1];
    return "status " + std::to_string(status);
}

std::string statusText(int status) {
    if (status >= 0 && status < kStatusCount)
        return std::string(kStatuses[status][0]) + " (" + kStatuses[status][1] + ")";
    return statusWords(status);
}

AcApDocument* openDocument(const std::wstring& path, std::string& error) {
    if (!manager()) {
        error = "there is no document manager";
        return nullptr;
    }
    std::unique_ptr<AcDbDatabase> database;
    try {
        database.reset(new AcDbDatabase(false, true));
    } catch (const std::bad_alloc&) {
        error = statusText(Acad::eOutOfMemory);
        return nullptr;
    }
    Acad::ErrorStatus status = database->readDwgFile(path.c_str());
    if (status != Acad::eOk) {
        error = statusText(status);
        return nullptr;
    }
    AcApDocument* document = nullptr;
    try {
        document = addDocument(absoluteFileName(path), std::move(database));
    } catch (const std::bad_alloc&) {
    }
    if (!document)
        error = statusText(Acad::eOutOfMemory);
    return document;
}

AcApDocument* openNewDocument(const std::wstring& fileName) {
    if (!manager())
        return nullptr;
    try {
        std::wstring name = absoluteFileName(fileName);
        std::unique_ptr<AcDbDatabase> database(new AcDbDatabase(true, false));
        DatabaseState::of(database.get())->fileName = name;
        return addDocument(name, std::move(database));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void closeDocument(AcApDocument* document) {
    DocManager* m = manager();
    if (!m || !document || !m->isOpen(document))
        return;
    AcApDocument* previous = m->mCurrent;
    m->setCurrent(document);
    internal::messageAllModules(4, document);
    m->notify([document](AcApDocManagerReactor* r) { r->documentToBeDestroyed(document); });
    auto it = std::find(m->mDocuments.begin(), m->mDocuments.end(), document);
    if (it == m->mDocuments.end())
        return; // closed while the modules or reactors were told
    OpenDocument* closing = *it;
    m->mDocuments.erase(it);
    internal::forgetDocument(document);
    if (previous != document && m->isOpen(previous)) {
        m->setCurrent(previous);
    } else {
        AcApDocument* next = m->mDocuments.empty() ? nullptr : m->mDocuments.back();
        m->setCurrent(next);
        if (next)
            m->notify([next](AcApDocManagerReactor* r) { r->documentBecameCurrent(next); });
    }
    delete closing;
}

void setCurrentDocument(AcApDocument* document) {
    DocManager* m = manager();
    if (!m || !document || !m->isOpen(document) || m->mCurrent == document)
        return;
    m->setCurrent(document);
    m->notify([document](AcApDocManagerReactor* r) { r->documentBecameCurrent(document); });
}

std::vector<AcApDocument*> openDocuments() {
    DocManager* m = gManager;
    if (!m)
        return {};
    return std::vector<AcApDocument*>(m->mDocuments.begin(), m->mDocuments.end());
}

void closeAllDocuments() {
    while (DocManager* m = gManager) {
        if (m->mDocuments.empty())
            break;
        closeDocument(m->mDocuments.back());
    }
    internal::forgetUnownedDefinitions();
    internal::forgetAllLinkerRequests();
}

void destroyDocumentManager() {
    closeAllDocuments();
    if (gManager) {
        gManager->setCurrent(nullptr);
        delete gManager;
        gManager = nullptr;
    }
    gDestroyed = true;
}

void recreateDocumentManager() {
    gDestroyed = false;
}

int documentReactorCount() {
    return gManager ? static_cast<int>(gManager->mReactors.size()) : 0;
}

namespace internal {
AcApDocument* switchCurrentSilently(AcApDocument* document) {
    DocManager* m = gManager;
    if (!m)
        return nullptr;
    AcApDocument* previous = m->mCurrent;
    if (!document || m->isOpen(document))
        m->setCurrent(document);
    return previous;
}
} // namespace internal

} // namespace minihost

AcApDocManager* acDocManagerPtr() {
    using namespace minihost;
    if (!gManager && !gDestroyed) {
        try {
            gManager = new DocManager;
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return gManager;
}
