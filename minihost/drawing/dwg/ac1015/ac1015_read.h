// Reading the summary properties of binary drawings of AC1015, AC1014 and AC1012. These
// versions have no summary section: the properties are the data of a record that the named-
// object dictionary lists under "DWGPROPS". The read follows the drawing's own references (file
// header, header variables, object map, dictionary, record), checks every CRC on the way and
// reads only those parts, whatever the drawing's size. Reading only: these versions are not
// saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"
#include "minihost/drawing/dwg/dwg_text.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

// Whether this reader knows `version`.
bool isUnpagedVersion(const std::string& version);

// Reads the properties of the drawing of `fileSize` bytes whose first `startSize` bytes are
// `start`, its texts in `form`, into `out` (all empty when the drawing has no record). Statuses:
// eDwgCRCError (a CRC does not match), eDwgCorrupt (a sentinel missing; sizes, addresses,
// handles or types that contradict each other or the file; an item not known here),
// eDwgNeedsRecovery (the file ends first), eFileAccessErr; thrown std::bad_alloc is the
// caller's to turn into eOutOfMemory.
Acad::ErrorStatus readProperties(const ReadBytes& read, std::uint64_t fileSize,
                                 const std::uint8_t* start, std::size_t startSize,
                                 const TextForm& form, SummaryData& out);

} // namespace ac1015
} // namespace dwg
} // namespace minihost
