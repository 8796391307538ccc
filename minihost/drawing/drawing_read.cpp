// Reading a drawing: the content decides its format, whatever the file is named (dxf/ and dwg/
// parse it); the read keeps the file open and knows which file it read. See
// docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "minihost/drawing/dwg/dwg_file.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/runtime/text/path_text.h"

namespace minihost {

using drawing::Fd;

void DrawingFileDelete::operator()(DrawingFile* file) const {
    delete file;
}

namespace {

// The file's first bytes: at most 16 KiB, which hold a DXF drawing's header and a binary
// drawing's header and first pages, so that neither format reads them again.
constexpr std::size_t kFirstRead = 8192;

// Reads up to kFirstRead bytes of `fd`, which was `size` bytes when opened, into `first`.
bool readFirst(int fd, off_t size, std::string& first) {
    first.resize(static_cast<std::size_t>(std::min<off_t>(size, kFirstRead)));
    ssize_t got = 0;
    if (!first.empty()) {
        do
            got = fsys::pread(fd, &first[0], first.size(), 0);
        while (got < 0 && errno == EINTR);
    }
    first.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return got >= 0;
}

// Reads the head of the open file `fd`, which `st` describes as it was opened, into a new
// DrawingFile that owns fd on success.
Acad::ErrorStatus loadFrom(Fd& fd, const FileIdentity& st, DrawingFilePtr& out) {
    if (!S_ISREG(st.mode))
        return Acad::eFileAccessErr;
    DrawingFilePtr file(new DrawingFile);
    // The content decides the format, whatever the file is named.
    std::string first;
    if (!readFirst(fd.get(), st.size, first))
        return Acad::eFileAccessErr;
    Acad::ErrorStatus status;
    if (dwg::isBinaryDrawing(reinterpret_cast<const std::uint8_t*>(first.data()), first.size())) {
        file->binary.reset(new dwg::BinaryDrawing);
        status = dwg::readBinaryFile(fd.get(), st.size, *file->binary, std::move(first));
        if (status != Acad::eOk)
            return status;
        file->version = file->binary->version;
        file->size = st.size;
    } else {
        file->head = std::move(first); // the DXF read goes on from these bytes
        if ((status = dxf::parseHead(fd.get(), st.size, *file)) != Acad::eOk)
            return status;
    }
    file->fd = fd.release();
    out = std::move(file);
    return Acad::eOk;
}

} // namespace

Acad::ErrorStatus readDrawingFile(const wchar_t* path, DrawingFilePtr& file, SummaryData& summary) {
    std::string name;
    if (!path || !pathBytes(path, name))
        return Acad::eInvalidInput;
    if (name.empty())
        return Acad::eFileNotFound;
    // The folder is held from here on: a save to this path must reach this very file.
    FileIdentity identity;
    int opened = -1;
    Acad::ErrorStatus status = openIdentified(name, opened, identity);
    if (status != Acad::eOk)
        return status;
    Fd fd(opened);
    DrawingFilePtr loaded;
    if ((status = loadFrom(fd, identity, loaded)) != Acad::eOk)
        return status;
    loaded->identity = std::move(identity);
    // Decoded straight from the head, once: a drawing keeps no second copy of its texts (a
    // binary drawing keeps the bytes of its summary section, and a save parses them again).
    SummaryData data;
    if (loaded->binary) {
        data = std::move(loaded->binary->record.data);
        loaded->binary->record = dwg::SummaryRecord();
    } else {
        dxf::readBuiltIns(*loaded, data.builtIn);
        dxf::readCustom(*loaded, data.custom);
    }
    file = std::move(loaded);
    summary = std::move(data);
    return Acad::eOk;
}

} // namespace minihost
