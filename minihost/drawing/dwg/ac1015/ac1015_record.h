// The properties record of binary drawings of AC1015, AC1014 and AC1012: the data items of the
// record the named-object dictionary lists under "DWGPROPS", read as the drawing's summary
// properties.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/status_codes.h"
#include "minihost/drawing/dwg/dwg_text.h"
#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/runtime/summary_data.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

// One text item: its group code and its bytes as stored (other items are skipped).
struct TextItem {
    std::uint16_t code = 0;
    std::string bytes;
};

// Reads the `m` bytes of items from in's position (any bit), keeping the texts. eDwgCorrupt
// when an item's code is not known here, an item runs past the m bytes or the reader ends first.
Acad::ErrorStatus readItems(BitReader& in, std::uint32_t m, std::vector<TextItem>& texts);

// The properties the items hold, their texts in the drawing's `form`. Items that do not start
// with the record's cookie hold none: `out` is left empty.
void propertiesFromItems(const std::vector<TextItem>& texts, const TextForm& form,
                         SummaryData& out);

} // namespace ac1015
} // namespace dwg
} // namespace minihost
