// Drawing files: what a database keeps of the file it was read from, and the read and save
// that AcDbDatabase::readDwgFile and saveAs delegate to.
#pragma once

#include <memory>

#include "host/status_codes.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {

// What a loaded drawing keeps of its file: the parsed header, and where the rest of the file
// is, so that a save can copy it without the database ever holding it in memory.
class DrawingFile;
struct DrawingFileDelete {
    void operator()(DrawingFile* file) const;
};
using DrawingFilePtr = std::unique_ptr<DrawingFile, DrawingFileDelete>;

// Loads the drawing file at `path`. On eOk, `file` holds it and `summary` its summary
// properties; on any other status both are left as they were.
Acad::ErrorStatus readDrawingFile(const wchar_t* path, DrawingFilePtr& file, SummaryData& summary);

struct SaveOptions {
    bool keepBackup = false;    // keep the previous file at the path as <name>.bak
    bool retainPreview = false; // write the preview image the file was read with
    int version = 33;           // AcDb::AcDbDwgVersion
    bool hasSecurityParams = false;
};

// Writes the drawing (`file`, or a new empty drawing when it is nullptr) with `summary` to
// `path`, atomically: on eOk the path holds the new drawing completely; on any other status
// it holds what it held before and no temporary file remains. After a save, `file` may be
// repointed at what was written.
Acad::ErrorStatus saveDrawingFile(DrawingFile* file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options);
// The same for a database that keeps its drawing in `file`: a new drawing (nullptr) saved with
// eOk is kept in `file` from then on, so that its next save knows the file it wrote.
Acad::ErrorStatus saveDrawingFile(DrawingFilePtr& file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options);

} // namespace minihost
