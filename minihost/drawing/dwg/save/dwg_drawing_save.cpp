// Saving a binary drawing: its summary section is edited in place (dwg/dwg_edit.h) and the new
// file, pieces of the old one and the bytes the edit made, goes through the same replace step
// as every save (file_replace.h). Before it takes the path it is read back and every check
// value verified. See docs/dwg-file.md.
#include <algorithm>
#include <tuple>
#include <cstring>
#include <new>
#include <sys/stat.h>

#include "minihost/drawing/drawing_file_impl.h"
#include "minihost/drawing/dwg/ac1015/ac1015_read.h"
#include "minihost/drawing/dwg/dwg_bytes.h"
#include "minihost/drawing/dwg/save/dwg_edit.h"
#include "minihost/drawing/dwg/dwg_file.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/file/file_faults.h"
#include "minihost/drawing/file/file_replace.h"

namespace minihost {
namespace drawing {
namespace {

// The header-variables section of `drawing`, read through `read` (of a file of `size` bytes).
Acad::ErrorStatus readHeaderSection(const dwg::ReadBytes& read, std::uint64_t size,
                                    const dwg::BinaryDrawing& drawing, dwg::Section& out) {
    const std::size_t at = dwg::findSection(drawing.container, dwg::kHeaderName);
    if (at == std::string::npos)
        return Acad::eDwgCorrupt; // every drawing has one
    return dwg::readSection(read, size, drawing.container, at, dwg::kMaxHeaderSize, out);
}

dwg::HeaderContext headerContext(const dwg::BinaryDrawing& drawing) {
    return {drawing.version, drawing.form, drawing.start[0x12]};
}

// The header-variables section of `file` with HyperlinkBase set to `value`, into `out`;
// `header` gets the section as read.
Acad::ErrorStatus newHeaderSection(const DrawingFile& file, const std::wstring& value,
                                   dwg::Section& header, dwg::NewSections& out) {
    const dwg::BinaryDrawing& drawing = *file.binary;
    Acad::ErrorStatus status = readHeaderSection(
        dwg::fileBytes(file.fd), static_cast<std::uint64_t>(file.size), drawing, header);
    if (status != Acad::eOk)
        return status;
    // Only a section whose every variable is where its version puts it is written again.
    status =
        dwg::rewriteHeaderHyperlinkBase(header.data, headerContext(drawing), value, out.header);
    if (status != Acad::eOk)
        return status;
    out.headerChanged = true;
    return Acad::eOk;
}

bool samePages(const std::vector<dwg::SectionPage>& a, const std::vector<dwg::SectionPage>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].address != b[i].address ||
            std::memcmp(a[i].header, b[i].header, sizeof a[i].header) != 0)
            return false;
    return true;
}

bool sameMap(const std::vector<dwg::MapEntry>& a, const std::vector<dwg::MapEntry>& b) {
    auto fields = [](const dwg::MapEntry& e) {
        return std::make_tuple(e.number, e.size, e.parent, e.left, e.right, e.next);
    };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](const auto& x, const auto& y) { return fields(x) == fields(y); });
}

// Whether the file `fd` (of the size it was read with) still holds what the edit of `read`
// was planned from: its first 0x100 bytes, both maps, the summary's pages and, where the edit
// rewrites it, the header-variables section `header`. Pages the edit copies without reading
// them are not compared.
Acad::ErrorStatus unchangedSince(int fd, off_t size, const dwg::BinaryDrawing& read,
                                 const dwg::Section* header) {
    dwg::BinaryDrawing now;
    Acad::ErrorStatus status = dwg::readBinaryFile(fd, size, now);
    if (status == Acad::eOutOfMemory || status == Acad::eFileAccessErr)
        return status;
    const dwg::Container &was = read.container, &is = now.container;
    bool same = status == Acad::eOk && std::memcmp(now.start, read.start, sizeof now.start) == 0 &&
                sameMap(is.map, was.map) && is.sectionMap == was.sectionMap &&
                is.summary.data == was.summary.data &&
                samePages(is.summary.pages, was.summary.pages);
    if (same && header) {
        dwg::Section again;
        status =
            readHeaderSection(dwg::fileBytes(fd), static_cast<std::uint64_t>(size), now, again);
        if (status == Acad::eOutOfMemory || status == Acad::eFileAccessErr)
            return status;
        same = status == Acad::eOk && again.data == header->data &&
               samePages(again.pages, header->pages);
    }
    return same ? Acad::eOk : Acad::eFileSharingViolation;
}

