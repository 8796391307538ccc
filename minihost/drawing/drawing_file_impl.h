// The DrawingFile a loaded drawing keeps, whichever its format, and what a format's save takes
// from the shared one. Internal to drawing/, dxf/ and dwg/; everyone else uses drawing_file.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/code_page.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/drawing/dwg/dwg_read.h"
#include "minihost/drawing/dxf/dxf_drawing.h"
#include "minihost/drawing/file/file_copy.h"
#include "minihost/drawing/file/file_replace.h"
#include "minihost/drawing/file/owned_fd.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {

// Owns `fd` (closed with it) and the bytes it holds.
class DrawingFile {
  public:
    DrawingFile() = default;
    DrawingFile(const DrawingFile&) = delete;
    DrawingFile& operator=(const DrawingFile&) = delete;
    ~DrawingFile() {
        if (fd >= 0)
            ::close(fd);
    }

    void swap(DrawingFile& other) {
        std::swap(fd, other.fd);
        head.swap(other.head);
        memTail.swap(other.memTail);
        std::swap(tailOffset, other.tailOffset);
        std::swap(size, other.size);
        vars.swap(other.vars);
        customVars.swap(other.customVars);
        std::swap(varsBegin, other.varsBegin);
        version.swap(other.version);
        eol.swap(other.eol);
        std::swap(codePage, other.codePage);
        std::swap(identity, other.identity);
        elsewhere.swap(other.elsewhere);
        binary.swap(other.binary);
    }

    int fd = -1;          // the file read (or last saved); -1 for a new drawing
    std::string head;     // bytes [0, tailOffset): up to the header's closing ENDSEC group
    std::string memTail;  // a new drawing's remaining bytes (fd < 0)
    off_t tailOffset = 0; // where the rest of the drawing starts in the file
    off_t size = 0;       // the file's size when it was read
    std::vector<dxf::Var> vars;
    // Per custom property as read (as readCustom gives them): its tag and value variables, indices
    // into vars, -1 for one the file lacks.
    std::vector<std::pair<int, int>> customVars;
    std::size_t varsBegin = 0; // where the first variable would start in the head
    std::string version;
    std::string eol = "\r\n";
    int codePage = codepage::kUtf8; // of the file's text
    FileIdentity identity; // the file as read (or last saved), to tell whether it changed since
    std::vector<FileIdentity> elsewhere; // the files it was saved to at other paths, as written
    std::unique_ptr<dwg::BinaryDrawing> binary; // a binary drawing's container; null for DXF
};

namespace drawing {

// After a save of `previous` put the new file `fd` at the path `saved` describes: makes `next`
// own `fd` and stand for that file, knowing what `previous` knew of the files it was saved to
// at other paths. May throw std::bad_alloc before it takes `fd`.
void adoptSavedFile(const DrawingFile& previous, DrawingFile& next, int fd, FileIdentity&& saved);

// Saves the binary drawing `file` with `summary` to `target` in its own version, editing the
// summary in place (dwg/dwg_drawing_save.cpp). An AC1021 drawing is refused with
// eNotImplementedYet, before anything is written.
Acad::ErrorStatus saveBinaryDrawing(DrawingFile& file, const SummaryData& summary,
                                    const std::string& target, const SaveOptions& options);

} // namespace drawing
} // namespace minihost
