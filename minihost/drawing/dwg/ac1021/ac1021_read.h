// Reading the summary section of a binary drawing of AC1021: the file header, the page map, the
// section map and the pages of AcDb:SummaryInfo, each check value checked on the way. Only those
// parts are read, whatever the drawing's size.
#pragma once

#include <cstdint>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"

namespace minihost {
namespace dwg {
namespace ac1021 {

// Reads the summary section of the AC1021 drawing of `fileSize` bytes into `out` (present false
// when the drawing has none). Statuses: eDwgNeedsRecovery (the file is shorter than it says),
// eDwgCRCError (a CRC or checksum does not match), eBadDwgHeader (an encoding not known here),
// eSecErrorDecryptingData (an encrypted summary), eDwgCorrupt (sizes, offsets or ids that
// contradict each other or the file; a stream that does not decode to its size),
// eFileAccessErr; thrown std::bad_alloc is the caller's to turn into eOutOfMemory.
Acad::ErrorStatus readSummarySection(const ReadBytes& read, std::uint64_t fileSize, Section& out);

} // namespace ac1021
} // namespace dwg
} // namespace minihost
