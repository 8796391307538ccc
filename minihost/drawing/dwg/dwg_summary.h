// The summary section of a binary drawing: eight texts, three times, the custom pairs and
// what follows them. Parsed into the stand-in's SummaryData, and built again for a save with
// every field the properties do not cover kept as it was.
#pragma once

#include <string>

#include "host/status_codes.h"
#include "minihost/runtime/summary_data.h"
#include "minihost/drawing/dwg/dwg_text.h"

namespace minihost {
namespace dwg {

// One summary section as read.
struct SummaryRecord {
    SummaryData data;
    std::string rawBuiltIn[kBuiltInCount]; // each text as stored, count and NUL included
    std::string times;                     // the three 8-byte times
    std::string rawCustom;                 // the custom count and pairs as stored
    std::string trailing;                  // what follows the pairs (two zero words)
};

// Parses the section's bytes. eDwgCorrupt when a count runs past the end of the data.
Acad::ErrorStatus parseSummary(const std::string& bytes, const TextForm& form, SummaryRecord& out);

// The section's bytes for the properties `data`, with the times and trailing fields of
// `old`. Texts that did not change keep their stored bytes. eNotImplementedYet when 8-bit text
// changes and the drawing's code page is unknown or iconv lacks it; eInvalidInput when a text
// is too long for its count (escapes included) or holds a lone surrogate or a value beyond
// U+10FFFF, or there are too many custom pairs.
Acad::ErrorStatus buildSummary(const SummaryRecord& old, const SummaryData& data,
                               const TextForm& form, std::string& out);

} // namespace dwg
} // namespace minihost
