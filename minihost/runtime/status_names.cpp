// The table of status names and meanings, indexed by value.
#include "minihost/runtime/status_names.h"

namespace {

const char* const kStatuses[][2] = {
    {"eOk", "success"},
    {"eNotImplementedYet",
     "not available here, such as saving a binary drawing older than 2004 or of 2007 (AC1015 "
     "and before, AC1021) or a code page the system cannot convert"},
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

const char* minihost::statusName(int status) {
    return status >= 0 && status < kStatusCount ? kStatuses[status][0] : nullptr;
}

const char* minihost::statusMeaning(int status) {
    return status >= 0 && status < kStatusCount ? kStatuses[status][1] : nullptr;
}
