// AcDbDatabase and the summary-information store of the stand-in.
#include <new>

#include "host/summinfo.h"
#include "minihost/drawing/database_impl.h"
#include "minihost/runtime/fault.h"

namespace {
AcDbImpDatabase* newImpDatabase(AcDbDatabase* owner) {
    if (minihost::faultHit(minihost::HostOp::ConstructDatabase))
        throw std::bad_alloc();
    return new AcDbImpDatabase(owner);
}
} // namespace

AcDbDatabase::AcDbDatabase(bool buildDefaultDrawing, bool /*noDocument*/)
    : mpImpDb(newImpDatabase(this)) {
    mpImpDb->loaded = buildDefaultDrawing;
    minihost::accounting::databases(1);
}

AcDbDatabase::~AcDbDatabase() {
    if (!mpImpDb->ownedByHost)
        minihost::accounting::databases(-1);
    delete mpImpDb;
}

AcRxClass* AcDbDatabase::desc() {
    static AcRxClass* cls = new AcRxClass(L"AcDbDatabase", AcRxObject::desc());
    return cls;
}

AcRxClass* AcDbDatabase::isA() const {
    return desc();
}

Acad::ErrorStatus AcDbDatabase::readDwgFile(const ACHAR* fileName, OpenMode, bool, const ACHAR*) {
    if (minihost::faultHit(minihost::HostOp::ReadDwgFile))
        return Acad::eFileAccessErr;
    if (!fileName)
        return Acad::eInvalidInput;
    if (mpImpDb->loaded)
        return Acad::eWasOpenForWrite; // only an empty database can be read into
    try {
        minihost::DrawingFilePtr file;
        minihost::SummaryData summary;
        Acad::ErrorStatus status = minihost::readDrawingFile(fileName, file, summary);
        if (status != Acad::eOk)
            return status;
        mpImpDb->fileName = fileName;
        mpImpDb->stored = std::move(summary);
        mpImpDb->info.load(mpImpDb->stored);
        mpImpDb->file = std::move(file);
        mpImpDb->loaded = true;
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}

void AcDbDatabase::setRetainOriginalThumbnailBitmap(bool retain) {
    mpImpDb->retainPreview = retain;
}

bool AcDbDatabase::retainOriginalThumbnailBitmap() const {
    return mpImpDb->retainPreview;
}

Acad::ErrorStatus AcDbDatabase::saveAs(const ACHAR* fileName, bool bakAndRename,
                                       AcDb::AcDbDwgVersion version,
                                       const SecurityParams* securityParams) {
    if (minihost::faultHit(minihost::HostOp::SaveAs))
        return Acad::eFileWriteError;
    if (!fileName || !*fileName || !mpImpDb->loaded)
        return Acad::eInvalidInput;
    minihost::SaveOptions options;
    options.keepBackup = bakAndRename;
    options.retainPreview = mpImpDb->retainPreview;
    options.version = static_cast<int>(version);
    options.hasSecurityParams = securityParams != nullptr;
    try {
        Acad::ErrorStatus status =
            minihost::saveDrawingFile(mpImpDb->file, mpImpDb->stored, fileName, options);
        if (status == Acad::eOk)
            mpImpDb->fileName = fileName;
        return status;
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
}

const ACHAR* AcDbDatabase::originalFileName() const {
    return mpImpDb->fileName.c_str();
}

void minihost::setDatabaseOwned(AcDbDatabase* db, bool owned) {
    AcDbImpDatabase* imp = AcDbImpDatabase::of(db);
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
    AcDbImpDatabase* imp = AcDbImpDatabase::of(database);
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
        const_cast<minihost::SummaryInfo*>(ours)->storeInto(AcDbImpDatabase::of(database)->stored);
    } catch (const std::bad_alloc&) {
        return Acad::eOutOfMemory;
    }
    return Acad::eOk;
}
