// Which drawing a LISP call works on. Without a path it is the working drawing; with one it
// is the open document whose file is that path, or else the file read into a side database
// that the handler owns for the length of the call.
#pragma once

#include "host/host_api.h"

// Room for the absolute form of a path argument: _wfullpath may use 260 of these characters,
// terminator included.
constexpr int kFullPathLength = 261;
constexpr int kFullPathLimit = 260;

struct TargetDrawing {
    AcDbDatabase* database = nullptr; // nullptr: no target
    bool isSide = false;              // true: a side database the caller must destroy
};

// Resolves the path argument `path` (not nullptr). Clears `fullPath` and writes into it the
// absolute form of `path`, which is what open documents are matched against and what a side
// database is saved to. Gives the matching open document's database (borrowed), or a side
// database read from `path` exactly as passed (owned by the caller: destroy it with `delete`),
// or no target when the file cannot be read or no storage could be had. Throws only what
// constructing a database throws, after returning its storage.
TargetDrawing ResolveTargetDrawing(const ACHAR* path, ACHAR (&fullPath)[kFullPathLength]);

// The database of the first open document, in `iterator` order, whose file path equals
// `fullPath` without regard to letter case or slash direction, or nullptr. Takes ownership of
// `iterator` and destroys it on every path.
AcDbDatabase* FindOpenDocumentDatabase(const ACHAR* fullPath, AcApDocumentIterator* iterator);

// Destroys a side database when it goes out of scope, so that no path out of a handler, an
// exception included, leaves one behind. Borrowed targets are left alone.
class SideDatabaseOwner {
  public:
    explicit SideDatabaseOwner(const TargetDrawing& target)
        : mDatabase(target.isSide ? target.database : nullptr) {}
    ~SideDatabaseOwner() { destroy(); }
    SideDatabaseOwner(const SideDatabaseOwner&) = delete;
    SideDatabaseOwner& operator=(const SideDatabaseOwner&) = delete;

    void destroy() {
        delete mDatabase;
        mDatabase = nullptr;
    }

  private:
    AcDbDatabase* mDatabase;
};
