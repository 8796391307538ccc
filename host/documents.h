// The host's documents: open drawings, each with a file path and a database, and the manager
// that iterates them and tells reactors about them.
#pragma once

#include "host/host_port.h"
#include "host/runtime_classes.h"

class AcDbDatabase;

class HOST_API_PORT AcApDocument : public AcRxObject {
  public:
    // The absolute path of the drawing file, NUL-terminated; "" for a drawing never saved.
    virtual const ACHAR* fileName() const = 0;
    // The document's database. Borrowed.
    virtual AcDbDatabase* database() const = 0;
};

// Walks the open documents in opening order. Whoever receives one destroys it with `delete`.
class HOST_API_PORT AcApDocumentIterator : public AcRxObject {
  public:
    virtual bool done() const = 0;
    virtual void step() = 0;
    // The document at the current position, or nullptr.
    virtual AcApDocument* document() = 0;
};

// Told about document events. Registered reactors are borrowed by the manager.
class HOST_API_PORT AcApDocManagerReactor : public AcRxObject {
  public:
    virtual void documentCreated(AcApDocument* document);
    virtual void documentToBeDestroyed(AcApDocument* document);
    virtual void documentBecameCurrent(AcApDocument* document);
};

class HOST_API_PORT AcApDocManager : public AcRxObject {
  public:
    // A new iterator on the first open document, or nullptr. The caller owns it.
    virtual AcApDocumentIterator* newAcApDocumentIterator() = 0;
    virtual void addReactor(AcApDocManagerReactor* reactor) = 0;
    virtual void removeReactor(AcApDocManagerReactor* reactor) = 0;
    // The current document, or nullptr when none is open. Borrowed.
    virtual AcApDocument* curDocument() const = 0;
    virtual int documentCount() const = 0;
};

// The host's document manager, or nullptr when it is gone (during the host's shutdown).
HOST_API_PORT AcApDocManager* acDocManagerPtr();
