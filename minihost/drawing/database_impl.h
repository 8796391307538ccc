// What the stand-in keeps behind an AcDbDatabase.
#pragma once

#include <string>

#include "host/database.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/runtime/summary_data.h"
#include "minihost/runtime/summary_info.h"

class DatabaseState {
  public:
    explicit DatabaseState(AcDbDatabase* owner) : info(owner) {}

    static DatabaseState* of(const AcDbDatabase* db) { return db->mState; }

    minihost::SummaryData stored;  // what the last put stored, and what a save writes
    minihost::SummaryInfo info;    // the object acdbGetSummaryInfo hands out
    minihost::DrawingFilePtr file; // null for a new drawing
    std::wstring fileName;         // read from or last saved to
    bool loaded = false;           // readDwgFile succeeded or the database was built new
    bool retainPreview = false;
    bool ownedByHost = false; // a document's or the host's default database
};

namespace minihost {
// Marks `db` as owned by a document or by the host itself (or no longer), for liveCounts().
void setDatabaseOwned(AcDbDatabase* db, bool owned);
} // namespace minihost
