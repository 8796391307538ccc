#include "props/target_drawing.h"

#include <cwchar>

namespace {

void toForwardSlashes(ACHAR* text) {
    for (; *text; ++text)
        if (*text == L'\\')
            *text = L'/';
}

} // namespace

AcDbDatabase* FindOpenDocumentDatabase(const ACHAR* fullPath, AcApDocumentIterator* iterator) {
    AcDbDatabase* result = nullptr;
    // With no absolute path (it did not fit) nothing can match; an empty path would otherwise
    // match a document that has never been saved. The lengths are checked before each copy:
    // the platform's runtime ends the process on a copy that does not fit.
    if (fullPath[0] != L'\0' && std::wcslen(fullPath) < kFullPathLength) {
        ACHAR documentCopy[kFullPathLength];
        ACHAR argumentCopy[kFullPathLength];
        for (; !iterator->done(); iterator->step()) {
            AcApDocument* document = iterator->document();
            if (!document)
                continue;
            // A document path too long for the copy cannot equal a path that fits.
            const ACHAR* name = document->fileName();
            if (!name || std::wcslen(name) >= kFullPathLength)
                continue;
            if (wcscpy_s(documentCopy, kFullPathLength, name) != 0 ||
                wcscpy_s(argumentCopy, kFullPathLength, fullPath) != 0)
                break;
            toForwardSlashes(documentCopy);
            toForwardSlashes(argumentCopy);
            if (_wcsicmp(documentCopy, argumentCopy) == 0) {
                result = document->database();
                break;
            }
        }
    }
    delete iterator;
    return result;
}

TargetDrawing ResolveTargetDrawing(const ACHAR* path, ACHAR (&fullPath)[kFullPathLength]) {
    std::wmemset(fullPath, L'\0', kFullPathLength);
    // A path whose absolute form does not fit leaves fullPath empty: the runtime does not
    // promise what a failed call left in the buffer.
    if (!_wfullpath(fullPath, path, kFullPathLimit))
        std::wmemset(fullPath, L'\0', kFullPathLength);

    if (AcApDocManager* manager = acDocManagerPtr()) {
        if (AcApDocumentIterator* iterator = manager->newAcApDocumentIterator()) {
            if (AcDbDatabase* open = FindOpenDocumentDatabase(fullPath, iterator))
                return TargetDrawing{open, false};
        }
    }

    void* storage = acHeapAlloc(nullptr, sizeof(AcDbDatabase));
    if (!storage)
        return TargetDrawing{};
    AcDbDatabase* side = nullptr;
    try {
        side = new (storage) AcDbDatabase(false, true);
    } catch (...) {
        acHeapFree(nullptr, storage);
        throw;
    }
    if (side->readDwgFile(path, AcDbDatabase::kForReadAndReadShare, false, nullptr) != Acad::eOk) {
        delete side;
        return TargetDrawing{};
    }
    return TargetDrawing{side, true};
}
