// Saving a DXF drawing: the new head, then the rest of the old file (copied in the kernel);
// file/file_replace.cpp makes that the file at the path. See docs/drawing-file.md.
#include "minihost/drawing/drawing_file_impl.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "minihost/drawing/dxf/dxf_new_drawing.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/drawing/file/file_replace.h"

namespace minihost {
namespace dxf {

using drawing::copyRange;
using drawing::Fd;
using drawing::writeAll;

namespace {

// Lines met while looking for the preview from the end of the file.
constexpr std::size_t kMaxTailLine = 1u << 20;

// Reads lines ending with `end` ('\n', or '\r' alone) backwards from the end of a file, down to
// a floor.
class BackLines {
  public:
    BackLines(int fd, off_t floor, off_t end, char lineEnd)
        : mFd(fd), mFloor(floor), mPos(end), mEnd(lineEnd) {}

    // The previous line, trimmed, and the offset where it starts. False at the floor, on a
    // read error or when a line is too long to be one that matters.
    bool previous(std::string& text, off_t& start) {
        if (mPos <= mFloor || mDone)
            return false;
        std::string line; // reversed
        off_t pos = mPos;
        if (mStarted)
            --pos; // step over the line end of the previous line
        mStarted = true;
        while (pos > mFloor) {
            char c;
            if (!byteAt(pos - 1, c)) {
                ioError = true;
                return fail();
            }
            if (c == mEnd)
                break;
            line += c;
            if (line.size() > kMaxTailLine)
                return fail();
            --pos;
        }
        std::string forward(line.rbegin(), line.rend());
        text = trimmed(forward.data(), forward.size());
        start = pos;
        mPos = pos;
        return true;
    }

  private:
    bool fail() {
        mDone = true;
        return false;
    }

  public:
    bool ioError = false;

  private:
    bool byteAt(off_t offset, char& c) {
        if (offset < mBufStart || offset >= mBufStart + static_cast<off_t>(mBuf.size())) {
            off_t start = std::max(mFloor, offset + 1 - static_cast<off_t>(kReadChunk));
            mBuf.resize(static_cast<std::size_t>(offset + 1 - start));
            std::size_t have = 0;
            while (have < mBuf.size()) {
                ssize_t got = fsys::pread(mFd, &mBuf[have], mBuf.size() - have,
                                          start + static_cast<off_t>(have));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                have += static_cast<std::size_t>(got);
            }
            mBufStart = start;
        }
        c = mBuf[static_cast<std::size_t>(offset - mBufStart)];
        return true;
    }

