#include "minihost/drawing/dwg/dwg_file.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "minihost/drawing/file/file_faults.h"

namespace minihost {
namespace dwg {

namespace {

// At least this much is read from where a read starts, and kept for the reads after it.
constexpr std::size_t kWindow = 4096;

// Reads n bytes at `offset` into `out`, and, while the file has them, up to `want` in all.
// The count read, or how the read failed.
Acad::ErrorStatus readAtLeast(int fd, std::uint64_t offset, std::size_t n, std::size_t want,
                              std::uint8_t* out, std::size_t& have) {
    have = 0;
    while (have < n) {
        ssize_t got = fsys::pread(fd, out + have, want - have, static_cast<off_t>(offset + have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Acad::eFileAccessErr;
        if (got == 0)
            return Acad::eDwgNeedsRecovery; // the file ended (or shrank) before
        have += static_cast<std::size_t>(got);
    }
    return Acad::eOk;
}

} // namespace

// The reader asks for a page's header, then for the data just after it, and the first pages
// follow the file's header: with a window kept, most of a read's asks cost no system call. The
// file's first bytes, when the caller has them, are kept beside it for the whole read.
ReadBytes fileBytes(int fd, std::string first) {
    struct Window {
        std::uint64_t start = 0;
        std::size_t size = 0; // bytes held
        std::unique_ptr<std::uint8_t[]> bytes;
        std::string first; // bytes [0, first.size()) of the file
    };
    auto window = std::make_shared<Window>();
    window->first = std::move(first);
    return [fd, window](std::uint64_t offset, std::size_t n, std::uint8_t* out) {
        Window& w = *window;
        if (offset <= w.first.size() && n <= w.first.size() - offset) {
            if (n > 0)
                std::memcpy(out, w.first.data() + offset, n);
            return Acad::eOk;
        }
        if (offset >= w.start && offset - w.start <= w.size && n <= w.size - (offset - w.start)) {
            if (n > 0)
                std::memcpy(out, w.bytes.get() + (offset - w.start), n);
            return Acad::eOk;
        }
        std::size_t have = 0;
        if (n >= kWindow)
            return readAtLeast(fd, offset, n, n, out, have);
        if (!w.bytes)
            w.bytes.reset(new std::uint8_t[kWindow]); // no need to clear it: it is read into
        Acad::ErrorStatus status = readAtLeast(fd, offset, n, kWindow, w.bytes.get(), have);
        w.size = status == Acad::eOk ? have : 0;
        w.start = offset;
        if (status == Acad::eOk)
            std::memcpy(out, w.bytes.get(), n);
        return status;
    };
}

Acad::ErrorStatus readBinaryFile(int fd, off_t size, BinaryDrawing& out, std::string first) {
    return readBinaryDrawing(fileBytes(fd, std::move(first)), static_cast<std::uint64_t>(size),
                             out);
}

} // namespace dwg
} // namespace minihost
