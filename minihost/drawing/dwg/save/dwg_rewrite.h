// The part of an edit of a binary drawing that goes beyond one page's own bytes: pages added at
// the end of the page area, pages that no longer hold anything turned into gaps (or reused when
// they end the page area), and new maps, file header and header copy written after them. Every
// other page stays where it is, byte for byte. Also the page writers every edit shares.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/dwg_read.h"
#include "minihost/drawing/dwg/container/dwg_section_map.h"

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

// A data page to add at the end of the page area. The rewrite gives it a new number, enters
// that in its section's page entry, and seals and masks its header.
struct AddedPage {
    std::string section;                       // its section's name in Rewrite::sections
    std::size_t entry = 0;                     // its page entry in that section
    std::uint8_t header[kPageHeaderSize] = {}; // plain words 0-5: type, section, sizes, start
    std::string data;                          // exactly the stored bytes (word 2)
};

// A data page written again where it is, with the same number and allocation.
struct PageInPlace {
    std::uint64_t address = 0;
    std::string bytes; // masked header and data
};

struct Rewrite {
    SectionList sections;              // the new section map
    std::vector<std::int32_t> dropped; // pages of the old map that hold nothing any more
    std::vector<AddedPage> added;      // in the order they are placed
    std::vector<PageInPlace> inPlace;
};

// The pieces of `drawing` (a file of `fileSize` bytes) changed as `rewrite` says, with the
// summary's address at 0x20 pointing at the summary's page. eDwgCorrupt when the drawing's
// numbers leave no room for the edit or its page area contradicts itself.
Acad::ErrorStatus planRewrite(const BinaryDrawing& drawing, std::uint64_t fileSize, Rewrite rewrite,
                              Edit& out);

// The header words of a data page of section `id` storing `dataSize` bytes from `start`.
void dataPageHeader(std::uint8_t* plain, std::uint32_t id, std::uint32_t dataSize,
                    std::uint64_t start);

// The data page at `address` with the unmasked header `plain` (type, section, sizes and start
// kept) holding `data` zero-padded to `stored` bytes: sealed and masked.
std::string dataPage(const std::uint8_t* plain, const std::string& data, std::uint32_t stored,
                     std::uint64_t address);

// A system page of `type` holding `data`, as a literal-only stream.
std::string systemPage(std::uint32_t type, const std::string& data);

// The prefix field at 0x20 for a summary page at `address`: the address of its data.
std::string summaryAddressField(std::uint64_t address);
constexpr std::size_t kSummaryAddress = 0x20;

} // namespace dwg
} // namespace minihost
