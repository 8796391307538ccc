// Reading a binary drawing: which version the first bytes name, its summary properties (AC1012
// to AC1032) and, for AC1018, AC1024, AC1027 and AC1032, everything an in-place save of them
// needs. Of an AC1021 drawing only the summary section is kept, of an AC1015, AC1014 or AC1012
// one only the properties (from the record its named-object dictionary lists): they are not
// saved.
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
    Container container;  // of AC1021 only its `summary` is filled; empty before AC1018
    SummaryRecord record; // empty properties when the drawing has no summary section (before
                          // AC1018: only `data`, empty when the drawing has no record)
};

// True when the file's first `n` bytes begin with a binary drawing's version text.
bool isBinaryDrawing(const std::uint8_t* start, std::size_t n);

// Reads the binary drawing of `fileSize` bytes through `read`. Besides the statuses of
// readContainer (or ac1021::readSummarySection, ac1015::readProperties): eUnsupportedVersion
// for AC1011 and older and the versions between those read here, eInvalidDwgVersion for a
// version not known here, eSecErrorDecryptingData when the file says its summary is encrypted
// (AC1018 on), eDwgNeedsRecovery when it ends within its first 0x100 bytes.
Acad::ErrorStatus readBinaryDrawing(const ReadBytes& read, std::uint64_t fileSize,
                                    BinaryDrawing& out);

} // namespace dwg
} // namespace minihost
