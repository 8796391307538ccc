// Acad::ErrorStatus: the status most host operations return. eOk (0) is success; every other
// value is a failure.
#pragma once

namespace Acad {
enum ErrorStatus {
    eOk = 0,
    eNotImplementedYet = 1,
    eNotApplicable = 2,
    eInvalidInput = 3,
    eKeyNotFound = 4,
    eDuplicateKey = 5,
    eInvalidIndex = 6,
    eOutOfMemory = 7,
    eNullObjectPointer = 8,
    eFileNotFound = 9,
    eFileAccessErr = 10,
    eNotADrawing = 11,
    eDwgCorrupt = 12,
    eDwgNeedsRecovery = 13, // the file ends early: truncated
    eUnsupportedVersion = 14,
    eFileWriteError = 15,
    eFileSystemErr = 16,
    eNotSupportedInDwgApi = 17,
    eWasOpenForWrite = 18,
    eFileSharingViolation = 19,   // another program changed the file, or holds it
    eDwgCRCError = 20,            // a check value of a binary drawing does not match
    eBadDwgHeader = 21,           // a binary drawing's header or pages of a kind not known
    eInvalidDwgVersion = 22,      // a binary drawing version newer than those known
    eSecErrorDecryptingData = 23, // the drawing's summary is encrypted
    eUnsupportedFileFormat = 24,  // a drawing format the host does not read (binary DXF)
};
} // namespace Acad
