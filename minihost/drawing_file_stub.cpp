// Placeholder until drawing files are implemented.
#include "drawing_file.h"

namespace minihost {
class DrawingFile {};
void DrawingFileDelete::operator()(DrawingFile* file) const { delete file; }
Acad::ErrorStatus readDrawingFile(const wchar_t*, DrawingFilePtr&, SummaryData&) {
    return Acad::eNotImplementedYet;
}
Acad::ErrorStatus saveDrawingFile(DrawingFile*, const SummaryData&, const wchar_t*,
                                  const SaveOptions&) {
    return Acad::eNotImplementedYet;
}
} // namespace minihost
