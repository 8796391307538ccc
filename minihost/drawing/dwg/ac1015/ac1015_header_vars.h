// The header variables of binary drawings of AC1015, AC1014 and AC1012, walked from the start
// of their bit stream to the handle of the named-object dictionary, where a drawing's
// properties record is listed. The rest of the variables are not needed; the walk can go on to
// the last of them so that tests can check the tables against real drawings.
#pragma once

#include <cstdint>

#include "minihost/drawing/dwg/header/dwg_bits.h"

namespace minihost {
namespace dwg {
namespace ac1015 {

// The two layouts: AC1015's, and the older one that AC1014 and AC1012 share.
enum class Layout { kAC1015, kAC1014 };

// What a walk found.
struct HeaderWalk {
    Handle namedObjects;       // DICTIONARY_NAMED_OBJECT
    std::uint64_t tailEnd = 0; // with `toEnd`: where the last variable ends
};

// Reads the variables from in's position to DICTIONARY_NAMED_OBJECT (with `toEnd`, to the last
// variable the layout knows of). False when a read runs past the stream or a code is invalid.
bool walkHeader(BitReader& in, Layout layout, HeaderWalk& out, bool toEnd = false);

} // namespace ac1015
} // namespace dwg
} // namespace minihost
