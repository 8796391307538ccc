// What the parts of a drawing file share: the DrawingFile a loaded drawing keeps, the header
// variables it records, and the steps one part takes from another. Internal to
// drawing_read.cpp, drawing_save.cpp, dxf/dxf_head_build.cpp and dwg/dwg_drawing_save.cpp; everyone
// else uses drawing_file.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/drawing/dwg/dwg_read.h"
#include "minihost/drawing/file/owned_fd.h"
#include "minihost/drawing/dxf/dxf_text.h"
#include "minihost/drawing/file/file_copy.h"
#include "minihost/drawing/file/file_replace.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {
namespace drawing {

// Everything from the start of the file to the end of its header is held in memory, so it is
// capped; no drawing a CAD program writes comes near.
constexpr std::size_t kMaxHead = 16u << 20;
constexpr std::size_t kReadChunk = 64u << 10;

// The header variables of the built-in properties, in BuiltInField order.
inline const char* const kBuiltInNames[kBuiltInCount] = {
    "$TITLE",    "$SUBJECT",     "$AUTHOR",         "$KEYWORDS",
    "$COMMENTS", "$LASTSAVEDBY", "$REVISIONNUMBER", "$HYPERLINKBASE"};

// What a header variable is to the properties: a BuiltInField, a custom tag or value, or other.
enum VarKind { kOther = -1, kCustomTag = kBuiltInCount, kCustomValue };

// One variable of a drawing's header, as offsets into DrawingFile::head.
struct Var {
    std::string name;
    std::size_t begin = 0, end = 0; // the variable's groups within the head
    std::size_t valueBegin = 0, valueEnd = 0;
    bool hasValue = false;
    int kind = kOther;
};

// The text s[0, n) without the blanks at either end.
std::string trimmed(const char* s, std::size_t n);

} // namespace drawing

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
    std::vector<drawing::Var> vars;
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

// Parses the head of a drawing (file `fd` of `size` bytes, or `file.head` already filled when
// fd < 0) into `file`. Leaves `file.fd` alone. With `checkEnd`, a drawing that does not end
// with its EOF group needs recovery.
Acad::ErrorStatus parseHead(int fd, off_t size, DrawingFile& file, bool checkEnd = true);

// The properties the head holds, decoded from it: built-in `field` (the first variable of it
// counts; "" when missing) and the custom list. A save compares against these to tell which
// variables it changes, so the drawing keeps no copy of its texts besides its head.
using CustomList = decltype(SummaryData::custom);
void readBuiltIn(const DrawingFile& file, int field, std::wstring& text);
void readCustom(const DrawingFile& file, CustomList& custom);

// The head of `file` with the properties of `summary`: variables that change are rewritten in
// place, missing ones are inserted where CAD programs put them, every other byte is kept.
// Fills `out` (cleared first); eInvalidInput when a property cannot be encoded or the head
// would be too long to read back.
Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out);

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
