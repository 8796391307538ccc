// Fault injection and live-object accounting of the stand-in host, for tests.
//
// failNth(op, n) makes the nth call of `op` from now fail (n = 1: the next call), once or,
// with `persistent`, that call and every later one. How an operation fails is the host's own
// failure for it: acutBuildList returns nullptr, acutNewString gives no copy, a summary-info
// operation or readDwgFile/saveAs returns a nonzero status, acHeapAlloc and newAcApDocumentIterator
// return nullptr, GetSummaryInfoNone makes acdbGetSummaryInfo return eOk with no object.
//
// liveCounts() tells what exists now, so that a test can check that a call left nothing behind.
#pragma once

namespace minihost {

enum class HostOp {
    BuildList,
    NewString,
    GetTitle,
    GetSubject,
    GetAuthor,
    GetKeywords,
    GetComments,
    GetLastSavedBy,
    GetRevisionNumber,
    GetHyperlinkBase,
    SetBuiltIn, // any of the eight setters
    CountCustom,
    ReadCustomAt,
    LookupCustom,
    AddCustom,
    ReplaceCustom,
    RemoveCustom,
    GetSummaryInfo,
    GetSummaryInfoNone,
    PutSummaryInfo,
    HeapAlloc,
    ReadDwgFile,
    SaveAs,
    NewIterator,
    ConstructDatabase, // the AcDbDatabase constructor throws std::bad_alloc
    kCount
};

void failNth(HostOp op, long nth, bool persistent = false);
// Cancels every planned fault and zeroes the call counts.
void clearFaults();
// Calls of `op` since the last clearFaults().
long callCount(HostOp op);
// Counts a call of `op` and tells whether it is to fail. Used by the stand-in's operations.
bool faultHit(HostOp op);

struct LiveCounts {
    long nodes;     // resbuf nodes made by acutBuildList and not yet released
    long strings;   // copies made by acutNewString and not yet freed
    long databases; // AcDbDatabase objects that neither a document nor the host itself owns
    long iterators; // document iterators not yet destroyed
};
LiveCounts liveCounts();

// Accounting hooks for the stand-in's own parts.
namespace accounting {
void nodes(long delta);
void databases(long delta);
void iterators(long delta);
void stringMade(void* p);
// Forgets `p` if it is a live acutNewString copy; true when it was one.
bool stringFreed(void* p);
} // namespace accounting

} // namespace minihost
