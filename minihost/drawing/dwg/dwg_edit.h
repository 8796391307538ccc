// Editing the summary of a binary drawing (AC1018 to AC1032) in place: the new file as a list of
// pieces, ranges of the old file and bytes made here, so that the shared writer can write it
// the way every save is written. Only what the edit has to touch changes:
//   - data of the summary's exact size: that page alone (and the summary's address at 0x20);
//   - other data that fits the page: that page and the section map, rewritten where it is;
//   - the same when the new section map does not fit where the old one is: that page, and new
//     maps at the end of the page area, the header and its copy;
//   - data longer than the page: a new page and new maps at the end of the page area, the
//     header and its copy.
// The pages replaced become gaps, unless they end the page area, where the new ones go.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/acad_status.h"
#include "dwg_read.h"

namespace minihost {
namespace dwg {

// One piece of a new file: bytes of the old file [from, to), or `bytes` when `copy` is false.
struct Piece {
    bool copy = false;
    std::uint64_t from = 0, to = 0;
    std::string bytes;
};

struct Edit {
    std::vector<Piece> pieces; // in file order, from offset 0 to the end of the new file
};

// The pieces of `drawing` (a file of `fileSize` bytes) with `summary` as its new summary
// section. eNotImplementedYet when the drawing has no summary section or one that is not a
// single uncompressed page; eNotSupportedInDwgApi when its security flags are set;
// eInvalidInput when `summary` is larger than one page may be (0x7400 bytes); eDwgCorrupt when
// the drawing's numbers leave no room for the edit.
Acad::ErrorStatus planSummaryEdit(const BinaryDrawing& drawing, std::uint64_t fileSize,
                                  const std::string& summary, Edit& out);

} // namespace dwg
} // namespace minihost
