// AcApDataManager<T>: a record of type T per document, kept by a document-manager reactor that
// forgets a document's record when the document is destroyed. A module keeps one as a static
// object: it registers itself with the document manager when constructed and leaves it when
// destroyed.
#pragma once

#include <cstddef>
#include <map>

#include "host/documents.h"

template <class T> class AcApDataManager : public AcApDocManagerReactor {
  public:
    AcApDataManager() {
        if (AcApDocManager* manager = acDocManagerPtr())
            manager->addReactor(this);
    }
    // The manager may already be gone when a module is unloaded during the host's shutdown.
    ~AcApDataManager() override {
        if (AcApDocManager* manager = acDocManagerPtr())
            manager->removeReactor(this);
    }
    AcApDataManager(const AcApDataManager&) = delete;
    AcApDataManager& operator=(const AcApDataManager&) = delete;

    void documentToBeDestroyed(AcApDocument* document) override { mRecords.erase(document); }

    // The record of `document`, made empty on first use. Throws std::bad_alloc.
    T& docData(AcApDocument* document) { return mRecords[document]; }
    // The record of the current document.
    T& docData() { return docData(currentDocument()); }
    bool hasDocData(AcApDocument* document) const { return mRecords.count(document) != 0; }
    std::size_t size() const { return mRecords.size(); }

  private:
    static AcApDocument* currentDocument() {
        AcApDocManager* manager = acDocManagerPtr();
        return manager ? manager->curDocument() : nullptr;
    }

    std::map<AcApDocument*, T> mRecords; // keyed by the document's identity
};