// Reads back the new file `fd` and checks that it is what was meant: every check value of
// what the reader reads, the header's copy at the end, the new summary section and, when it
// changed, the new header-variables section.
Acad::ErrorStatus verifySaved(int fd, const dwg::NewSections& sections, dwg::BinaryDrawing& out,
                              off_t& size) {
    struct stat st;
    if (fsys::fstat(fd, &st) != 0)
        return Acad::eFileAccessErr;
    const dwg::ReadBytes read = dwg::fileBytes(fd);
    Acad::ErrorStatus status = dwg::readBinaryFile(fd, st.st_size, out);
    if (status != Acad::eOk)
        return status;
    std::uint8_t copy[dwg::kFileHeaderSize];
    status = read(dwg::get64(out.container.header + dwg::kSecondHeader), sizeof copy, copy);
    if (status != Acad::eOk)
        return status;
    if (std::memcmp(copy, out.start + dwg::kPrefixSize, sizeof copy) != 0)
        return Acad::eDwgCRCError;
    if (out.container.summary.data != sections.summary)
        return Acad::eDwgCorrupt;
    if (sections.headerChanged) {
        dwg::Section header;
        status = readHeaderSection(read, static_cast<std::uint64_t>(st.st_size), out, header);
        if (status != Acad::eOk)
            return status;
        if (header.data != sections.header)
            return Acad::eDwgCorrupt;
    }
    out.record = dwg::SummaryRecord(); // the section's bytes are kept; the texts are not
    size = st.st_size;
    return Acad::eOk;
}

} // namespace

Acad::ErrorStatus saveBinaryDrawing(DrawingFile& file, const SummaryData& summary,
                                    const std::string& target, const SaveOptions& options) {
    dwg::BinaryDrawing& drawing = *file.binary;
    // An AC1021 file's outer check value is not known here: a file written without it would
    // not open in the host, so such a drawing is read but never written. Drawings before AC1018
    // keep their properties in an object, which the stand-in does not write.
    if (drawing.version == "AC1021" || dwg::ac1015::isUnpagedVersion(drawing.version))
        return Acad::eNotImplementedYet;
    // The summary as the file holds it: what a save keeps of it and compares against.
    dwg::SummaryRecord old;
    Acad::ErrorStatus status = Acad::eOk;
    if (drawing.container.summary.present && !drawing.container.summary.data.empty())
        status = dwg::parseSummary(drawing.container.summary.data, drawing.form, old);
    if (status != Acad::eOk)
        return status;
    dwg::NewSections sections;
    if ((status = dwg::buildSummary(old, summary, drawing.form, sections.summary)) != Acad::eOk)
        return status;
    // HyperlinkBase has a second copy in the header-variables section: a save that changes it
    // writes both. One that does not leaves that section as it is, even where another program
    // made the two disagree.
    dwg::Section header;
    if (summary.builtIn[kHyperlinkBase] != old.data.builtIn[kHyperlinkBase] &&
        (status = newHeaderSection(file, summary.builtIn[kHyperlinkBase], header, sections)) !=
            Acad::eOk)
        return status;
    dwg::Edit edit;
    status = dwg::planEdit(drawing, static_cast<std::uint64_t>(file.size), sections, edit);
    if (status != Acad::eOk)
        return status;

    std::unique_ptr<dwg::BinaryDrawing> saved(new dwg::BinaryDrawing);
    off_t savedSize = 0;
    ReplaceRequest request;
    request.path = target;
    request.keepBackup = options.keepBackup;
    request.source = &file.identity;
    request.sourceFd = file.fd;
    request.elsewhere = &file.elsewhere;
    // Under the lock: what the edit was planned from is still in the file, so that nothing is
    // copied around pages another program moved unseen by the file's times.
    request.unchanged = [&](int source) {
        return unchangedSince(source, file.size, drawing,
                              sections.headerChanged ? &header : nullptr);
    };
    request.write = [&](int out) {
        for (const dwg::Piece& piece : edit.pieces) {
            Acad::ErrorStatus wrote = piece.copy
                                          ? copyRange(file.fd, static_cast<off_t>(piece.from),
                                                      static_cast<off_t>(piece.to), out)
                                          : writeAll(out, piece.bytes.data(), piece.bytes.size());
            if (wrote != Acad::eOk)
                return wrote;
        }
        return Acad::eOk;
    };
    request.verify = [&](int out) { return verifySaved(out, sections, *saved, savedSize); };
    ReplaceResult replaced;
    if ((status = replaceFile(request, replaced)) != Acad::eOk)
        return status;
    Fd out(replaced.fd);

    // The file now at the path is what `file` stands for from here on; it was read back whole
    // above, so nothing more is asked of the file system. Without memory for that, `file`
    // keeps standing for the file it was read from: it still saves the same drawing elsewhere,
    // and a later save to this path is refused as a change made by someone else.
    try {
        DrawingFile now;
        now.size = savedSize;
        now.version = saved->version;
        now.binary = std::move(saved);
        adoptSavedFile(file, now, out.get(), std::move(replaced.identity));
        out.release();
        file.swap(now);
    } catch (const std::bad_alloc&) {
    }
    return Acad::eOk;
}

} // namespace drawing
} // namespace minihost
