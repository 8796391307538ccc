// Reading a binary drawing: which version the first bytes name, its summary properties (AC1018
// to AC1032) and, for AC1018, AC1024, AC1027 and AC1032, everything an in-place save of them
// needs. Of an AC1021 drawing only the summary section is kept: it is not saved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/container/dwg_container.h"
#include "minihost/drawing/dwg/dwg_summary.h"
#include "minihost/drawing/dwg/dwg_text.h"

namespace minihost {
namespace dwg {

constexpr std::size_t kStartSize = 0x100; // the plain prefix and the file header

// A binary drawing as read.
struct BinaryDrawing {
    std::string version;
    std::uint8_t start[kStartSize] = {}; // the file's first bytes, as stored
    std::uint32_t securityFlags = 0;
    TextForm form;
    Container container;  // of AC1021 only its `summary` is filled
    SummaryRecord record; // empty properties when the drawing has no summary section
};

// True when the file's first `n` bytes begin with a binary drawing's version text.
bool isBinaryDrawing(const std::uint8_t* start, std::size_t n);

// Reads the binary drawing of `fileSize` bytes through `read`. Besides the statuses of
// readContainer (or ac1021::readSummarySection): eUnsupportedVersion for AC1015 and older,
// eInvalidDwgVersion for a version not known here, eSecErrorDecryptingData when the file says
// its summary is encrypted, eDwgNeedsRecovery when it ends within its first 0x100 bytes.
Acad::ErrorStatus readBinaryDrawing(const ReadBytes& read, std::uint64_t fileSize,
                                    BinaryDrawing& out);

} // namespace dwg
} // namespace minihost