    int mFd;
    off_t mFloor, mPos;
    char mEnd;
    bool mStarted = false, mDone = false;
    std::string mBuf;
    off_t mBufStart = 0;
};

// The preview section when it is the drawing's last section (where CAD programs put it):
// [begin, end) runs from its SECTION group to the EOF group.
enum class Preview { kNone, kFound, kReadError };

Preview findPreview(const DrawingFile& file, off_t& begin, off_t& end) {
    if (file.fd < 0)
        return Preview::kNone;
    BackLines lines(file.fd, file.tailOffset, file.size, file.eol == "\r" ? '\r' : '\n');
    auto none = [&]() { return lines.ioError ? Preview::kReadError : Preview::kNone; };
    std::string text, code;
    off_t start;
    do
        if (!lines.previous(text, start))
            return none();
    while (text.empty() || text == "\x1a");
    if (text != "EOF" || !lines.previous(code, end) || code != "0")
        return none();
    if (!lines.previous(text, start) || text != "ENDSEC" || !lines.previous(code, start) ||
        code != "0")
        return none();
    for (;;) {
        if (!lines.previous(text, start) || !lines.previous(code, start) || code == "0")
            return none();
        if (code == "2") {
            if (text != "THUMBNAILIMAGE" || !lines.previous(text, start) || text != "SECTION" ||
                !lines.previous(code, begin) || code != "0")
                return none();
            return Preview::kFound;
        }
    }
}

// Whether the file `fd` still starts with the head `file` parsed; eFileSharingViolation when
// another program changed it in place (whatever its timestamps say).
Acad::ErrorStatus headUnchanged(const DrawingFile& file, int fd) {
    std::string chunk;
    for (std::size_t at = 0; at < file.head.size();) {
        chunk.resize(std::min(kReadChunk, file.head.size() - at));
        ssize_t got = fsys::pread(fd, &chunk[0], chunk.size(), static_cast<off_t>(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Acad::eFileAccessErr;
        if (got == 0 || file.head.compare(at, static_cast<std::size_t>(got), chunk, 0,
                                          static_cast<std::size_t>(got)) != 0)
            return Acad::eFileSharingViolation;
        at += static_cast<std::size_t>(got);
    }
    return Acad::eOk;
}

// After a save of `file` (not a new drawing) with `head`, leaving out `previewBytes` of its
// preview, put the new file `out` at the path `saved` describes: the file now at the path is
// what `file` stands for from here on. Its head is known, so nothing more is asked of the file
// system. Without memory for that, `file` keeps standing for what it was read from: it still
// saves the same drawing elsewhere, and a later save to this path is refused as a change made
// by someone else, which loses nothing.
void adoptSavedHead(DrawingFile& file, const std::string& head, off_t previewBytes, Fd& out,
                    FileIdentity&& saved) {
    try {
        DrawingFile now;
        now.head = head + "  0" + file.eol + "ENDSEC" + file.eol;
        if (parseHead(-1, static_cast<off_t>(now.head.size()), now, false) != Acad::eOk)
            return;
        now.memTail.clear();
        now.size = static_cast<off_t>(head.size()) + file.size - file.tailOffset - previewBytes;
        drawing::adoptSavedFile(file, now, out.get(), std::move(saved));
        out.release();
        file.swap(now);
    } catch (const std::bad_alloc&) {
    }
}

} // namespace

DrawingFilePtr newDrawingFile() {
    DrawingFilePtr file(new DrawingFile);
    file->head = newDrawingText();
    if (parseHead(-1, static_cast<off_t>(file->head.size()), *file) != Acad::eOk)
        return nullptr;
    return file;
}

Acad::ErrorStatus saveDrawing(DrawingFile& file, const SummaryData& summary,
                              const std::string& target, const SaveOptions& options, bool adopt) {
    std::string head;
    Acad::ErrorStatus status = buildHead(file, summary, head);
    if (status != Acad::eOk)
        return status;
    off_t previewBegin = file.size, previewEnd = file.size;

    ReplaceRequest request;
    request.path = target;
    request.keepBackup = options.keepBackup;
    request.source = file.fd >= 0 ? &file.identity : nullptr;
    request.sourceFd = file.fd;
    request.elsewhere = &file.elsewhere;
    if (file.fd >= 0) {
        // Under the lock: the head is still what was parsed, and the preview is found in the
        // file as it is now, so that nothing is copied from offsets another program moved.
        request.unchanged = [&](int source) {
            Acad::ErrorStatus same = headUnchanged(file, source);
            if (same != Acad::eOk || options.retainPreview)
                return same;
            Preview preview = findPreview(file, previewBegin, previewEnd);
            if (preview == Preview::kNone)
                previewBegin = previewEnd = file.size;
            return preview == Preview::kReadError ? Acad::eFileAccessErr : Acad::eOk;
        };
    }
    request.write = [&](int out) {
        Acad::ErrorStatus written = writeAll(out, head.data(), head.size());
        if (written == Acad::eOk && file.fd < 0)
            written = writeAll(out, file.memTail.data(), file.memTail.size());
        if (written == Acad::eOk && file.fd >= 0) {
            written = copyRange(file.fd, file.tailOffset, previewBegin, out);
            if (written == Acad::eOk)
                written = copyRange(file.fd, previewEnd, file.size, out);
        }
        return written;
    };
    ReplaceResult replaced;
    status = replaceFile(request, replaced);
    if (status != Acad::eOk)
        return status;
    Fd out(replaced.fd);

    if (adopt)
        adoptSavedHead(file, head, previewEnd - previewBegin, out, std::move(replaced.identity));
    return Acad::eOk;
}

} // namespace dxf
} // namespace minihost
