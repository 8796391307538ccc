// AcDbDatabase and the summary-information store of the stand-in.
#include <new>

#include "host/summary_info.h"
#include "minihost/drawing/database_impl.h"
#include "minihost/drawing/failure_report.h"
#include "minihost/runtime/fault.h"

namespace {
DatabaseState* newDatabaseState(AcDbDatabase* owner) {
    if (minihost::faultHit(minihost::HostOp::ConstructDatabase))
        throw std::bad_alloc();
    return new DatabaseState(owner);
}
} // namespace

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing, bool /*noDocument*/)
    : mState(newDatabaseState(this)) {
    mState->loaded = buildDefaultDrawing;
    minihost::accounting::databases(1);
}

AcDbDatabase::~AcDbDatabase() {
    if (!mState->ownedByHost)
        minihost::accounting::databases(-1);
    delete mState;
}

AcRxClass* AcDbDatabase::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcDbDatabase", AcRxObject::desc());
    return cls;
}

AcRxClass* AcDbDatabase::isA() const {
    return desc();
}

namespace {
Acad::ErrorStatus readInto(DatabaseState& state, const ACHAR* fileName) {
    if (minihost::faultHit(minihost::HostOp::ReadDwgFile))
        return Acad::eFileAccessErr;
    if (!fileName)
        return Acad::eInvalidInput;
    if (state.loaded)
        return Acad::eWasOpenForWrite; // only an empty database can be read into
    try {
        minihost::DrawingFilePtr file;
        minihost::SummaryData summary;
        Acad::ErrorStatus status = minihost::readDrawingFile(fileName, file, summary);
        if (status != Acad::eOk)
            return status;
        state.fileName = fileName;
        state.stored = std::move(summary);
        state.info.load(state.stored);
        state.file = std::move(file);
        state.loaded = true;
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}
} // namespace

Acad::ErrorStatus AcDbDatabase::readDwgFile(const ACHAR* fileName, OpenMode, bool, const ACHAR*) {
    return minihost::reportFailure("readDwgFile", fileName, readInto(*mState, fileName));
}

void AcDbDatabase::setRetainOriginalThumbnailBitmap(bool retain) {
    mState->retainPreview = retain;
}

bool AcDbDatabase::retainOriginalThumbnailBitmap() const {
    return mState->retainPreview;
}

namespace {
Acad::ErrorStatus saveFrom(DatabaseState& state, const ACHAR* fileName,
                           const minihost::SaveOptions& options) {
    if (minihost::faultHit(minihost::HostOp::SaveAs))
        return Acad::eFileWriteError;
    if (!fileName || !*fileName || !state.loaded)
        return Acad::eInvalidInput;
    try {
        Acad::ErrorStatus status =
            minihost::saveDrawingFile(state.file, state.stored, fileName, options);
        if (status == Acad::eOk)
            state.fileName = fileName;
        return status;
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
}
} // namespace

Acad::ErrorStatus AcDbDatabase::saveAs(const ACHAR* fileName, bool bakAndRename,
                                       AcDb::AcDbDwgVersion version,
                                       const SecurityParams* securityParams) {
    minihost::SaveOptions options;
    options.keepBackup = bakAndRename;
    options.retainPreview = mState->retainPreview;
    options.version = static_cast<int>(version);
    options.hasSecurityParams = securityParams != nullptr;
    return minihost::reportFailure("saveAs", fileName, saveFrom(*mState, fileName, options));
}

const ACHAR* AcDbDatabase::originalFileName() const {
    return mState->fileName.c_str();
}

void minihost::setDatabaseOwned(AcDbDatabase* db, bool owned) {
    DatabaseState* imp = DatabaseState::of(db);
    if (imp->ownedByHost != owned)
        accounting::databases(owned ? -1 : 1);
    imp->ownedByHost = owned;
}

Acad::ErrorStatus acdbGetSummaryInfo(AcDbDatabase* database, AcDbDatabaseSummaryInfo*& info) {
    if (minihost::faultHit(minihost::HostOp::GetSummaryInfo))
        return Acad::eNotApplicable;
    if (minihost::faultHit(minihost::HostOp::GetSummaryInfoNone)) {
        info = nullptr;
        return Acad::eOk;
    }
    if (!database)
        return Acad::eNullObjectPointer;
    DatabaseState* imp = DatabaseState::of(database);
    try {
        imp->info.load(imp->stored); // the working copy starts from what is stored
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    info = &imp->info;
    return Acad::eOk;
}

Acad::ErrorStatus acdbPutSummaryInfo(const AcDbDatabaseSummaryInfo* info, AcDbDatabase* database) {
    if (minihost::faultHit(minihost::HostOp::PutSummaryInfo))
        return Acad::eNotApplicable;
    if (!info || !database)
        return Acad::eNullObjectPointer;
    // Only this host's own summary information objects can be stored.
    const auto* ours = dynamic_cast<const minihost::SummaryInfo*>(info);
    if (!ours)
        return Acad::eInvalidInput;
    try {
        const_cast<minihost::SummaryInfo*>(ours)->storeInto(DatabaseState::of(database)->stored);
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}
