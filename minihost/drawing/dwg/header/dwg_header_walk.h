// The variables of the header section in stream order, one table for every version, and the
// walks over its streams. Used by dwg_header.cpp, which knows where the streams are.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "minihost/drawing/dwg/header/dwg_bits.h"
#include "minihost/drawing/dwg/header/dwg_header.h"

namespace minihost {
namespace dwg {
namespace header {

// One bit per version in the table's version masks.
constexpr unsigned k18 = 1, k24 = 2, k27 = 4, k32 = 8;

// The bit of `version`; 0 for a version this section layout is not known for.
unsigned versionBit(const std::string& version);

// AC1018 holds everything in one stream; later versions move the handles and the last four
// numbers into a handle stream of their own.
enum class Stream { kMain, kHandles };

// One walk's state and what it found.
struct Walk {
    unsigned version = 0;
    std::vector<HeaderVariable>* variables = nullptr; // when given, gets each variable read
    // Filled in by the walk:
    std::vector<std::string> colorTexts; // AC1024+: the string-stream texts the colours announce
    std::uint16_t plotStyleType = 0;     // CEPSNTYPE; 3 brings the handle CPSNID
    bool sawValue = false; // AC1018: HYPERLINKBASE was read, at [valueBegin, valueEnd)
    std::uint64_t valueBegin = 0, valueEnd = 0;
};

// Reads the variables of `stream` from in's position on. False when a read fails.
bool walkRows(BitReader& in, Stream stream, Walk& w);

// AC1024+: reads TU after TU from in's position to its end, into `texts` (the bits of each).
// False when a text runs past the end, or there are fewer than the 14 named texts or more than
// kMaxStringTexts.
bool walkStrings(BitReader& in, std::vector<std::pair<std::uint64_t, std::uint64_t>>& texts);

// AC1024+: the names of the string stream's texts, for `w` after its main-stream walk: the
// colours' texts, then the 14 named ones. HYPERLINKBASE is the fifth from the end.
std::vector<std::string> stringTextNames(const Walk& w);
constexpr std::size_t kValueFromEnd = 5;
// The most texts a string stream holds: two for each of the six colours, and the named ones.
constexpr std::size_t kMaxStringTexts = 6 * 2 + 14;

} // namespace header
} // namespace dwg
} // namespace minihost
