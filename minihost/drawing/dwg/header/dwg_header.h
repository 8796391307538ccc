// The header-variables section (AcDb:Header) of binary drawings of AC1018, AC1024, AC1027 and
// AC1032, decompressed: its variable HYPERLINKBASE read, and the section rewritten with a new
// value and nothing else changed. Pure functions over bytes: the caller reads the section and
// writes it back through the container.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/dwg_text.h"

namespace minihost {
namespace dwg {

extern const char* const kHeaderName; // the section's name in the section map
// No header section a CAD program writes comes near this (about 1 KiB, and at most 128 KiB
// more for the longest HyperlinkBase); a larger one is taken as damage.
constexpr std::uint64_t kMaxHeaderSize = 1u << 20;

// What the section's bytes do not say themselves.
struct HeaderContext {
    std::string version;     // "AC1018", "AC1024", "AC1027" or "AC1032"
    TextForm form;           // the drawing's, as textForm() gives it (AC1018: its code page)
    std::uint8_t byte12 = 0; // the file's byte at offset 0x12
};

// One header variable as the full check walked it: its name and the bits [begin, end) of the
// section that hold it. In AC1024 and later the texts of the string stream are variables of
// their own; a colour's texts there are named after it, "CECOLOR.name" and "CECOLOR.book".
struct HeaderVariable {
    std::string name;
    std::uint64_t begin = 0, end = 0;
};

// The statuses of all three functions: eDwgCorrupt when the section's sentinels, size fields or
// structure contradict each other, eDwgCRCError when its CRC does not match,
// eNotImplementedYet for another version and for an AC1024 or AC1027 section whose byte 0x12
// is 3 or less (a layout without the field at 0x14).

// Reads HYPERLINKBASE into `value` (trailing NULs are not part of it), after the whole check
// of checkHeader.
Acad::ErrorStatus readHeaderHyperlinkBase(const std::string& section, const HeaderContext& context,
                                          std::wstring& value);

// Walks every variable of the section for its version and checks that the streams end where
// the size fields say. `variables`, when given, gets every variable in stream order (AC1024 and
// later: the main stream, the string stream, then the handle stream).
Acad::ErrorStatus checkHeader(const std::string& section, const HeaderContext& context,
                              std::vector<HeaderVariable>* variables = nullptr);

// The section with HYPERLINKBASE set to `value` into `out`: every other variable's bits and
// the bytes after the end sentinel as they were, the size fields and the CRC written again.
// A section that fails checkHeader's check is refused. Rewriting the result back to the old
// value gives the old bytes when the old value was stored as this writes it (count,
// terminator, footer).
// Besides the statuses above: eInvalidInput when `value` cannot be stored (a lone surrogate, a
// value beyond U+10FFFF, more than 65 535 units, a character the code page can neither hold nor
// escape), eNotImplementedYet for a non-empty AC1018 value when the code page is unknown or
// iconv lacks it.
Acad::ErrorStatus rewriteHeaderHyperlinkBase(const std::string& section,
                                             const HeaderContext& context,
                                             const std::wstring& value, std::string& out);

// The section's CRC-16 (reflected polynomial 0xA001, started at 0xC0C1) of `n` bytes.
std::uint16_t headerCrc(const std::uint8_t* data, std::size_t n);

} // namespace dwg
} // namespace minihost
