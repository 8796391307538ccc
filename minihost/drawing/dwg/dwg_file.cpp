#include "minihost/drawing/dwg/dwg_file.h"

#include <cerrno>

#include "minihost/drawing/file/file_faults.h"

namespace minihost {
namespace dwg {

ReadBytes fileBytes(int fd) {
    return [fd](std::uint64_t offset, std::size_t n, std::uint8_t* out) {
        std::size_t have = 0;
        while (have < n) {
            ssize_t got = fsys::pread(fd, out + have, n - have, static_cast<off_t>(offset + have));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return Acad::eFileAccessErr;
            if (got == 0)
                return Acad::eDwgNeedsRecovery; // the file ended (or shrank) before
            have += static_cast<std::size_t>(got);
        }
        return Acad::eOk;
    };
}

Acad::ErrorStatus readBinaryFile(int fd, off_t size, BinaryDrawing& out) {
    return readBinaryDrawing(fileBytes(fd), static_cast<std::uint64_t>(size), out);
}

} // namespace dwg
} // namespace minihost
