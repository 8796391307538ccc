// Saving a drawing: each in its own format and version (dxf/ and dwg/ write it, and the replace
// step of file/ puts it at the path). See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <string>

#include "minihost/runtime/text/path_text.h"

namespace minihost {

namespace drawing {

void adoptSavedFile(const DrawingFile& previous, DrawingFile& next, int fd, FileIdentity&& saved) {
    // What the drawing knows of the files at other paths, for their next save.
    next.elsewhere = previous.elsewhere;
    if (previous.identity.known && previous.identity.path != saved.path)
        next.elsewhere.push_back(previous.identity);
    next.elsewhere.erase(
        std::remove_if(next.elsewhere.begin(), next.elsewhere.end(),
                       [&](const FileIdentity& known) { return known.path == saved.path; }),
        next.elsewhere.end());
    next.identity = std::move(saved);
    next.fd = fd;
}

} // namespace drawing

Acad::ErrorStatus saveDrawingFile(DrawingFile* file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options) {
    if (options.hasSecurityParams)
        return Acad::eNotSupportedInDwgApi;
    // 33 is the current format: each drawing is written in its own version and format, a new
    // one in the newest. Other values would ask for a conversion, which the stand-in never makes.
    if (options.version != 33)
        return Acad::eUnsupportedVersion;
    std::string target;
    if (!path || !*path || !pathBytes(path, target))
        return Acad::eInvalidInput;
    DrawingFilePtr fresh;
    if (!file) {
        fresh = dxf::newDrawingFile();
        if (!fresh)
            return Acad::eOutOfMemory;
        file = fresh.get();
    }
    if (file->binary)
        return drawing::saveBinaryDrawing(*file, summary, target, options);

    return dxf::saveDrawing(*file, summary, target, options, !fresh);
}

Acad::ErrorStatus saveDrawingFile(DrawingFilePtr& file, const SummaryData& summary,
                                  const wchar_t* path, const SaveOptions& options) {
    if (file)
        return saveDrawingFile(file.get(), summary, path, options);
    DrawingFilePtr fresh = dxf::newDrawingFile();
    if (!fresh)
        return Acad::eOutOfMemory;
    Acad::ErrorStatus status = saveDrawingFile(fresh.get(), summary, path, options);
    if (status == Acad::eOk)
        file = std::move(fresh);
    return status;
}

} // namespace minihost
