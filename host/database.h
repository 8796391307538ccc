// Drawing databases and the host's application services.
#pragma once

#include "host/status_codes.h"
#include "host/host_port.h"
#include "host/runtime_classes.h"

namespace AcDb {
// Drawing file formats that saveAs can write.
enum AcDbDwgVersion {
    kDHL_1032 = 33,
    kDHL_CURRENT = kDHL_1032,
};
} // namespace AcDb

struct SecurityParams;
class DatabaseState;

// One drawing. Made with plain `new` (or constructed in acHeapAlloc storage) and destroyed with
// `delete`, which returns the storage to the host heap.
class HOST_API_PORT AcDbDatabase : public AcRxObject {
  public:
    enum OpenMode {
        kForReadAndReadShare = 1,
        kForReadAndWriteNoShare = 2,
        kForReadAndAllShare = 3,
        kTryForReadShare = 4,
    };

    // buildDefaultDrawing: give the database the contents of a new drawing; false leaves it
    // empty, ready for readDwgFile. noDocument: the database will not belong to a document.
    // Throws std::bad_alloc when out of memory.
    explicit AcDbDatabase(bool buildDefaultDrawing = true, bool noDocument = false);
    ~AcDbDatabase() override;
    AcRxClass* isA() const override;
    static AcRxClass* desc();

    AcDbDatabase(const AcDbDatabase&) = delete;
    AcDbDatabase& operator=(const AcDbDatabase&) = delete;

    // Loads the drawing file `fileName` into this empty database. eOk when loaded.
    Acad::ErrorStatus readDwgFile(const ACHAR* fileName, OpenMode mode = kForReadAndReadShare,
                                  bool allowCodePageConversion = false,
                                  const ACHAR* password = nullptr);
    // When set, the next save writes the preview image the file was read with.
    void setRetainOriginalThumbnailBitmap(bool retain);
    bool retainOriginalThumbnailBitmap() const;
    // Writes the drawing to `fileName` in format `version`. bakAndRename keeps the previous
    // file as a backup. eOk when the file was written completely; otherwise the file at
    // `fileName` is as it was.
    Acad::ErrorStatus saveAs(const ACHAR* fileName, bool bakAndRename,
                             AcDb::AcDbDwgVersion version = AcDb::kDHL_CURRENT,
                             const SecurityParams* securityParams = nullptr);
    // The file this database was read from or last saved to; "" for a new drawing.
    const ACHAR* originalFileName() const;

  private:
    friend class DatabaseState;
    DatabaseState* mState; // the host's
};

class HOST_API_PORT AcDbHostApplicationServices {
  public:
    // The drawing the user works in. Borrowed; never nullptr while the host runs.
    AcDbDatabase* workingDatabase() const;
    void setWorkingDatabase(AcDbDatabase* database);

  private:
    AcDbDatabase* mpWorkingDatabase = nullptr;
};

// The host's services object. Borrowed.
HOST_API_PORT AcDbHostApplicationServices* acdbHostApplicationServices();
