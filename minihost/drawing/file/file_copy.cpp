// Writing and copying bytes between descriptors. See file_copy.h.
#include "minihost/drawing/file/file_copy.h"

#include <algorithm>
#include <cerrno>
#include <string>

#include "minihost/drawing/file/file_faults.h"

namespace minihost {
namespace drawing {

Acad::ErrorStatus writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t put = fsys::write(fd, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return Acad::eFileWriteError;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return Acad::eOk;
}

Acad::ErrorStatus copyRange(int in, off_t from, off_t to, int out) {
    bool kernel = true;
    std::string buffer;
    while (from < to) {
        std::size_t want = static_cast<std::size_t>(std::min<off_t>(to - from, 1 << 30));
        if (kernel) {
            off_t at = from;
            ssize_t got = fsys::copyRange(in, &at, out, want);
            if (got > 0) {
                from = at;
                continue;
            }
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL)) {
                kernel = false; // this pair of file systems cannot copy in the kernel
                continue;
            }
            return got == 0 ? Acad::eFileAccessErr : Acad::eFileWriteError;
        }
        if (buffer.empty())
            buffer.resize(1 << 20);
        want = std::min(want, buffer.size());
        ssize_t got = fsys::pread(in, &buffer[0], want, from);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return Acad::eFileAccessErr; // the drawing we copy from is gone or shrank
        Acad::ErrorStatus status = writeAll(out, buffer.data(), static_cast<std::size_t>(got));
        if (status != Acad::eOk)
            return status;
        from += got;
    }
    return Acad::eOk;
}

} // namespace drawing
} // namespace minihost
