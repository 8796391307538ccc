// What is particular to ASCII DXF drawings: the header variables a loaded drawing records, the
// parse of its head, the head a save writes and the save itself. Internal to drawing/ and dxf/;
// everyone else uses drawing_file.h.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <sys/types.h>

#include "host/status_codes.h"
#include "minihost/drawing/drawing_file.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {
namespace dxf {

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
    std::size_t nameBegin = 0, nameEnd = 0; // its name, trimmed
    std::size_t begin = 0, end = 0;         // the variable's groups within the head
    std::size_t valueBegin = 0, valueEnd = 0;
    bool hasValue = false;
    int kind = kOther;

    // Its name, a view into `head` (the DrawingFile's, which it indexes).
    std::string_view name(const std::string& head) const {
        return std::string_view(head).substr(nameBegin, nameEnd - nameBegin);
    }
};

// The text s[0, n) without the blanks at either end.
std::string trimmed(const char* s, std::size_t n);

// Parses the head of a drawing (file `fd` of `size` bytes, or `file.head` already filled when
// fd < 0) into `file`; with fd >= 0, `file.head` may hold the file's first bytes, already
// read. Leaves `file.fd` alone. With `checkEnd`, a drawing that does not end with its EOF
// group needs recovery.
Acad::ErrorStatus parseHead(int fd, off_t size, DrawingFile& file, bool checkEnd = true);

// The properties the head holds, decoded from it: built-in `field` (the first variable of it
// counts; "" when missing) and the custom list. A save compares against these to tell which
// variables it changes, so the drawing keeps no copy of its texts besides its head.
using CustomList = decltype(SummaryData::custom);
void readBuiltIn(const DrawingFile& file, int field, std::wstring& text);
// Every built-in field at once, in one pass over the variables: what readBuiltIn gives each.
void readBuiltIns(const DrawingFile& file, std::wstring (&texts)[kBuiltInCount]);
void readCustom(const DrawingFile& file, CustomList& custom);

// The head of `file` with the properties of `summary`: variables that change are rewritten in
// place, missing ones are inserted where CAD programs put them, every other byte is kept.
// Fills `out` (cleared first); eInvalidInput when a property cannot be encoded or the head
// would be too long to read back.
Acad::ErrorStatus buildHead(const DrawingFile& file, const SummaryData& summary, std::string& out);

// A new empty drawing, held in memory until it is saved; null without memory for it.
DrawingFilePtr newDrawingFile();

// Saves the DXF drawing `file` with `summary` to `target` in its own version: the new head,
// then the rest of the old file. With `adopt`, `file` stands for the file written from then on
// (a new drawing that is saved once and dropped is not adopted).
Acad::ErrorStatus saveDrawing(DrawingFile& file, const SummaryData& summary,
                              const std::string& target, const SaveOptions& options, bool adopt);

} // namespace dxf
} // namespace minihost
