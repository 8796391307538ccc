// Editing the summary of a binary drawing (AC1018 to AC1032) in place, and with it the copy of
// HyperlinkBase in the header-variables section: the new file as a list of pieces, ranges of the
// old file and bytes made here, so that the shared writer can write it the way every save is
// written. Only what the edit has to touch changes:
//   - summary data of its old size: that page alone (and the summary's address at 0x20);
//   - other summary data that fits the page: that page and the section map, rewritten where it
//     is;
//   - the same when the new section map does not fit where the old one is: that page, and new
//     maps at the end of the page area, the header and its copy;
//   - summary data longer than the page, a drawing without a summary section, or a new header
//     section: new pages for those and new maps at the end of the page area, the header and its
//     copy.
// The pages replaced become gaps, unless they end the page area, where the new ones go.
#pragma once

#include <cstdint>
#include <string>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/header/dwg_header.h"
#include "minihost/drawing/dwg/dwg_read.h"
#include "minihost/drawing/dwg/save/dwg_rewrite.h"

namespace minihost {
namespace dwg {

// What an edit writes.
struct NewSections {
    std::string summary;        // the new summary section
    bool headerChanged = false; // when true: `header` is the new header-variables section
    std::string header;
};

// The pieces of `drawing` (a file of `fileSize` bytes) with `sections`. eNotImplementedYet when
// the drawing's summary section is not a single uncompressed page, or a header section to
// change is not compressed in pages of 0x7400 bytes; eNotSupportedInDwgApi when
// its security flags are set; eInvalidInput when the summary is larger than one page may be
// (0x7400 bytes); eDwgCorrupt when the drawing has no header section to change or its numbers
// leave no room for the edit.
Acad::ErrorStatus planEdit(const BinaryDrawing& drawing, std::uint64_t fileSize,
                           const NewSections& sections, Edit& out);

} // namespace dwg
} // namespace minihost
